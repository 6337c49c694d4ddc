#pragma once
// A SQL Server that tests script: the fake provider in place for one test, with helpers for the
// answers the library's operations ask for, and the trace lines written meanwhile.

#include "common/StringUtils.h"
#include "platform/ado/Provider.h"
#include "testsupport/FakeProvider.h"
#include "testsupport/TraceCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

class FakeServerTest : public ::testing::Test
{
protected:
    using FakeReply = testsupport::FakeReply;
    using FakeCall = testsupport::FakeCall;
    using Variant = platform::Variant;

    void Answer(const std::wstring& strStart, FakeReply reply, unsigned uTimes = 0)
    {
        m_pServer->AddRule(FakeCall::Execute, strStart, std::move(reply), uTimes);
    }
    void Rows(const std::wstring& strStart, std::vector<std::wstring> fields, std::vector<std::vector<Variant>> rows,
              unsigned uTimes = 0)
    {
        FakeReply reply;
        reply.recordset = platform::ado::Recordset(std::move(fields), std::move(rows));
        Answer(strStart, std::move(reply), uTimes);
    }
    void Fail(const std::wstring& strStart, HRESULT hr, unsigned uTimes = 0)
    {
        FakeReply reply;
        reply.hrFailure = hr;
        reply.errors.push_back(testsupport::ServerError(3201, L"The server said no."));
        Answer(strStart, std::move(reply), uTimes);
    }
    void FailOpen(const std::wstring& strPart, HRESULT hr)
    {
        FakeReply reply;
        reply.hrFailure = hr;
        reply.errors.push_back(testsupport::ServerError(17, L"SQL Server does not exist or access denied."));
        m_pServer->AddRule(FakeCall::Open, strPart, std::move(reply));
    }
    void DatabaseExists(const std::wstring& strName)
    {
        Rows(L"SELECT name FROM master.dbo.sysdatabases WHERE name = N'" + strName + L"'", {L"name"},
             {{Variant::String(strName)}});
    }
    void ProcedureExists(const std::wstring& strProcedure)
    {
        Rows(L"SELECT name FROM dbo.sysobjects where id = object_id(N'" + strProcedure + L"')", {L"name"},
             {{Variant::String(strProcedure)}});
    }
    void VersionIs(const std::wstring& strProcedure, std::int32_t lMajor, std::int32_t lMinor)
    {
        ProcedureExists(strProcedure);
        FakeReply reply;
        reply.outputs = {Variant::Int32(0), Variant::Int32(lMajor), Variant::Int32(lMinor),
                         Variant::Date({2009, 9, 18, 9, 0, 0})};
        Answer(strProcedure, std::move(reply));
    }

    std::vector<std::wstring> Log() const { return m_pServer->Log(); }
    std::vector<std::wstring> Statements() const { return m_pServer->Statements(); }
    bool Traced(const std::string& strMessage) const
    {
        const auto messages = m_trace.Messages();
        return std::find(messages.begin(), messages.end(), strMessage) != messages.end();
    }
    std::vector<std::string> TracedMessages() const { return m_trace.Messages(); }
    // The source file column of the first line with this message; empty when none has it.
    std::string TracedFileColumn(const std::string& strMessage) const { return m_trace.FileColumnOf(strMessage); }

    std::shared_ptr<testsupport::CFakeProvider> m_pServer = std::make_shared<testsupport::CFakeProvider>();

private:
    platform::ado::CScopedProvider m_provider{m_pServer};
    testsupport::TraceCapture m_trace;
};
