#include "SqlHandles.h"

#include "trace/ICDebug.h"

#include <array>

namespace VestrelODBCUtil {

using namespace platform::browse;

void TraceODBCError(SQLSMALLINT handleType, Handle* pHandle)
{
    SQLINTEGER lRecords = 0;
    if (SQLGetDiagFieldW(handleType, pHandle, 0, SQL_DIAG_NUMBER, &lRecords) != SQL_SUCCESS)
        return;
    for (SQLINTEGER lRecord = 1; lRecord <= lRecords && lRecord <= 0x7FFF; ++lRecord) {
        wchar_t szState[6] = {};
        SQLINTEGER lNativeError = 0;
        std::array<wchar_t, 1025> szMessage{};
        SQLSMALLINT cchMessage = 0;
        if (SQLGetDiagRecW(handleType, pHandle, static_cast<SQLSMALLINT>(lRecord), szState, &lNativeError,
                           szMessage.data(), static_cast<SQLSMALLINT>(szMessage.size()), &cchMessage) != SQL_SUCCESS)
            return;
        TRACE_ERROR(TRACE_FAILURE, L"STATE=%ls,CODE=%d,ERR=%ls.", szState, static_cast<int>(lNativeError),
                    szMessage.data());
    }
}

} // namespace VestrelODBCUtil
