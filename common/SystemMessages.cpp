#include "common/ComError.h"
#include "common/StringUtils.h"

#include <array>
#include <utility>

namespace UTIL::COM {
namespace {

// The texts Windows gives for the codes this system meets.
constexpr std::array<std::pair<std::uint32_t, const wchar_t*>, 28> kMessages{{
    {0x80004001, L"Not implemented"},
    {0x80004002, L"No such interface supported"},
    {0x80004003, L"Invalid pointer"},
    {0x80004004, L"Operation aborted"},
    {0x80004005, L"Unspecified error"},
    {0x8000FFFF, L"Catastrophic failure"},
    {0x8007000E, L"Ran out of memory"},
    {0x80070057, L"The parameter is incorrect."},
    {0x80010106, L"Cannot change thread mode after it is set."},
    {0x80010009, L"The data packet with the marshalled parameter data is incorrect."},
    {0x80010108, L"The object invoked has disconnected from its clients."},
    {0x8001011F, L"This operation returned because the timeout period expired."},
    {0x80040154, L"Class not registered"},
    {0x80070002, L"The system cannot find the file specified."},
    {0x80070003, L"The system cannot find the path specified."},
    {0x80070005, L"Access is denied."},
    {0x80070008, L"Not enough memory resources are available to process this command."},
    {0x80070020, L"The process cannot access the file because it is being used by another process."},
    {0x80070026, L"Reached the end of the file."},
    {0x80070050, L"The file exists."},
    {0x80070070, L"There is not enough space on the disk."},
    {0x8007007B, L"The filename, directory name, or volume label syntax is incorrect."},
    {0x800700CE, L"The filename or extension is too long."},
    {0x8007010B, L"The directory name is invalid."},
    {0x80070716, L"The specified resource name cannot be found in the image file."},
    {0x800706BA, L"The RPC server is unavailable."},
    {0x80070079, L"The semaphore timeout period has expired."},
    {0x800700AA, L"The requested resource is in use."},
}};

} // namespace

std::wstring SystemMessageText(HRESULT hr)
{
    for (const auto& [uCode, wszText] : kMessages) {
        if (uCode == HResultBits(hr))
            return wszText;
    }
    return FormatW(L"Unknown error 0x%08X", HResultBits(hr));
}

std::wstring _com_error::ErrorMessage() const
{
    return SystemMessageText(m_hr);
}

} // namespace UTIL::COM
