#include "platform/ado/Ado.h"

#include "common/ComError.h"
#include "common/StringUtils.h"

#include <algorithm>

namespace platform::ado {

Recordset::Recordset(std::vector<std::wstring> fieldNames, std::vector<std::vector<Variant>> rows)
    : m_fieldNames(std::move(fieldNames)), m_rows(std::move(rows))
{
}

namespace {

// Field names compare without regard to case, as in ADO.
std::vector<std::wstring>::const_iterator FindField(const std::vector<std::wstring>& fieldNames,
                                                    std::wstring_view fieldName)
{
    return std::find_if(fieldNames.begin(), fieldNames.end(),
                        [&](const std::wstring& strName) { return UTIL::STR::EqualsNoCase(strName, fieldName); });
}

} // namespace

bool Recordset::HasField(std::wstring_view fieldName) const
{
    return FindField(m_fieldNames, fieldName) != m_fieldNames.end();
}

std::optional<Variant> Recordset::FieldValue(std::wstring_view fieldName) const
{
    const auto it = FindField(m_fieldNames, fieldName);
    if (it == m_fieldNames.end() || m_rows.empty())
        return std::nullopt;
    const auto index = static_cast<std::size_t>(it - m_fieldNames.begin());
    return index < m_rows.front().size() ? std::optional(m_rows.front()[index]) : std::nullopt;
}

void Command::SetCommandTimeout(std::int32_t lSeconds)
{
    if (lSeconds < 0)
        throw UTIL::COM::_com_error(ADO_E_INVALID_ARGUMENT);
    lCommandTimeout = lSeconds;
}

ParameterPtr Command::CreateParameter(std::wstring strName, DataType type, ParameterDirection direction,
                                      std::int32_t lSize, Variant value)
{
    return std::make_shared<Parameter>(Parameter{std::move(strName), type, direction, lSize, std::move(value)});
}

RecordsetPtr Command::Execute(bool bNoRecords)
{
    if (!activeConnection)
        throw UTIL::COM::_com_error(ADO_E_OBJECT_CLOSED);
    return activeConnection->Execute(*this, bNoRecords);
}

} // namespace platform::ado
