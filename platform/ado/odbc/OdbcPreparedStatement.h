#pragma once
// The statement of a prepared command: one handle on the connection, prepared (SQLPrepareW) at
// its first execution and executed again with each execution's parameters. The handle is shared
// with the connection, which frees it when it closes first: a statement handle must not outlive
// its connection's, and the driver frees it with the connection in any case.

#include "OdbcHandles.h"
#include "OdbcParameters.h"
#include "platform/ado/Ado.h"

#include <memory>
#include <optional>
#include <string>

namespace platform::ado::odbc {

class COdbcPreparedStatement final : public PreparedStatement
{
public:
    // A statement of the text on the connection that pOwner names; throws OdbcFailure.
    COdbcPreparedStatement(SQLHDBC hDbc, const void* pOwner, std::wstring strText);
    // Frees the handle, unless its connection did so first.
    ~COdbcPreparedStatement() override = default;

    // Whether it can run the text on the owner's connection as it is open now.
    bool IsFor(const void* pOwner, const std::wstring& strText) const;
    SQLHSTMT Handle() const { return m_pStatement->Get(); }
    // The handle's owner, for the connection to free the handle should it close first.
    std::weak_ptr<COdbcStatement> SharedHandle() const { return m_pStatement; }

    // Prepares the text, once, and answers how many parameter markers it holds; throws
    // OdbcFailure.
    SQLSMALLINT PrepareOnce();
    // The execution's parameters, bound: into the buffers bound before when they fit, so that
    // the statement stays prepared in a driver that prepares again after a new binding; else
    // bound anew. Throws OdbcFailure.
    CBoundParameters& Bind(CBoundParameters next);

private:
    const void* m_pOwner;
    std::wstring m_strText;
    std::shared_ptr<COdbcStatement> m_pStatement;
    bool m_bPrepared = false;
    SQLSMALLINT m_cMarkers = 0;
    std::optional<CBoundParameters> m_bound; // the buffers the statement reads its values from
};

} // namespace platform::ado::odbc
