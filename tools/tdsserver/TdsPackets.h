#pragma once
// TDS messages on a socket: each travels as packets of an eight-byte header (type, status,
// big-endian length, channel, number, window) and a part of the message, the last packet
// flagged end of message.

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace TdsServer {

enum class PacketType : std::uint8_t {
    SqlBatch = 0x01,
    Rpc = 0x03,
    TabularResult = 0x04,
    Login7 = 0x10,
    PreLogin = 0x12,
};

struct TdsMessage
{
    PacketType type;
    std::vector<std::uint8_t> payload;
};

// The next whole message; nothing when the client closed the connection or went quiet past the
// socket's receive timeout. Throws CProtocolError for a malformed packet.
std::optional<TdsMessage> ReadMessage(int fdSocket);

// Sends the payload as one message in packets of at most 4096 bytes; false when the client has
// gone. With a pace, the message goes out one byte at a time with that pause between bytes, as a
// slow or failing network delivers it.
bool WriteMessage(int fdSocket, PacketType type, std::span<const std::uint8_t> payload,
                  std::chrono::milliseconds pace = std::chrono::milliseconds(0));

} // namespace TdsServer
