#include "OdbcPreparedStatement.h"

#include "OdbcDiagnostics.h"
#include "OdbcText.h"

namespace platform::ado::odbc {

COdbcPreparedStatement::COdbcPreparedStatement(SQLHDBC hDbc, const void* pOwner, std::wstring strText)
    : m_pOwner(pOwner), m_strText(std::move(strText)),
      m_pStatement(std::make_shared<COdbcStatement>(AllocateStatement(hDbc)))
{
}

bool COdbcPreparedStatement::IsFor(const void* pOwner, const std::wstring& strText) const
{
    return pOwner == m_pOwner && m_pStatement->IsValid() && strText == m_strText;
}

SQLSMALLINT COdbcPreparedStatement::PrepareOnce()
{
    if (!m_bPrepared) {
        SqlWideText text = ToSqlWide(m_strText);
        CheckOdbc(SQLPrepareW(Handle(), text.data(), SqlLength(text)), "SQLPrepareW", SQL_HANDLE_STMT, Handle());
        CheckOdbc(SQLNumParams(Handle(), &m_cMarkers), "SQLNumParams", SQL_HANDLE_STMT, Handle());
        m_bPrepared = true;
    }
    return m_cMarkers;
}

CBoundParameters& COdbcPreparedStatement::Bind(CBoundParameters next)
{
    if (m_bound && m_bound->TakeValuesOf(next))
        return *m_bound;
    m_bound.reset();
    // The bindings of buffers that are gone.
    SQLFreeStmt(Handle(), SQL_RESET_PARAMS);
    next.Bind(Handle());
    return m_bound.emplace(std::move(next));
}

} // namespace platform::ado::odbc
