#pragma once
// Bytes as the TDS protocol lays them out: little-endian integers (big-endian only where the
// protocol says so), UTF-16LE text with a one- or two-byte character count in front.

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace TdsServer {

// A message that does not hold what its type promises.
class CProtocolError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

class CTdsWriter
{
public:
    void Byte(std::uint8_t b) { m_bytes.push_back(b); }
    void UInt16(std::uint16_t u);
    void UInt32(std::uint32_t u);
    void UInt64(std::uint64_t u);
    void UInt16BigEndian(std::uint16_t u);
    void Bytes(std::span<const std::uint8_t> bytes);
    // UTF-16LE without a count.
    void Text(std::wstring_view text);
    // UTF-16LE after a count of its code units in one byte (B_VARCHAR) or two (US_VARCHAR).
    void ByteCountedText(std::wstring_view text);
    void UShortCountedText(std::wstring_view text);

    // For tokens whose length comes first: the offset to patch once the body is written.
    std::size_t Size() const { return m_bytes.size(); }
    void PatchUInt16(std::size_t offset, std::uint16_t u);

    const std::vector<std::uint8_t>& Data() const { return m_bytes; }

private:
    std::vector<std::uint8_t> m_bytes;
};

// Reads a message front to back; running past its end throws CProtocolError.
class CTdsReader
{
public:
    explicit CTdsReader(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}

    std::uint8_t Byte();
    std::uint16_t UInt16();
    std::uint32_t UInt32();
    std::uint64_t UInt64();
    std::span<const std::uint8_t> Bytes(std::size_t cb);
    // cch UTF-16LE code units.
    std::wstring Text(std::size_t cch);
    std::wstring ByteCountedText();

    std::size_t Remaining() const { return m_bytes.size() - m_offset; }

private:
    std::span<const std::uint8_t> m_bytes;
    std::size_t m_offset = 0;
};

} // namespace TdsServer
