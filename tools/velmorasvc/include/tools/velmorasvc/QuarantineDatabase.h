#pragma once
// The substitute service's quarantine database: a SQLite file reached through the project's ODBC
// layer, one row per imported file with what its header holds, and one per import run. Every value
// travels as a bound parameter; the statements run for each file are prepared once on the
// connection. Failures throw _com_error with the database's own description of them.

#include "common/ComError.h"
#include "platform/ado/Ado.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Velmorasvc {

struct QuarantineItem
{
    std::wstring strFileName;
    std::wstring strNetworkName;
    std::int32_t lRunId = 0;
    std::wstring strHedLine;
    std::vector<std::wstring> headerLines;
    std::uint64_t cbContent = 0;
};

class CQuarantineDatabase
{
public:
    // Opens the file, creating it and its tables when they are not there.
    explicit CQuarantineDatabase(const std::filesystem::path& file);

    // The item's number when a file of that name is recorded.
    std::optional<std::int32_t> FindItem(const std::wstring& strFileName);
    // Records the start of an import run and returns its number.
    std::int32_t AddRun();
    void AddItem(const QuarantineItem& item);

private:
    platform::ado::Command MakeCommand(std::wstring strText, const std::vector<platform::ado::DataType>& parameterTypes,
                                       bool bPrepared = false) const;
    // Runs the command with these values of its parameters, in their order.
    platform::ado::RecordsetPtr Run(platform::ado::Command& command, std::vector<platform::Variant> values = {});
    // The layer's error again, with the first description in the connection's errors collection.
    [[noreturn]] void RaiseWithDescription(const UTIL::COM::_com_error& e) const;

    platform::ado::ConnectionPtr m_pConnection;
    platform::ado::Command m_findItem;
    platform::ado::Command m_addItem;
};

} // namespace Velmorasvc
