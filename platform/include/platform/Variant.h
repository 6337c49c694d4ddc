#pragma once
// A VARIANT: a value that knows its VT_ type, as the system checks types (a version that is not
// VT_I4 is an error).

#include "common/HResult.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>

namespace platform {

enum VARTYPE : std::uint16_t {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R8 = 5,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_BOOL = 11,
    VT_I8 = 20,
    VT_ARRAY_UI1 = 0x2011, // VT_ARRAY | VT_UI1, a SAFEARRAY of bytes: binary data, as ADO hands it over
};

// A date and time as its parts; the variant keeps it as VT_DATE.
struct DateTime
{
    int iYear = 1899, iMonth = 12, iDay = 30, iHour = 0, iMinute = 0, iSecond = 0;
    bool operator==(const DateTime&) const = default;
};

class Variant
{
public:
    Variant() = default; // VT_EMPTY
    static Variant Null();
    static Variant Int16(std::int16_t iValue);
    static Variant Int32(std::int32_t lValue);
    static Variant Int64(std::int64_t llValue);
    static Variant Double(double dValue);
    static Variant Bool(bool bValue);
    static Variant Date(const DateTime& date);
    static Variant String(std::wstring strValue);
    static Variant Bytes(std::span<const std::uint8_t> bytes);

    VARTYPE Type() const { return m_vt; }
    std::int32_t Int32Value() const;                  // VT_I4 (and VT_I2) only
    std::int64_t Int64Value() const;                  // VT_I8, VT_I4 and VT_I2 only
    const std::wstring& StringValue() const;          // VT_BSTR only
    const DateTime& DateValue() const;                // VT_DATE only
    std::span<const std::uint8_t> BytesValue() const; // VT_ARRAY_UI1 only

    // VariantChangeType to VT_BSTR: numbers in decimal, dates as "YYYY-MM-DD hh:mm:ss", booleans
    // as "True"/"False". Empty and null have no text: the result is nothing (DISP_E_TYPEMISMATCH).
    std::optional<Variant> ChangeTypeToString() const;

    // For traces and test logs: "I4:42", "BSTR:text", "DATE:2009-09-18 09:00:00", "BYTES:00FF27",
    // "NULL", "EMPTY".
    std::wstring Describe() const;

    bool operator==(const Variant&) const = default;

private:
    VARTYPE m_vt = VT_EMPTY;
    // Bytes are held as a narrow string: a vector in this variant trips g++ 12's analysis of
    // freeing (-Wfree-nonheap-object) wherever a Variant is made.
    std::variant<std::monostate, std::int64_t, double, std::wstring, DateTime, std::string> m_value;
};

} // namespace platform
