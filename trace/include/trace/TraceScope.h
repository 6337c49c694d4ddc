#pragma once
// Traces a function's entry and exit and nests the lines written in between.

#include "trace/ICDebug.h"

class CTraceScope
{
public:
    CTraceScope(const wchar_t* wszFunction, const char* szSourceFile, int iLine) noexcept
        : m_wszFunction(wszFunction ? wszFunction : L""), m_szSourceFile(szSourceFile ? szSourceFile : ""),
          m_iLine(iLine)
    {
        TraceLog().LogInfo(m_szSourceFile, m_iLine, TRACE_ENTRY_EXIT, L"+ Entering Function : %ls", m_wszFunction);
        TraceLog().IncTab();
    }
    ~CTraceScope()
    {
        TraceLog().DecTab();
        TraceLog().LogInfo(m_szSourceFile, m_iLine, TRACE_ENTRY_EXIT, L"+ Leaving Function : %ls", m_wszFunction);
    }
    CTraceScope(const CTraceScope&) = delete;
    CTraceScope& operator=(const CTraceScope&) = delete;

private:
    const wchar_t* m_wszFunction;
    const char* m_szSourceFile;
    int m_iLine;
};

#define TRACE_SCOPE(wszFunction) const CTraceScope traceScope_(wszFunction, __FILE__, __LINE__)
