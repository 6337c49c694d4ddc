#include "TdsLogin.h"

#include "TdsBuffer.h"
#include "common/StringUtils.h"

namespace TdsServer {
namespace {

// Pre-login options.
enum class PreLoginOption : std::uint8_t { Version = 0, Encryption = 1, InstanceName = 2, ThreadId = 3, Mars = 4 };
constexpr std::uint8_t kPreLoginTerminator = 0xFF;
constexpr std::uint8_t kEncryptionNotSupported = 0x02;

// Offsets into the fixed part of LOGIN7.
constexpr std::size_t kOptionFlags2Offset = 25;
constexpr std::uint8_t kIntegratedSecurity = 0x80;
constexpr std::size_t kUserNameOffset = 40;
constexpr std::size_t kPasswordOffset = 44;
constexpr std::size_t kDatabaseOffset = 68;
constexpr std::size_t kFixedPartSize = 94;

// The UTF-16LE bytes an offset-and-length pair of the fixed part points at.
std::span<const std::uint8_t> FieldBytes(std::span<const std::uint8_t> login, std::size_t pairOffset)
{
    CTdsReader pair(login.subspan(pairOffset, 4));
    const std::size_t offset = pair.UInt16();
    const std::size_t cch = pair.UInt16();
    if (offset + 2 * cch > login.size())
        throw CProtocolError("LOGIN7 field past the end of the message");
    return login.subspan(offset, 2 * cch);
}

// The client swaps the nibbles of every password byte and XORs it with 0xA5; this undoes it.
std::wstring PasswordText(std::span<const std::uint8_t> obfuscated)
{
    std::vector<std::uint8_t> bytes(obfuscated.begin(), obfuscated.end());
    for (std::uint8_t& b : bytes) {
        b ^= 0xA5;
        b = static_cast<std::uint8_t>((b << 4) | (b >> 4));
    }
    return UTIL::STR::Utf16LeToWide(bytes);
}

} // namespace

std::vector<std::uint8_t> PreLoginResponse()
{
    struct Option
    {
        PreLoginOption option;
        std::vector<std::uint8_t> data;
    };
    const Option options[] = {
        {PreLoginOption::Version, {16, 0, 0x03, 0xE8, 0, 0}},
        {PreLoginOption::Encryption, {kEncryptionNotSupported}},
        {PreLoginOption::InstanceName, {0}},
        {PreLoginOption::ThreadId, {0, 0, 0, 0}},
        {PreLoginOption::Mars, {0}},
    };
    CTdsWriter out;
    std::size_t offset = std::size(options) * 5 + 1;
    for (const Option& option : options) {
        out.Byte(static_cast<std::uint8_t>(option.option));
        out.UInt16BigEndian(static_cast<std::uint16_t>(offset));
        out.UInt16BigEndian(static_cast<std::uint16_t>(option.data.size()));
        offset += option.data.size();
    }
    out.Byte(kPreLoginTerminator);
    for (const Option& option : options)
        out.Bytes(option.data);
    return out.Data();
}

LoginRequest ParseLogin7(std::span<const std::uint8_t> payload)
{
    CTdsReader reader(payload);
    const std::size_t cbLogin = reader.UInt32();
    if (cbLogin < kFixedPartSize || cbLogin > payload.size())
        throw CProtocolError("LOGIN7 shorter than its fixed part");
    const std::span<const std::uint8_t> login = payload.first(cbLogin);
    LoginRequest request;
    request.uTdsVersion = reader.UInt32();
    request.bIntegratedSecurity = (login[kOptionFlags2Offset] & kIntegratedSecurity) != 0;
    request.strUser = UTIL::STR::Utf16LeToWide(FieldBytes(login, kUserNameOffset));
    request.strPassword = PasswordText(FieldBytes(login, kPasswordOffset));
    request.strDatabase = UTIL::STR::Utf16LeToWide(FieldBytes(login, kDatabaseOffset));
    return request;
}

} // namespace TdsServer
