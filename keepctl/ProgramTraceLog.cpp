// keepctl's own trace log, made before main runs and closed at exit.

#include "trace/ICDebug.h"

namespace {
ICDebug g_programTraceLog(L"Software\\Vestrel\\VLDebugLogs\\Keepctl");
} // namespace

ICDebug& TraceLog()
{
    return g_programTraceLog;
}
