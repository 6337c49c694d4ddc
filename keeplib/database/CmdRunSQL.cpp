#include "CmdRunSQL.h"

#include "common/ComError.h"
#include "common/StringUtils.h"
#include "trace/TraceScope.h"
#include "trace/TracedErrorLadder.h"

#include <stdexcept>

namespace UTIL::ADO {
namespace {

using platform::ado::ConnectionPtr;

void TraceADOErrors(const ConnectionPtr& pConnection)
{
    TRACE_SCOPE(L"`anonymous-namespace'::TraceADOErrors()");
    const std::vector<platform::ado::Error> errors = pConnection->Errors();
    TRACE_INFO(TRACE_NORMAL, L"lErrorCount = %ld", static_cast<long>(errors.size()));
    for (std::size_t i = 0; i < errors.size(); ++i) {
        TRACE_INFO(TRACE_DETAIL, L"lErrorIndex = %ld", static_cast<long>(i));
        TRACE_INFO(TRACE_NORMAL, L"bstrDescription = '%ls'", errors[i].strDescription.c_str());
        TRACE_INFO(TRACE_NORMAL, L"bstrSource = '%ls'", errors[i].strSource.c_str());
        TRACE_INFO(TRACE_NORMAL, L"lErrorNumber = 0x%08X", static_cast<unsigned>(errors[i].lNumber));
    }
}

// After a command failed: the failure and the connection's errors go to the trace. Nothing that
// goes wrong while tracing may hide the command's own failure.
void TraceCommandFailure(const UTIL::COM::_com_error& error, const ConnectionPtr& pConnection)
{
    TRACE_ERROR(TRACE_NORMAL, L"COM error: 0x%08X", HResultBits(error.Error()));
    try {
        if (!pConnection)
            throw std::runtime_error("ptrConnection == NULL");
        TraceADOErrors(pConnection);
    } catch (const UTIL::COM::_com_error& e) {
        TRACE_ERROR(TRACE_NORMAL, L"COM error: 0x%08X", HResultBits(e.Error()));
    } catch (const std::exception& e) {
        TRACE_ERROR(TRACE_NORMAL, L"Standard exception: %ls", NarrowToWide(e.what()).c_str());
    } catch (...) {
        TRACE_ERROR(TRACE_FAILURE, L"Unknown exception");
        TRACE_ERROR(TRACE_FAILURE, L"*** ASSERTION ***");
    }
}

} // namespace

CCmdRunSQL::CCmdRunSQL(std::int32_t lCmdTimeout, ConnectionPtr pActiveConnection, const wchar_t* wszCommandText,
                       bool bStoredProcedure)
{
    TRACE_SCOPE(L"UTIL::ADO::CCmdRunSQL::CCmdRunSQL()");
    try {
        m_command.SetCommandTimeout(lCmdTimeout);
    } catch (const UTIL::COM::_com_error&) {
        // A timeout the provider cannot take leaves its default.
    }
    m_command.activeConnection = std::move(pActiveConnection);
    m_command.commandType =
        bStoredProcedure ? platform::ado::CommandType::StoredProcedure : platform::ado::CommandType::Text;
    m_command.strCommandText = wszCommandText ? wszCommandText : L"";
}

platform::ado::ParameterPtr CCmdRunSQL::AddReturnValue()
{
    auto pParameter =
        m_command.CreateParameter(L"@RETURN_VALUE", platform::ado::DataType::Integer,
                                  platform::ado::ParameterDirection::ReturnValue, 0, platform::Variant::Int32(0));
    m_command.parameters.push_back(pParameter);
    return pParameter;
}

platform::ado::ParameterPtr CCmdRunSQL::AddOutputParameter(const wchar_t* wszName, platform::ado::DataType type,
                                                           std::int32_t lSize)
{
    auto pParameter =
        m_command.CreateParameter(wszName ? wszName : L"", type, platform::ado::ParameterDirection::Output, lSize, {});
    m_command.parameters.push_back(pParameter);
    return pParameter;
}

void CCmdRunSQL::Run(bool bAsTransaction)
{
    TRACE_SCOPE(L"UTIL::ADO::CCmdRunSQL::Run()");
    TRACE_INFO(TRACE_NORMAL, L"bAsTransaction=%i", bAsTransaction ? 1 : 0);
    const ConnectionPtr& pConnection = m_command.activeConnection;
    if (bAsTransaction) {
        TRACE_INFO(TRACE_NORMAL, L"Begin a transaction");
        if (!pConnection)
            throw UTIL::COM::_com_error(platform::ado::ADO_E_OBJECT_CLOSED);
        pConnection->BeginTrans();
    }
    try {
        TRACE_INFO(TRACE_NORMAL, L"Exceute the command");
        m_command.Execute(true);
        if (bAsTransaction) {
            TRACE_INFO(TRACE_NORMAL, L"Commit the transaction");
            pConnection->CommitTrans();
        }
    } catch (const UTIL::COM::_com_error& error) {
        TraceCommandFailure(error, pConnection);
        if (bAsTransaction) {
            TRACE_INFO(TRACE_NORMAL, L"Rollback the transaction");
            try {
                pConnection->RollbackTrans();
            } catch (...) {
                TRACE_CAUGHT_EXCEPTION();
            }
        }
        TRACE_INFO(TRACE_NORMAL, L"Rethrow the original exception");
        throw;
    }
}

platform::ado::RecordsetPtr CCmdRunSQL::OpenRecordset()
{
    try {
        return m_command.Execute(false);
    } catch (const UTIL::COM::_com_error& error) {
        TraceCommandFailure(error, m_command.activeConnection);
        throw;
    }
}

void CCmdRunSQL::QuoteString(std::wostream& out, const wchar_t* wszText)
{
    for (const wchar_t* p = wszText; p && *p; ++p) {
        if (*p == L'\'')
            out << L'\'';
        out << *p;
    }
}

} // namespace UTIL::ADO
