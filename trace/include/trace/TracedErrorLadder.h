#pragma once
// The error ladder with its trace lines: one "ERR: " line per kind of exception.

#include "common/HResult.h"

// Call only inside a catch block: traces the exception being handled and returns its HRESULT.
HRESULT TraceCaughtException(const char* szSourceFile, int iLine) noexcept;

#define TRACE_CAUGHT_EXCEPTION() TraceCaughtException(__FILE__, __LINE__)
