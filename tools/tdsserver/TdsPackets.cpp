#include "TdsPackets.h"

#include "TdsBuffer.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <sys/socket.h>
#include <thread>

namespace TdsServer {
namespace {

constexpr std::size_t kHeaderSize = 8;
constexpr std::size_t kPacketSize = 4096;
constexpr std::uint8_t kEndOfMessage = 0x01;

// Reads exactly cb bytes; false at the end of the stream or on a failure (a timeout included).
bool ReadExactly(int fdSocket, std::uint8_t* pBuffer, std::size_t cb)
{
    while (cb > 0) {
        const ssize_t cbRead = ::recv(fdSocket, pBuffer, cb, 0);
        if (cbRead < 0 && errno == EINTR)
            continue;
        if (cbRead <= 0)
            return false;
        pBuffer += cbRead;
        cb -= static_cast<std::size_t>(cbRead);
    }
    return true;
}

bool WriteAll(int fdSocket, std::span<const std::uint8_t> bytes)
{
    while (!bytes.empty()) {
        const ssize_t cbWritten = ::send(fdSocket, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (cbWritten < 0 && errno == EINTR)
            continue;
        if (cbWritten <= 0)
            return false;
        bytes = bytes.subspan(static_cast<std::size_t>(cbWritten));
    }
    return true;
}

// One byte at a time, the pause before each but the first.
bool Trickle(int fdSocket, std::span<const std::uint8_t> bytes, std::chrono::milliseconds pace)
{
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0)
            std::this_thread::sleep_for(pace);
        if (!WriteAll(fdSocket, bytes.subspan(i, 1)))
            return false;
    }
    return true;
}

} // namespace

std::optional<TdsMessage> ReadMessage(int fdSocket)
{
    TdsMessage message{};
    for (bool bFirst = true;; bFirst = false) {
        std::array<std::uint8_t, kHeaderSize> header{};
        if (!ReadExactly(fdSocket, header.data(), header.size()))
            return std::nullopt;
        const auto type = static_cast<PacketType>(header[0]);
        const std::size_t cbPacket = static_cast<std::size_t>(header[2] << 8 | header[3]);
        if (cbPacket < kHeaderSize)
            throw CProtocolError("packet shorter than its header");
        if (!bFirst && type != message.type)
            throw CProtocolError("packet of another type inside a message");
        message.type = type;
        const std::size_t cbOld = message.payload.size();
        message.payload.resize(cbOld + cbPacket - kHeaderSize);
        if (!ReadExactly(fdSocket, message.payload.data() + cbOld, cbPacket - kHeaderSize))
            return std::nullopt;
        if (header[1] & kEndOfMessage)
            return message;
    }
}

bool WriteMessage(int fdSocket, PacketType type, std::span<const std::uint8_t> payload, std::chrono::milliseconds pace)
{
    std::uint8_t uPacketNumber = 1;
    do {
        const std::size_t cbPart = std::min(payload.size(), kPacketSize - kHeaderSize);
        const bool bLast = cbPart == payload.size();
        CTdsWriter packet;
        packet.Byte(static_cast<std::uint8_t>(type));
        packet.Byte(bLast ? kEndOfMessage : 0);
        packet.UInt16BigEndian(static_cast<std::uint16_t>(kHeaderSize + cbPart));
        packet.UInt16(0); // channel
        packet.Byte(uPacketNumber++);
        packet.Byte(0); // window
        packet.Bytes(payload.first(cbPart));
        if (!(pace.count() > 0 ? Trickle(fdSocket, packet.Data(), pace) : WriteAll(fdSocket, packet.Data())))
            return false;
        payload = payload.subspan(cbPart);
    } while (!payload.empty());
    return true;
}

} // namespace TdsServer
