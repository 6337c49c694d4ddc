#pragma once
// The error information of a thread, as COM keeps it: a failing call may leave a source and a
// description for its caller, who takes them (leaving none) to build the error it reports.

#include <optional>
#include <string>

namespace platform {

struct ErrorInfo
{
    std::wstring strSource;
    std::wstring strDescription;
};

// Replaces the calling thread's error information; nothing clears it.
void SetErrorInfo(std::optional<ErrorInfo> info);
// Takes the calling thread's error information, leaving none.
std::optional<ErrorInfo> GetErrorInfo();

} // namespace platform
