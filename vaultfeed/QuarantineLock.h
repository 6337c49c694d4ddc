#pragma once
// Only one import works on a quarantine folder at a time. Two runs at once would each take the
// other's copy for a file already in place, and one could remove, as the copy it made after a
// failed import, a file that the other had just imported.

#include "common/HandleOwners.h"

#include <string>

namespace Vaultfeed {

// An exclusive lock on the quarantine folder itself (flock on the folder, so that nothing is added
// to it), held by a run from before its first call to the service to its end. It goes with the
// descriptor: a run that dies holds nothing.
class CQuarantineLock
{
public:
    // Takes the lock, or raises a _com_error: HRESULT_FROM_WIN32(ERROR_BUSY), with a description
    // that says why, at once when another run holds it; the error that kept the folder from being
    // opened or locked otherwise.
    explicit CQuarantineLock(const std::string& strFolder);

private:
    CAutoFileHandle m_folder;
};

} // namespace Vaultfeed
