#pragma once
// A database file of SQLite's ODBC driver in a scratch folder, and commands run on it: the real
// driver under the ODBC machinery.

#include "OdbcConnection.h"

#include "common/ComError.h"
#include "common/StringUtils.h"
#include "testsupport/RunProgram.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace platform::ado::odbc::tests {

class OdbcSqlite : public ::testing::Test
{
protected:
    std::wstring OdbcString() const
    {
        return L"DRIVER=SQLite3;Database=" + NarrowToWide((m_scratch.Path() / "t.db").string());
    }

    std::shared_ptr<OdbcConnection> OpenConnection() const
    {
        auto pConnection = std::make_shared<OdbcConnection>();
        pConnection->OpenOdbc(OdbcString(), 5);
        return pConnection;
    }

    static RecordsetPtr Run(const ConnectionPtr& pConnection, const std::wstring& strText, bool bNoRecords = false)
    {
        Command command;
        command.activeConnection = pConnection;
        command.strCommandText = strText;
        return command.Execute(bNoRecords);
    }

    // The failure of running the text: its HRESULT, or S_OK when it ran.
    static HRESULT RunFailure(const ConnectionPtr& pConnection, const std::wstring& strText)
    {
        try {
            Run(pConnection, strText, true);
        } catch (const UTIL::COM::_com_error& e) {
            return e.Error();
        }
        return S_OK;
    }

    template <class Call> static HRESULT Failure(Call call)
    {
        try {
            call();
        } catch (const UTIL::COM::_com_error& e) {
            return e.Error();
        }
        return S_OK;
    }

    std::int32_t CountRows(const ConnectionPtr& pConnection, const std::wstring& strTable) const
    {
        const RecordsetPtr pRecordset = Run(pConnection, L"SELECT id FROM " + strTable);
        return pRecordset ? pRecordset->RecordCount() : -1;
    }

    testsupport::ScratchFolder m_scratch;
};

} // namespace platform::ado::odbc::tests
