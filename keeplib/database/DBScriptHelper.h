#pragma once
// Loads an embedded schema script, cuts it into batches at its GO lines and runs them one after
// another; builds the batch that gives a Windows account access to a database.

#include "common/HResult.h"
#include "platform/ado/Ado.h"

#include <cstdint>
#include <string>

namespace DBScriptHelper {

// Identifiers of the upgrade scripts.
constexpr std::int32_t IDR_UPGRADE_RPRT_TFT = 108;
constexpr std::int32_t IDR_UPGRADE_CNFG_FROM_DATA_VER_1 = 113;
constexpr std::int32_t IDR_UPGRADE_DIR_FROM_VER_1_1 = 114;

// The script's text, without its byte-order mark.
HRESULT LoadScript(std::int32_t lScriptID, std::wstring& strScript);

// Cuts the next batch out of the text from the cursor on and moves the cursor past it. A batch
// ends at a line that holds only "GO" (any case, white space around it allowed) or at the end of
// the text; white space before a batch is not part of it. S_OK with the batch, or S_FALSE when
// no batch is left.
HRESULT GetNextBatch(const wchar_t*& pCursor, std::wstring& strBatch);

// Runs every batch of the script, in order, each as a command of its own; stops at the first
// that fails and returns its code.
HRESULT RunScript(std::int32_t lCmdTimeout, const platform::ado::ConnectionPtr& pCnx, std::int32_t lScriptID,
                  bool bAsTransaction);

// The batch that gives the account (DOMAIN\user) a login, access to the current database and
// membership of the role.
HRESULT BuildAddNTUserAccessRights(const wchar_t* wszAccount, const wchar_t* wszRole, std::wstring& strBatch);

} // namespace DBScriptHelper
