#pragma once
// The one mapping from a caught exception to an HRESULT. Every function that must not throw
// ends in it: the library's exports, the programs' main functions.

#include "common/HResult.h"

#include <string>

namespace UTIL::ERR {

enum class ExceptionKind { ComError, AtlException, ComException, BadAlloc, Standard, Unknown };

struct CaughtException
{
    ExceptionKind kind;
    HRESULT hr;
    // What the exception says: the system text of a COM error's code, the message of the
    // system's and the standard exceptions; empty for the others.
    std::wstring strText;
};

// Classifies the exception being handled. Call it only inside a catch block.
CaughtException ClassifyCurrentException() noexcept;

} // namespace UTIL::ERR
