#include "TdsRequests.h"

#include "TdsBuffer.h"
#include "common/StringUtils.h"

#include <array>
#include <optional>

namespace TdsServer {
namespace {

// Skips the headers in front of a request (transaction descriptor and the like).
void SkipAllHeaders(CTdsReader& reader)
{
    const std::uint32_t cbHeaders = reader.UInt32();
    if (cbHeaders < 4)
        throw CProtocolError("headers shorter than their length");
    reader.Bytes(cbHeaders - 4);
}

// How a type's TYPE_INFO and value are laid out.
enum class Layout {
    Fixed,         // no TYPE_INFO beyond the type; a value of fixed size
    ByteLength,    // TYPE_INFO: the size in one byte; value: its length in one byte
    Decimal,       // TYPE_INFO: size, precision, scale; value: its length in one byte
    Date,          // no TYPE_INFO; value: its length in one byte
    Scaled,        // TYPE_INFO: the scale; value: its length in one byte
    UShortLength,  // TYPE_INFO: the maximum size in two bytes; value: two-byte length, or chunks for (max)
    UShortCharacters, // the same with a collation after the maximum size
};

struct TypeDescription
{
    std::uint8_t uType;
    const wchar_t* wszName;
    Layout layout;
    std::uint8_t cbFixed = 0; // for Layout::Fixed
};

constexpr std::array<TypeDescription, 30> kTypes{{
    {0x1F, L"null", Layout::Fixed, 0},
    {0x30, L"tinyint", Layout::Fixed, 1},
    {0x32, L"bit", Layout::Fixed, 1},
    {0x34, L"smallint", Layout::Fixed, 2},
    {0x38, L"int", Layout::Fixed, 4},
    {0x3A, L"smalldatetime", Layout::Fixed, 4},
    {0x3B, L"real", Layout::Fixed, 4},
    {0x3C, L"money", Layout::Fixed, 8},
    {0x3D, L"datetime", Layout::Fixed, 8},
    {0x3E, L"float", Layout::Fixed, 8},
    {0x7A, L"smallmoney", Layout::Fixed, 4},
    {0x7F, L"bigint", Layout::Fixed, 8},
    {0x24, L"uniqueidentifier", Layout::ByteLength},
    {0x26, L"int", Layout::ByteLength},
    {0x68, L"bit", Layout::ByteLength},
    {0x6D, L"float", Layout::ByteLength},
    {0x6E, L"money", Layout::ByteLength},
    {0x6F, L"datetime", Layout::ByteLength},
    {0x6A, L"decimal", Layout::Decimal},
    {0x6C, L"numeric", Layout::Decimal},
    {0x28, L"date", Layout::Date},
    {0x29, L"time", Layout::Scaled},
    {0x2A, L"datetime2", Layout::Scaled},
    {0x2B, L"datetimeoffset", Layout::Scaled},
    {0xA5, L"varbinary", Layout::UShortLength},
    {0xAD, L"binary", Layout::UShortLength},
    {0xA7, L"varchar", Layout::UShortCharacters},
    {0xAF, L"char", Layout::UShortCharacters},
    {0xE7, L"nvarchar", Layout::UShortCharacters},
    {0xEF, L"nchar", Layout::UShortCharacters},
}};

constexpr std::size_t kCollationSize = 5;
constexpr std::uint16_t kMaxSize = 0xFFFF;
constexpr std::uint64_t kPlpNull = ~std::uint64_t{0};

const TypeDescription& FindType(std::uint8_t uType)
{
    for (const TypeDescription& type : kTypes) {
        if (type.uType == uType)
            return type;
    }
    throw CProtocolError("parameter of an unknown type " + std::to_string(uType));
}

// The integer sizes of the nullable integer type, by their names.
const wchar_t* IntegerName(std::uint8_t cb)
{
    switch (cb) {
    case 1:
        return L"tinyint";
    case 2:
        return L"smallint";
    case 8:
        return L"bigint";
    default:
        return L"int";
    }
}

// Reads the value bytes of a chunked (max) value; nothing for NULL.
std::optional<std::vector<std::uint8_t>> ReadChunkedValue(CTdsReader& reader)
{
    if (reader.UInt64() == kPlpNull)
        return std::nullopt;
    std::vector<std::uint8_t> bytes;
    while (const std::uint32_t cbChunk = reader.UInt32()) {
        const auto chunk = reader.Bytes(cbChunk);
        bytes.insert(bytes.end(), chunk.begin(), chunk.end());
    }
    return bytes;
}

std::optional<std::vector<std::uint8_t>> Copy(std::span<const std::uint8_t> bytes)
{
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

// The value as the transcript shows it.
std::wstring ValueText(const TypeDescription& type, const std::optional<std::vector<std::uint8_t>>& bytes)
{
    if (!bytes)
        return L"NULL";
    if (type.uType == 0xE7 || type.uType == 0xEF)
        return UTIL::STR::Utf16LeToWide(*bytes);
    const bool bInteger = type.uType == 0x26 || type.uType == 0x30 || type.uType == 0x34 || type.uType == 0x38 ||
                          type.uType == 0x7F;
    if (bInteger && !bytes->empty() && bytes->size() <= 8) {
        std::uint64_t uValue = 0;
        for (std::size_t i = bytes->size(); i-- > 0;)
            uValue = uValue << 8 | (*bytes)[i];
        // Sign-extend from the value's own width.
        const unsigned uShift = static_cast<unsigned>(64 - 8 * bytes->size());
        return std::to_wstring(static_cast<std::int64_t>(uValue << uShift) >> uShift);
    }
    return std::to_wstring(bytes->size()) + L" bytes";
}

// Reads one parameter's TYPE_INFO and value.
void ReadTypedValue(CTdsReader& reader, RpcParameter& parameter)
{
    const TypeDescription& type = FindType(reader.Byte());
    parameter.strType = type.wszName;
    std::optional<std::vector<std::uint8_t>> value;
    switch (type.layout) {
    case Layout::Fixed:
        value = Copy(reader.Bytes(type.cbFixed));
        break;
    case Layout::ByteLength:
    case Layout::Decimal: {
        const std::uint8_t cbSize = reader.Byte();
        if (type.uType == 0x26)
            parameter.strType = IntegerName(cbSize);
        else if (type.uType == 0x6F && cbSize == 4)
            parameter.strType = L"smalldatetime";
        if (type.layout == Layout::Decimal) {
            const unsigned uPrecision = reader.Byte();
            const unsigned uScale = reader.Byte();
            parameter.strType += L"(" + std::to_wstring(uPrecision) + L"," + std::to_wstring(uScale) + L")";
        }
        const std::uint8_t cbValue = reader.Byte();
        value = cbValue == 0 ? std::nullopt : Copy(reader.Bytes(cbValue));
        break;
    }
    case Layout::Date:
    case Layout::Scaled: {
        if (type.layout == Layout::Scaled)
            parameter.strType += L"(" + std::to_wstring(reader.Byte()) + L")";
        const std::uint8_t cbValue = reader.Byte();
        value = cbValue == 0 ? std::nullopt : Copy(reader.Bytes(cbValue));
        break;
    }
    case Layout::UShortLength:
    case Layout::UShortCharacters: {
        const std::uint16_t cbMax = reader.UInt16();
        if (type.layout == Layout::UShortCharacters)
            reader.Bytes(kCollationSize);
        const bool bWide = type.uType == 0xE7 || type.uType == 0xEF;
        parameter.strType +=
            L"(" + (cbMax == kMaxSize ? std::wstring(L"max") : std::to_wstring(bWide ? cbMax / 2 : cbMax)) + L")";
        if (cbMax == kMaxSize) {
            value = ReadChunkedValue(reader);
        } else {
            const std::uint16_t cbValue = reader.UInt16();
            value = cbValue == kMaxSize ? std::nullopt : Copy(reader.Bytes(cbValue));
        }
        break;
    }
    }
    parameter.strValue = ValueText(type, value);
}

// The system procedures a client may call by number instead of by name.
std::wstring ProcedureName(std::uint16_t uId)
{
    static constexpr std::array<const wchar_t*, 16> kNames{
        L"",           L"sp_cursor",  L"sp_cursoropen", L"sp_cursorprepare", L"sp_cursorexecute", L"sp_cursorprepexec",
        L"sp_cursorunprepare", L"sp_cursorfetch", L"sp_cursoroption", L"sp_cursorclose", L"sp_executesql",
        L"sp_prepare", L"sp_execute", L"sp_prepexec", L"sp_prepexecrpc", L"sp_unprepare"};
    return uId < kNames.size() ? kNames[uId] : L"procedure " + std::to_wstring(uId);
}

} // namespace

std::wstring ParseSqlBatch(std::span<const std::uint8_t> payload)
{
    CTdsReader reader(payload);
    SkipAllHeaders(reader);
    return UTIL::STR::Utf16LeToWide(reader.Bytes(reader.Remaining()));
}

RpcRequest ParseRpc(std::span<const std::uint8_t> payload)
{
    constexpr std::uint16_t kProcedureById = 0xFFFF;
    constexpr std::uint8_t kByReference = 0x01;
    CTdsReader reader(payload);
    SkipAllHeaders(reader);
    RpcRequest request;
    const std::uint16_t cchName = reader.UInt16();
    request.strProcedure = cchName == kProcedureById ? ProcedureName(reader.UInt16()) : reader.Text(cchName);
    reader.UInt16(); // option flags
    while (reader.Remaining() > 0) {
        RpcParameter parameter;
        parameter.strName = reader.ByteCountedText();
        parameter.bOutput = (reader.Byte() & kByReference) != 0;
        ReadTypedValue(reader, parameter);
        request.parameters.push_back(std::move(parameter));
    }
    return request;
}

} // namespace TdsServer
