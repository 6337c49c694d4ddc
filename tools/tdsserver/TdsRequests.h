#pragma once
// The client's requests after login: a SQL batch, and a remote procedure call with its
// parameters. Each starts with the headers of TDS 7.2 and later, which are skipped.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace TdsServer {

std::wstring ParseSqlBatch(std::span<const std::uint8_t> payload);

struct RpcParameter
{
    std::wstring strName; // empty for a parameter passed by position
    bool bOutput = false;
    std::wstring strType;  // as T-SQL names it: "int", "datetime", "nvarchar(4000)", ...
    std::wstring strValue; // an input value as text: numbers and text as they are, bytes as 0x..., NULL, or
                           // the byte count of a date
};

struct RpcRequest
{
    std::wstring strProcedure; // the name sent, or "procedure <n>" for one sent by its number
    std::vector<RpcParameter> parameters;
};

// Throws CProtocolError for a parameter of a type this server does not read: int, bigint,
// datetime, datetime2, nvarchar and varbinary are what the ADO-like layer binds.
RpcRequest ParseRpc(std::span<const std::uint8_t> payload);

} // namespace TdsServer
