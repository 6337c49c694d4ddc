#include "TdsRequests.h"

#include "TdsBuffer.h"
#include "common/StringUtils.h"

#include <optional>
#include <string>
#include <vector>

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

// The parameter types that the ADO-like layer binds, as FreeTDS sends them: int and bigint,
// datetime and datetime2 for dates, nvarchar for text, varbinary for bytes; and ntext, which
// carries the statement and the declarations of its parameters to sp_executesql and
// sp_prepexec. Another type ends the conversation with a protocol error in the transcript.
constexpr std::uint8_t kIntN = 0x26;
constexpr std::uint8_t kDateTimeN = 0x6F;
constexpr std::uint8_t kDateTime2N = 0x2A;
constexpr std::uint8_t kNVarChar = 0xE7;
constexpr std::uint8_t kVarBinary = 0xA5;
constexpr std::uint8_t kNText = 0x63;

constexpr std::size_t kCollationSize = 5;
constexpr std::uint16_t kMaxSize = 0xFFFF; // nvarchar(max), sent in chunks
constexpr std::uint64_t kChunkedNull = ~std::uint64_t{0};
constexpr std::uint32_t kLongNull = ~std::uint32_t{0};

using ValueBytes = std::optional<std::vector<std::uint8_t>>; // nothing for NULL

ValueBytes Copy(std::span<const std::uint8_t> bytes)
{
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

// A value after its length in one byte, or two; zero, or all bits set, for NULL.
ValueBytes ReadByteCountedValue(CTdsReader& reader)
{
    const std::uint8_t cb = reader.Byte();
    return cb == 0 ? std::nullopt : Copy(reader.Bytes(cb));
}

ValueBytes ReadUShortCountedValue(CTdsReader& reader)
{
    const std::uint16_t cb = reader.UInt16();
    return cb == kMaxSize ? std::nullopt : Copy(reader.Bytes(cb));
}

ValueBytes ReadUIntCountedValue(CTdsReader& reader)
{
    const std::uint32_t cb = reader.UInt32();
    return cb == kLongNull ? std::nullopt : Copy(reader.Bytes(cb));
}

ValueBytes ReadChunkedValue(CTdsReader& reader)
{
    if (reader.UInt64() == kChunkedNull)
        return std::nullopt;
    std::vector<std::uint8_t> bytes;
    while (const std::uint32_t cbChunk = reader.UInt32()) {
        const auto chunk = reader.Bytes(cbChunk);
        bytes.insert(bytes.end(), chunk.begin(), chunk.end());
    }
    return bytes;
}

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

// A little-endian integer of one to eight bytes.
std::wstring IntegerText(const std::vector<std::uint8_t>& bytes)
{
    if (bytes.empty() || bytes.size() > 8)
        throw CProtocolError("an integer of " + std::to_string(bytes.size()) + " bytes");
    std::uint64_t uValue = 0;
    for (std::size_t i = bytes.size(); i-- > 0;)
        uValue = uValue << 8 | bytes[i];
    // Sign-extended from the value's own width.
    const unsigned uShift = static_cast<unsigned>(64 - 8 * bytes.size());
    return std::to_wstring(static_cast<std::int64_t>(uValue << uShift) >> uShift);
}

// Bytes as T-SQL writes a binary literal: "0x" and two hexadecimal digits a byte.
std::wstring HexText(const std::vector<std::uint8_t>& bytes)
{
    std::wstring str = L"0x";
    for (const std::uint8_t b : bytes)
        str += FormatW(L"%02X", b);
    return str;
}

// Reads one parameter's type and value.
void ReadTypedValue(CTdsReader& reader, RpcParameter& parameter)
{
    const std::uint8_t uType = reader.Byte();
    ValueBytes value;
    switch (uType) {
    case kIntN:
        parameter.strType = IntegerName(reader.Byte());
        value = ReadByteCountedValue(reader);
        break;
    case kDateTimeN:
        reader.Byte(); // the size: 8
        parameter.strType = L"datetime";
        value = ReadByteCountedValue(reader);
        break;
    case kDateTime2N:
        parameter.strType = L"datetime2(" + std::to_wstring(reader.Byte()) + L")";
        value = ReadByteCountedValue(reader);
        break;
    case kNVarChar: {
        const std::uint16_t cbMax = reader.UInt16();
        reader.Bytes(kCollationSize);
        parameter.strType =
            L"nvarchar(" + (cbMax == kMaxSize ? std::wstring(L"max") : std::to_wstring(cbMax / 2)) + L")";
        value = cbMax == kMaxSize ? ReadChunkedValue(reader) : ReadUShortCountedValue(reader);
        break;
    }
    case kNText:
        reader.UInt32(); // the longest length
        reader.Bytes(kCollationSize);
        parameter.strType = L"ntext";
        value = ReadUIntCountedValue(reader);
        break;
    case kVarBinary: {
        const std::uint16_t cbMax = reader.UInt16();
        parameter.strType = L"varbinary(" + (cbMax == kMaxSize ? std::wstring(L"max") : std::to_wstring(cbMax)) + L")";
        value = cbMax == kMaxSize ? ReadChunkedValue(reader) : ReadUShortCountedValue(reader);
        break;
    }
    default:
        throw CProtocolError("a parameter of type " + std::to_string(uType) + ", which this server does not read");
    }
    if (!value)
        parameter.strValue = L"NULL";
    else if (uType == kNVarChar || uType == kNText)
        parameter.strValue = UTIL::STR::Utf16LeToWide(*value);
    else if (uType == kIntN)
        parameter.strValue = IntegerText(*value);
    else if (uType == kVarBinary)
        parameter.strValue = HexText(*value);
    else
        parameter.strValue = std::to_wstring(value->size()) + L" bytes";
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
    request.strProcedure =
        cchName == kProcedureById ? L"procedure " + std::to_wstring(reader.UInt16()) : reader.Text(cchName);
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
