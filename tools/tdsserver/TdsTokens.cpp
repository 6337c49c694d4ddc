#include "TdsTokens.h"

#include <algorithm>
#include <array>
#include <string>

namespace TdsServer {
namespace {

using platform::Variant;

enum class TokenType : std::uint8_t {
    ReturnStatus = 0x79,
    ColumnMetadata = 0x81,
    Error = 0xAA,
    Info = 0xAB,
    ReturnValue = 0xAC,
    LoginAck = 0xAD,
    Row = 0xD1,
    EnvChange = 0xE3,
};

enum class EnvChangeType : std::uint8_t { Database = 1, Language = 2, PacketSize = 4, Collation = 7 };

// The wire types used for values, with their TYPE_INFO.
enum class WireType : std::uint8_t { IntN = 0x26, DateTimeN = 0x6F, NVarChar = 0xE7 };

constexpr std::uint16_t kNVarCharMaxBytes = 8000;
constexpr std::uint16_t kNullUShortLength = 0xFFFF;
// Latin1_General_CI_AS: locale 1033, case-insensitive, accent-sensitive, sort order 52.
constexpr std::array<std::uint8_t, 5> kCollation{0x09, 0x04, 0xD0, 0x00, 0x34};
constexpr std::uint8_t kNullable = 0x01;

// A token whose two-byte length follows its type: the length is filled in when the body is done.
class CLengthPrefixedToken
{
public:
    CLengthPrefixedToken(CTdsWriter& out, TokenType type) : m_out(out)
    {
        m_out.Byte(static_cast<std::uint8_t>(type));
        m_lengthOffset = m_out.Size();
        m_out.UInt16(0);
    }
    ~CLengthPrefixedToken()
    {
        m_out.PatchUInt16(m_lengthOffset, static_cast<std::uint16_t>(m_out.Size() - m_lengthOffset - 2));
    }
    CLengthPrefixedToken(const CLengthPrefixedToken&) = delete;
    CLengthPrefixedToken& operator=(const CLengthPrefixedToken&) = delete;

private:
    CTdsWriter& m_out;
    std::size_t m_lengthOffset = 0;
};

WireType WireTypeOf(const Variant& value)
{
    switch (value.Type()) {
    case platform::VT_I4:
        return WireType::IntN;
    case platform::VT_DATE:
        return WireType::DateTimeN;
    default:
        return WireType::NVarChar;
    }
}

void WriteTypeInfo(CTdsWriter& out, WireType type)
{
    out.Byte(static_cast<std::uint8_t>(type));
    switch (type) {
    case WireType::IntN:
        out.Byte(4);
        break;
    case WireType::DateTimeN:
        out.Byte(8);
        break;
    case WireType::NVarChar:
        out.UInt16(kNVarCharMaxBytes);
        out.Bytes(kCollation);
        break;
    }
}

// Days from 1900-01-01 to the date (proleptic Gregorian).
std::int32_t DaysSince1900(int iYear, int iMonth, int iDay)
{
    const auto daysFromCivil = [](int y, int m, int d) {
        y -= m <= 2;
        const int era = (y >= 0 ? y : y - 399) / 400;
        const int yoe = y - era * 400;
        const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
        const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
        return era * 146097 + doe;
    };
    return daysFromCivil(iYear, iMonth, iDay) - daysFromCivil(1900, 1, 1);
}

void WriteValue(CTdsWriter& out, WireType type, const Variant& value)
{
    const bool bNull = value.Type() == platform::VT_NULL || value.Type() == platform::VT_EMPTY;
    switch (type) {
    case WireType::IntN:
        out.Byte(bNull ? 0 : 4);
        if (!bNull)
            out.UInt32(static_cast<std::uint32_t>(value.Int32Value()));
        break;
    case WireType::DateTimeN:
        out.Byte(bNull ? 0 : 8);
        if (!bNull) {
            const platform::DateTime& date = value.DateValue();
            out.UInt32(static_cast<std::uint32_t>(DaysSince1900(date.iYear, date.iMonth, date.iDay)));
            // Three hundredths of a second since midnight.
            out.UInt32(static_cast<std::uint32_t>((date.iHour * 3600 + date.iMinute * 60 + date.iSecond) * 300));
        }
        break;
    case WireType::NVarChar: {
        if (bNull) {
            out.UInt16(kNullUShortLength);
            break;
        }
        const std::wstring strText = value.Type() == platform::VT_BSTR ? value.StringValue() : value.Describe();
        CTdsWriter text;
        text.Text(strText);
        if (text.Size() > kNVarCharMaxBytes)
            throw CProtocolError("a text value longer than 4000 characters");
        out.UInt16(static_cast<std::uint16_t>(text.Size()));
        out.Bytes(text.Data());
        break;
    }
    }
}

void WriteEnvChange(CTdsWriter& out, EnvChangeType type, std::wstring_view newValue, std::wstring_view oldValue)
{
    const CLengthPrefixedToken token(out, TokenType::EnvChange);
    out.Byte(static_cast<std::uint8_t>(type));
    out.ByteCountedText(newValue);
    out.ByteCountedText(oldValue);
}

} // namespace

void WriteDone(CTdsWriter& out, DoneToken token, std::uint16_t uStatus, std::uint64_t cRows)
{
    out.Byte(static_cast<std::uint8_t>(token));
    out.UInt16(uStatus);
    out.UInt16(0); // the current command: not known here
    out.UInt64(cRows);
}

void WriteServerMessage(CTdsWriter& out, std::int32_t lNumber, std::uint8_t uClass, std::wstring_view message)
{
    constexpr std::uint8_t kLowestErrorClass = 11;
    const CLengthPrefixedToken token(out, uClass >= kLowestErrorClass ? TokenType::Error : TokenType::Info);
    out.UInt32(static_cast<std::uint32_t>(lNumber));
    out.Byte(1); // state
    out.Byte(uClass);
    out.UShortCountedText(message);
    out.ByteCountedText(L"TDSTEST");
    out.ByteCountedText(L""); // procedure
    out.UInt32(1);            // line
}

void WriteResultSet(CTdsWriter& out, const std::vector<std::wstring>& columns,
                    const std::vector<std::vector<Variant>>& rows)
{
    std::vector<WireType> types;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const auto typed = std::find_if(rows.begin(), rows.end(), [&](const std::vector<Variant>& row) {
            return i < row.size() && row[i].Type() != platform::VT_NULL;
        });
        types.push_back(typed == rows.end() ? WireType::NVarChar : WireTypeOf((*typed)[i]));
    }
    out.Byte(static_cast<std::uint8_t>(TokenType::ColumnMetadata));
    out.UInt16(static_cast<std::uint16_t>(columns.size()));
    for (std::size_t i = 0; i < columns.size(); ++i) {
        out.UInt32(0); // user type
        out.UInt16(kNullable);
        WriteTypeInfo(out, types[i]);
        out.ByteCountedText(columns[i]);
    }
    for (const std::vector<Variant>& row : rows) {
        if (row.size() != columns.size())
            throw CProtocolError("a row without a value for every column");
        out.Byte(static_cast<std::uint8_t>(TokenType::Row));
        for (std::size_t i = 0; i < row.size(); ++i)
            WriteValue(out, types[i], row[i]);
    }
}

void WriteReturnStatus(CTdsWriter& out, std::int32_t lStatus)
{
    out.Byte(static_cast<std::uint8_t>(TokenType::ReturnStatus));
    out.UInt32(static_cast<std::uint32_t>(lStatus));
}

void WriteReturnValue(CTdsWriter& out, std::uint16_t uOrdinal, std::wstring_view name, const Variant& value)
{
    constexpr std::uint8_t kOutputParameter = 0x01;
    const WireType type = WireTypeOf(value.Type() == platform::VT_NULL ? Variant::Int32(0) : value);
    out.Byte(static_cast<std::uint8_t>(TokenType::ReturnValue));
    out.UInt16(uOrdinal);
    out.ByteCountedText(name);
    out.Byte(kOutputParameter);
    out.UInt32(0); // user type
    out.UInt16(kNullable);
    WriteTypeInfo(out, type);
    WriteValue(out, type, value);
}

void WriteLoginAcknowledgement(CTdsWriter& out, std::wstring_view database)
{
    WriteEnvChange(out, EnvChangeType::Database, database, L"master");
    {
        const CLengthPrefixedToken token(out, TokenType::EnvChange);
        out.Byte(static_cast<std::uint8_t>(EnvChangeType::Collation));
        out.Byte(static_cast<std::uint8_t>(kCollation.size()));
        out.Bytes(kCollation);
        out.Byte(0);
    }
    WriteEnvChange(out, EnvChangeType::Language, L"us_english", L"");
    {
        const CLengthPrefixedToken token(out, TokenType::LoginAck);
        out.Byte(1); // the interface: T-SQL
        // The version of the protocol, TDS 7.4, most significant byte first.
        out.Bytes(std::array<std::uint8_t, 4>{0x74, 0x00, 0x00, 0x04});
        out.ByteCountedText(L"TDS test server");
        // The program's version: 16.0.1000.
        out.Bytes(std::array<std::uint8_t, 4>{16, 0, 0x03, 0xE8});
    }
    WriteEnvChange(out, EnvChangeType::PacketSize, L"4096", L"4096");
}

} // namespace TdsServer
