#include "TdsBuffer.h"

#include "common/StringUtils.h"

namespace TdsServer {

namespace {

// The UTF-16LE bytes of a text whose count of code units must fit cchMax.
std::vector<std::uint8_t> CodeUnits(std::wstring_view text, std::size_t cchMax)
{
    std::vector<std::uint8_t> units = UTIL::STR::WideToUtf16Le(text);
    if (units.size() / 2 > cchMax)
        throw CProtocolError("a text too long for its count");
    return units;
}

} // namespace

void CTdsWriter::UInt16(std::uint16_t u)
{
    Byte(static_cast<std::uint8_t>(u));
    Byte(static_cast<std::uint8_t>(u >> 8));
}

void CTdsWriter::UInt32(std::uint32_t u)
{
    UInt16(static_cast<std::uint16_t>(u));
    UInt16(static_cast<std::uint16_t>(u >> 16));
}

void CTdsWriter::UInt64(std::uint64_t u)
{
    UInt32(static_cast<std::uint32_t>(u));
    UInt32(static_cast<std::uint32_t>(u >> 32));
}

void CTdsWriter::UInt16BigEndian(std::uint16_t u)
{
    Byte(static_cast<std::uint8_t>(u >> 8));
    Byte(static_cast<std::uint8_t>(u));
}

void CTdsWriter::Bytes(std::span<const std::uint8_t> bytes)
{
    m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
}

void CTdsWriter::Text(std::wstring_view text)
{
    Bytes(UTIL::STR::WideToUtf16Le(text));
}

void CTdsWriter::ByteCountedText(std::wstring_view text)
{
    const std::vector<std::uint8_t> units = CodeUnits(text, 0xFF);
    Byte(static_cast<std::uint8_t>(units.size() / 2));
    Bytes(units);
}

void CTdsWriter::UShortCountedText(std::wstring_view text)
{
    const std::vector<std::uint8_t> units = CodeUnits(text, 0xFFFF);
    UInt16(static_cast<std::uint16_t>(units.size() / 2));
    Bytes(units);
}

void CTdsWriter::PatchUInt16(std::size_t offset, std::uint16_t u)
{
    m_bytes.at(offset) = static_cast<std::uint8_t>(u);
    m_bytes.at(offset + 1) = static_cast<std::uint8_t>(u >> 8);
}

std::span<const std::uint8_t> CTdsReader::Bytes(std::size_t cb)
{
    if (cb > Remaining())
        throw CProtocolError("message ends early");
    const std::span<const std::uint8_t> bytes = m_bytes.subspan(m_offset, cb);
    m_offset += cb;
    return bytes;
}

std::uint8_t CTdsReader::Byte()
{
    return Bytes(1)[0];
}

std::uint16_t CTdsReader::UInt16()
{
    const auto bytes = Bytes(2);
    return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

std::uint32_t CTdsReader::UInt32()
{
    const std::uint32_t uLow = UInt16();
    return uLow | static_cast<std::uint32_t>(UInt16()) << 16;
}

std::uint64_t CTdsReader::UInt64()
{
    const std::uint64_t uLow = UInt32();
    return uLow | static_cast<std::uint64_t>(UInt32()) << 32;
}

std::wstring CTdsReader::Text(std::size_t cch)
{
    return UTIL::STR::Utf16LeToWide(Bytes(2 * cch));
}

std::wstring CTdsReader::ByteCountedText()
{
    return Text(Byte());
}

} // namespace TdsServer
