// The trace log of benchmarks that run the library's code: it writes nowhere, so that what is
// measured is the code and not the log.

#include "platform/Registry.h"
#include "trace/ICDebug.h"

ICDebug& TraceLog()
{
    static ICDebug log(L"Bench",
                       platform::Registry::FromText("[HKEY_LOCAL_MACHINE\\Bench]\n"
                                                    "\"OutputToFile\"=dword:0\n\"OutputToDebugger\"=dword:0\n"));
    return log;
}
