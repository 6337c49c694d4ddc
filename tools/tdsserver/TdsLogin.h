#pragma once
// The start of a conversation: the pre-login exchange (this server offers no encryption) and the
// LOGIN7 message with the client's user, password and database.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace TdsServer {

// The answer to any pre-login message: version 16.0, encryption not supported, no MARS.
std::vector<std::uint8_t> PreLoginResponse();

struct LoginRequest
{
    std::uint32_t uTdsVersion = 0;
    bool bIntegratedSecurity = false;
    std::wstring strUser;
    std::wstring strPassword; // undone from the protocol's obfuscation
    std::wstring strDatabase;
};

// Throws CProtocolError when the message is no LOGIN7 this server understands.
LoginRequest ParseLogin7(std::span<const std::uint8_t> payload);

} // namespace TdsServer
