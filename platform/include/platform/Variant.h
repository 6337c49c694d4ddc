#pragma once
// A VARIANT: a value that knows its VT_ type, as the system checks types (a version that is not
// VT_I4 is an error).

#include "common/HResult.h"

#include <cstdint>
#include <optional>
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

    VARTYPE Type() const { return m_vt; }
    std::int32_t Int32Value() const;         // VT_I4 (and VT_I2) only
    const std::wstring& StringValue() const; // VT_BSTR only
    const DateTime& DateValue() const;       // VT_DATE only

    // VariantChangeType to VT_BSTR: numbers in decimal, dates as "YYYY-MM-DD hh:mm:ss", booleans
    // as "True"/"False". Empty and null have no text: the result is nothing (DISP_E_TYPEMISMATCH).
    std::optional<Variant> ChangeTypeToString() const;

    // For traces and test logs: "I4:42", "BSTR:text", "DATE:2009-09-18 09:00:00", "NULL", "EMPTY".
    std::wstring Describe() const;

    bool operator==(const Variant&) const = default;

private:
    VARTYPE m_vt = VT_EMPTY;
    std::variant<std::monostate, std::int64_t, double, std::wstring, DateTime> m_value;
};

} // namespace platform
