#pragma once
// The ODBC handles of a browse, each owned and freed, and the trace of a handle's diagnostics.

#include "platform/browse/SqlBrowse.h"

namespace VestrelODBCUtil {

// Traces every diagnostic record of the handle as "STATE=...,CODE=...,ERR=...".
void TraceODBCError(platform::browse::SQLSMALLINT handleType, platform::browse::Handle* pHandle);

} // namespace VestrelODBCUtil

namespace Keeplibs {

// One ODBC handle of a kind: allocated, then freed once, at the latest on destruction.
template <platform::browse::SQLSMALLINT HandleType> class CSqlHandleOwner
{
public:
    CSqlHandleOwner() = default;
    ~CSqlHandleOwner() { Free(); }
    CSqlHandleOwner(const CSqlHandleOwner&) = delete;
    CSqlHandleOwner& operator=(const CSqlHandleOwner&) = delete;

    // Does nothing unless the handle was allocated; a failure is traced with its diagnostics.
    void Free()
    {
        if (!m_bAllocated)
            return;
        m_bAllocated = false;
        if (platform::browse::SQLFreeHandle(HandleType, m_handle) == platform::browse::SQL_ERROR)
            VestrelODBCUtil::TraceODBCError(HandleType, m_handle.get());
    }
    platform::browse::Handle* Get() const { return m_handle.get(); }

protected:
    platform::browse::SQLRETURN Allocate(platform::browse::Handle* pInput)
    {
        const platform::browse::SQLRETURN ret = platform::browse::SQLAllocHandle(HandleType, pInput, m_handle);
        m_bAllocated = ret == platform::browse::SQL_SUCCESS || ret == platform::browse::SQL_SUCCESS_WITH_INFO;
        return ret;
    }

private:
    bool m_bAllocated = false;
    platform::browse::HandlePtr m_handle;
};

// An ODBC environment.
class CSqlHEnv : public CSqlHandleOwner<platform::browse::SQL_HANDLE_ENV>
{
public:
    platform::browse::SQLRETURN Alloc() { return Allocate(nullptr); }
    platform::browse::SQLRETURN SetEnvAttr(platform::browse::SQLINTEGER attribute, platform::browse::SQLINTEGER value,
                                           platform::browse::SQLINTEGER cbValue)
    {
        return platform::browse::SQLSetEnvAttr(Get(), attribute, value, cbValue);
    }
};

// An ODBC connection of an environment.
class CSqlHDbc : public CSqlHandleOwner<platform::browse::SQL_HANDLE_DBC>
{
public:
    platform::browse::SQLRETURN Alloc(const CSqlHEnv& environment) { return Allocate(environment.Get()); }
    platform::browse::SQLRETURN SetConnectAttr(platform::browse::SQLINTEGER attribute,
                                               platform::browse::SQLINTEGER value, platform::browse::SQLINTEGER cbValue)
    {
        return platform::browse::SQLSetConnectAttrW(Get(), attribute, value, cbValue);
    }
};

// ODBC's judgement of a return code, outside the browse's own SQL_NEED_DATA.
constexpr bool SqlSucceeded(platform::browse::SQLRETURN ret)
{
    return ret == platform::browse::SQL_SUCCESS || ret == platform::browse::SQL_SUCCESS_WITH_INFO;
}

} // namespace Keeplibs
