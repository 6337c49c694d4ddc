#pragma once
// org.vestrel.Velmora.Quarantine1 served with sd-bus: the quarantine folder as a property, one
// import session at a time (belonging to the caller that started it, ended by it or by its leaving
// the bus), and the files of the folder read with the quarantine reader and recorded in the
// database. Exactly the published contract, nothing more.

#include "ImportGate.h"
#include "tools/velmorasvc/QuarantineDatabase.h"
#include "vaultfeed/bus/SdBus.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace Velmorasvc {

class CQuarantineService
{
public:
    CQuarantineService(CQuarantineDatabase& database, std::filesystem::path quarantineFolder, CImportGate* pGate);
    CQuarantineService(const CQuarantineService&) = delete;
    CQuarantineService& operator=(const CQuarantineService&) = delete;

    // Puts the object on the bus: 0, or the negative errno.
    int Serve(sd_bus* pBus);

private:
    struct Session
    {
        std::string strPath;
        std::string strOwner;
        std::int32_t lRunId = 0;
        Vaultfeed::Bus::TrackPtr track; // watches the owner's leaving the bus
    };

    static int GetFolder(sd_bus*, const char*, const char*, const char*, sd_bus_message* pReply, void* pThis,
                         sd_bus_error*);
    static int StartImport(sd_bus_message* pCall, void* pThis, sd_bus_error*);
    static int EndImport(sd_bus_message* pCall, void* pThis, sd_bus_error*);
    static int IsFileKnown(sd_bus_message* pCall, void* pThis, sd_bus_error*);
    static int ImportFile(sd_bus_message* pCall, void* pThis, sd_bus_error*);
    static int OnOwnerGone(sd_bus_track*, void* pThis);

    int StartImport(sd_bus_message* pCall);
    int EndImport(sd_bus_message* pCall);
    int IsFileKnown(sd_bus_message* pCall);
    int ImportFile(sd_bus_message* pCall);
    // Whether the path names the session, and the caller owns it.
    bool IsCallersSession(sd_bus_message* pCall, const char* szPath) const;

    CQuarantineDatabase& m_database;
    std::filesystem::path m_quarantineFolder;
    CImportGate* m_pGate;
    std::optional<Session> m_session;
    Vaultfeed::Bus::SlotPtr m_object;
};

} // namespace Velmorasvc
