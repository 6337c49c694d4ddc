#include "NameValidation.h"

#include "common/CharacterClass.h"
#include "trace/ICDebug.h"

#include <cwchar>

namespace Keeplibs {
namespace {

constexpr std::size_t kMaxDatabaseName = 123;
constexpr std::size_t kMaxBackupFileName = 520;

template <class IsAllowed> bool ValidateCharacters(const wchar_t* pstrName, std::size_t cchMax, IsAllowed&& isAllowed)
{
    const std::size_t cchName = std::wcslen(pstrName);
    for (std::size_t i = 0; i < cchName; ++i) {
        if (!isAllowed(pstrName[i])) {
            TRACE_ERROR(TRACE_FAILURE, L"Invalid character on position %u.", static_cast<unsigned>(i));
            return false;
        }
    }
    if (cchName > cchMax)
        TRACE_ERROR(TRACE_FAILURE, L"Name too long.");
    return true;
}

} // namespace

bool ValidateDatabaseName(const wchar_t* pstrName)
{
    if (!pstrName)
        return false;
    using UTIL::STR::IsDigit;
    using UTIL::STR::IsLetter;
    if (!IsLetter(pstrName[0]) && pstrName[0] != L'_') {
        TRACE_ERROR(TRACE_FAILURE, L"Invalid first character.");
        return false;
    }
    return ValidateCharacters(pstrName, kMaxDatabaseName, [&](wchar_t c) {
        return IsLetter(c) || IsDigit(c) || c == L'#' || c == L'$' || c == L'@' || c == L'_';
    });
}

bool ValidateBackupFileName(const wchar_t* pstrName)
{
    if (!pstrName)
        return false;
    return ValidateCharacters(pstrName, kMaxBackupFileName, [](wchar_t c) { return c != L'\''; });
}

} // namespace Keeplibs
