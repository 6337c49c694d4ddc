#include "platform/Variant.h"

#include "common/StringUtils.h"

#include <stdexcept>

namespace platform {

Variant Variant::Null()
{
    Variant v;
    v.m_vt = VT_NULL;
    return v;
}

Variant Variant::Int16(std::int16_t iValue)
{
    Variant v;
    v.m_vt = VT_I2;
    v.m_value = std::int64_t{iValue};
    return v;
}

Variant Variant::Int32(std::int32_t lValue)
{
    Variant v;
    v.m_vt = VT_I4;
    v.m_value = std::int64_t{lValue};
    return v;
}

Variant Variant::Int64(std::int64_t llValue)
{
    Variant v;
    v.m_vt = VT_I8;
    v.m_value = llValue;
    return v;
}

Variant Variant::Double(double dValue)
{
    Variant v;
    v.m_vt = VT_R8;
    v.m_value = dValue;
    return v;
}

Variant Variant::Bool(bool bValue)
{
    Variant v;
    v.m_vt = VT_BOOL;
    v.m_value = std::int64_t{bValue ? 1 : 0};
    return v;
}

Variant Variant::Date(const DateTime& date)
{
    Variant v;
    v.m_vt = VT_DATE;
    v.m_value = date;
    return v;
}

Variant Variant::String(std::wstring strValue)
{
    Variant v;
    v.m_vt = VT_BSTR;
    v.m_value = std::move(strValue);
    return v;
}

Variant Variant::Bytes(std::span<const std::uint8_t> bytes)
{
    Variant v;
    v.m_vt = VT_ARRAY_UI1;
    v.m_value = std::string(bytes.begin(), bytes.end());
    return v;
}

std::int32_t Variant::Int32Value() const
{
    if (m_vt != VT_I4 && m_vt != VT_I2)
        throw std::logic_error("Variant is not VT_I4");
    return static_cast<std::int32_t>(std::get<std::int64_t>(m_value));
}

std::int64_t Variant::Int64Value() const
{
    if (m_vt != VT_I8 && m_vt != VT_I4 && m_vt != VT_I2)
        throw std::logic_error("Variant is not VT_I8");
    return std::get<std::int64_t>(m_value);
}

const std::wstring& Variant::StringValue() const
{
    if (m_vt != VT_BSTR)
        throw std::logic_error("Variant is not VT_BSTR");
    return std::get<std::wstring>(m_value);
}

const DateTime& Variant::DateValue() const
{
    if (m_vt != VT_DATE)
        throw std::logic_error("Variant is not VT_DATE");
    return std::get<DateTime>(m_value);
}

std::span<const std::uint8_t> Variant::BytesValue() const
{
    if (m_vt != VT_ARRAY_UI1)
        throw std::logic_error("Variant is not VT_ARRAY | VT_UI1");
    const std::string& bytes = std::get<std::string>(m_value);
    return {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
}

std::optional<Variant> Variant::ChangeTypeToString() const
{
    switch (m_vt) {
    case VT_BSTR:
        return *this;
    case VT_I2:
    case VT_I4:
    case VT_I8:
        return String(std::to_wstring(std::get<std::int64_t>(m_value)));
    case VT_BOOL:
        return String(std::get<std::int64_t>(m_value) ? L"True" : L"False");
    case VT_R8:
        return String(FormatW(L"%g", std::get<double>(m_value)));
    case VT_DATE: {
        const DateTime& d = std::get<DateTime>(m_value);
        return String(
            FormatW(L"%04d-%02d-%02d %02d:%02d:%02d", d.iYear, d.iMonth, d.iDay, d.iHour, d.iMinute, d.iSecond));
    }
    case VT_EMPTY:
    case VT_NULL:
    case VT_ARRAY_UI1:
        break;
    }
    return std::nullopt;
}

std::wstring Variant::Describe() const
{
    switch (m_vt) {
    case VT_EMPTY:
        return L"EMPTY";
    case VT_NULL:
        return L"NULL";
    case VT_I2:
        return L"I2:" + ChangeTypeToString()->StringValue();
    case VT_I4:
        return L"I4:" + ChangeTypeToString()->StringValue();
    case VT_I8:
        return L"I8:" + ChangeTypeToString()->StringValue();
    case VT_R8:
        return L"R8:" + ChangeTypeToString()->StringValue();
    case VT_BOOL:
        return L"BOOL:" + ChangeTypeToString()->StringValue();
    case VT_DATE:
        return L"DATE:" + ChangeTypeToString()->StringValue();
    case VT_BSTR:
        return L"BSTR:" + StringValue();
    case VT_ARRAY_UI1: {
        std::wstring str = L"BYTES:";
        for (const std::uint8_t b : BytesValue())
            str += FormatW(L"%02X", b);
        return str;
    }
    }
    return L"?";
}

} // namespace platform
