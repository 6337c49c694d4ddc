#pragma once
// The SQL Server Resolution Protocol as a browse uses it: the request every SQL Server Browser
// answers, and its answer, which lists the instances of one computer.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace platform::browse {

constexpr std::uint16_t kResolutionPort = 1434;
constexpr std::uint8_t CLNT_BCAST_EX = 0x02; // "which instances do you have?", to all computers of a network
constexpr std::uint8_t CLNT_UCAST_EX = 0x03; // the same question, to one computer
constexpr std::uint8_t SVR_RESP = 0x05;

// The longest host or instance name that is listed.
constexpr std::size_t kMaxNameLength = 255;

// What one answer says: the server names of its instances ("HOST" for the default instance
// MSSQLSERVER, "HOST\INSTANCE" for the others), in its order, and a note for each instance left
// out because its names could not stand in a browse list.
struct ResolutionAnswer
{
    std::vector<std::wstring> names;
    std::vector<std::wstring> refusals;
};

// Nothing when the datagram is no answer: a first byte other than SVR_RESP, or a length that
// is more than the datagram holds. An answer's last instance must end with ";;" to count.
std::optional<ResolutionAnswer> ParseResolutionAnswer(std::span<const std::uint8_t> datagram);

// The browse text of the names: "Server={name,name}", or "Server=" when there are none.
std::wstring BrowseText(const std::vector<std::wstring>& names);

} // namespace platform::browse
