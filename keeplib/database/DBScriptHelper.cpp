#include "DBScriptHelper.h"

#include "CallFrame.h"
#include "CmdRunSQL.h"
#include "EmbeddedScripts.h"
#include "FailedCall.h"
#include "common/CharacterClass.h"
#include "common/StringUtils.h"
#include "platform/Win32Error.h"
#include "trace/TraceScope.h"

#include <sstream>

namespace DBScriptHelper {
namespace {

using UTIL::STR::IsSpace;
using UTIL::STR::ToUpper;

constexpr DWORD ERROR_RESOURCE_NAME_NOT_FOUND = 1814;

// The end of the line that starts at p (its line feed, or the end of the text).
const wchar_t* LineEnd(const wchar_t* p)
{
    while (*p && *p != L'\n')
        ++p;
    return p;
}

// Where "GO" stands on the line [pLine, pEnd) when the line holds nothing else but white space.
const wchar_t* SeparatorOnLine(const wchar_t* pLine, const wchar_t* pEnd)
{
    const wchar_t* p = pLine;
    while (p < pEnd && IsSpace(*p))
        ++p;
    if (pEnd - p < 2 || ToUpper(p[0]) != L'G' || ToUpper(p[1]) != L'O')
        return nullptr;
    for (const wchar_t* q = p + 2; q < pEnd; ++q) {
        if (!IsSpace(*q))
            return nullptr;
    }
    return p;
}

} // namespace

HRESULT LoadScript(std::int32_t lScriptID, std::wstring& strScript)
{
    TRACE_SCOPE(L"DBScriptHelper::LoadScript()");
    strScript.clear();
    const auto bytes = Keeplibs::FindEmbeddedScript(lScriptID);
    if (!bytes) {
        TRACE_ERROR(TRACE_FAILURE, L"FindResource failed GLE=(%d).", static_cast<int>(ERROR_RESOURCE_NAME_NOT_FOUND));
        return HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND);
    }
    if (bytes->size() < 2) {
        TRACE_ERROR(TRACE_FAILURE, L"SizeofResource failed.");
        return E_UNEXPECTED;
    }
    // The first two bytes are the byte-order mark.
    strScript = UTIL::STR::Utf16LeToWide(bytes->subspan(2));
    return S_OK;
}

HRESULT GetNextBatch(const wchar_t*& pCursor, std::wstring& strBatch)
{
    strBatch.clear();
    const wchar_t* p = pCursor;
    for (;;) {
        while (*p && IsSpace(*p))
            ++p;
        if (!*p) {
            pCursor = p;
            return S_FALSE;
        }
        const wchar_t* const pStart = p;
        // The batch runs up to the "GO" of the first separator line after its start.
        const wchar_t* pLine = p;
        for (;;) {
            const wchar_t* const pEnd = LineEnd(pLine);
            if (const wchar_t* pSeparator = SeparatorOnLine(pLine, pEnd)) {
                pCursor = *pEnd ? pEnd + 1 : pEnd;
                if (pSeparator == pStart)
                    break; // a separator with nothing before it: look for the next batch
                strBatch.assign(pStart, pSeparator);
                return S_OK;
            }
            if (!*pEnd) {
                pCursor = pEnd;
                strBatch.assign(pStart, pEnd);
                return S_OK;
            }
            pLine = pEnd + 1;
        }
        p = pCursor;
    }
}

HRESULT RunScript(std::int32_t lCmdTimeout, const platform::ado::ConnectionPtr& pCnx, std::int32_t lScriptID,
                  bool bAsTransaction)
{
    TRACE_SCOPE(L"DBScriptHelper::RunScript()");
    return Keeplibs::RunInCallFrame(Keeplibs::ResultLine::None, [&] {
        TRACE_INFO(TRACE_NORMAL, L"bAsTransaction=%i", bAsTransaction ? 1 : 0);
        std::wstring strScript;
        const HRESULT hrLoad = LoadScript(lScriptID, strScript);
        if (FAILED(hrLoad))
            return Keeplibs::Abandoned(Keeplibs::TraceFailedCall(hrLoad, L"LoadScript(lScriptID)"));
        const wchar_t* pCursor = strScript.c_str();
        std::wstring strBatch;
        while (GetNextBatch(pCursor, strBatch) == S_OK)
            UTIL::ADO::CCmdRunSQL(lCmdTimeout, pCnx, strBatch.c_str(), false).Run(bAsTransaction);
        return Keeplibs::Completed();
    });
}

HRESULT BuildAddNTUserAccessRights(const wchar_t* wszAccount, const wchar_t* wszRole, std::wstring& strBatch)
{
    TRACE_SCOPE(L"DBScriptHelper::BuildAddNTUserAccessRights()");
    strBatch.clear();
    try {
        const auto A = [&](std::wostream& out) -> std::wostream& {
            UTIL::ADO::CCmdRunSQL::QuoteString(out, wszAccount);
            return out;
        };
        const auto R = [&](std::wostream& out) -> std::wostream& {
            UTIL::ADO::CCmdRunSQL::QuoteString(out, wszRole);
            return out;
        };
        std::wostringstream out;
        out << L"DECLARE @ntaccount as nvarchar(128)\n" << L"DECLARE @ntdbuser as sysname\n";
        A(out << L"SET @ntaccount=N'") << L"'\n";
        A(out << L"SET @ntdbuser=N'") << L"'\n";
        out << L"IF NOT EXISTS (SELECT 1 FROM master.dbo.syslogins where loginname=@ntaccount and denylogin=0 and "
               L"hasaccess=1 and isntname=1)\n"
            << L"BEGIN\n"
            << L"\tIF EXISTS (SELECT 1 FROM master.dbo.syslogins WHERE loginname=@ntaccount)\n"
            << L"\t\tEXEC sp_revokelogin @ntaccount\n"
            << L"\n"
            << L"\tEXEC sp_grantlogin @ntaccount\n"
            << L"END\n"
            << L"\n"
            << L"-- use other name if exits\n"
            << L"DECLARE @ntdbuserother as sysname\n"
            << L"\n"
            << L"SELECT @ntdbuserother=[U1].name\n"
            << L"FROM master.dbo.syslogins AS [L1]\n"
            << L"INNER JOIN dbo.sysusers AS [U1]\n"
            << L"\ton [U1].sid=[L1].sid\n"
            << L"WHERE [L1].isntname=1\n"
            << L"\tAND [L1].loginname=@ntaccount\n"
            << L"\n"
            << L"IF NOT (@ntdbuserother IS NULL)\n"
            << L"BEGIN\n"
            << L"\tSET @ntdbuser=@ntdbuserother\n"
            << L"END\n"
            << L"\n"
            << L"IF @ntdbuser != 'dbo'\n"
            << L"-- add db access and role\n"
            << L"IF NOT EXISTS\n"
            << L"\t(SELECT 1 FROM dbo.sysusers AS [U1]\n"
            << L"\t\tINNER JOIN dbo.sysmembers AS [M1]\n"
            << L"\t\t\tON [U1].uid=[M1].memberuid\n"
            << L"\t\tINNER JOIN dbo.sysusers AS [G1]\n"
            << L"\t\t\tON [M1].groupuid=[G1].uid\n"
            << L"\t\tWHERE [U1].name=@ntdbuser\n"
            << L"\t\t\tAND [U1].hasdbaccess=1\n"
            << L"\t\t\tAND [U1].isntname=1\n";
        R(out << L"\t\t\tAND [G1].name='") << L"'\n";
        out << L"\t)\n"
            << L"BEGIN\n"
            << L"\tIF EXISTS (SELECT 1 FROM dbo.sysusers WHERE name=@ntdbuser AND hasdbaccess=0 AND isntname=1)\n"
            << L"\t\tEXEC sp_revokedbaccess @ntdbuser\n"
            << L"\tIF NOT EXISTS (SELECT 1 FROM dbo.sysusers WHERE name=@ntdbuser)\n"
            << L"\t\tEXEC sp_grantdbaccess @ntaccount,@ntdbuser\n"
            << L"\n";
        R(out << L"\tEXEC sp_addrolemember '") << L"',@ntdbuser\n";
        out << L"END\n";
        strBatch = out.str();
        return S_OK;
    } catch (...) {
        TRACE_ERROR(TRACE_FAILURE, L"Exception caught assume out of memory.");
        return E_OUTOFMEMORY;
    }
}

} // namespace DBScriptHelper
