// The library's own trace log, made when the library is loaded and closed when it is unloaded.

#include "trace/ICDebug.h"

namespace {
ICDebug g_libraryTraceLog(L"Software\\Vestrel\\VLDebugLogs\\Keeplib");
} // namespace

ICDebug& TraceLog()
{
    return g_libraryTraceLog;
}
