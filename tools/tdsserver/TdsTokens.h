#pragma once
// The tokens of the server's answers: a result set (COLMETADATA, ROW), the ends of statements
// (DONE, DONEPROC, DONEINPROC), server messages (ERROR, INFO), a procedure's return status and
// output parameters (RETURNSTATUS, RETURNVALUE), and the login's acknowledgement with the
// environment changes that come with it (LOGINACK, ENVCHANGE).

#include "TdsBuffer.h"
#include "platform/Variant.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace TdsServer {

enum class DoneToken : std::uint8_t { Done = 0xFD, DoneProc = 0xFE, DoneInProc = 0xFF };
constexpr std::uint16_t kDoneFinal = 0x0000;
constexpr std::uint16_t kDoneMore = 0x0001;
constexpr std::uint16_t kDoneError = 0x0002;
constexpr std::uint16_t kDoneCount = 0x0010;

void WriteDone(CTdsWriter& out, DoneToken token, std::uint16_t uStatus, std::uint64_t cRows = 0);

// An ERROR token for class 11 and above, an INFO token below.
void WriteServerMessage(CTdsWriter& out, std::int32_t lNumber, std::uint8_t uClass, std::wstring_view message);

// Column names, and rows of values as the rules give them: I4 as int, BSTR as nvarchar(4000),
// DATE as datetime, NULL in the column's type (nvarchar when every value is NULL). Every row
// holds a value for every column.
void WriteResultSet(CTdsWriter& out, const std::vector<std::wstring>& columns,
                    const std::vector<std::vector<platform::Variant>>& rows);

void WriteReturnStatus(CTdsWriter& out, std::int32_t lStatus);
void WriteReturnValue(CTdsWriter& out, std::uint16_t uOrdinal, std::wstring_view name, const platform::Variant& value);

// What a login is answered with when it is accepted: the database, collation, language and
// packet size in force, and the acknowledgement of TDS 7.4.
void WriteLoginAcknowledgement(CTdsWriter& out, std::wstring_view database);

} // namespace TdsServer
