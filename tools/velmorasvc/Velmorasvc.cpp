// velmorasvc: a substitute for the product's service, for tests and demos. It serves
// org.vestrel.Velmora.Quarantine1 on the bus that VESTREL_SERVICE_BUS names (the system bus
// without it), reads the quarantine files it is handed with the project's quarantine reader, and
// records them in a SQLite database through the project's ODBC layer. SIGTERM or SIGINT stops it.
//
//   velmorasvc CONFIGURATION_FILE

#include "ImportGate.h"
#include "QuarantineService.h"
#include "ServiceConfig.h"
#include "common/ComError.h"
#include "common/StringUtils.h"
#include "platform/StopSignals.h"
#include "vaultfeed/bus/QuarantineContract.h"

#include <cstdio>
#include <cstring>
#include <optional>
#include <stdexcept>

namespace {

using namespace Vaultfeed::Bus;

constexpr int kExitFailed = 2;

int Fail(const std::string& strMessage)
{
    std::fprintf(stderr, "velmorasvc: %s\n", strMessage.c_str());
    return kExitFailed;
}

int FailWith(const std::string& strWhat, int r)
{
    return Fail(strWhat + ": " + std::strerror(-r));
}

// Serves until a stop signal; the exit status.
int Serve(const Velmorasvc::ServiceSettings& settings)
{
    sd_event* pEvent = nullptr;
    int r = sd_event_new(&pEvent);
    if (r < 0)
        return FailWith("cannot make the event loop", r);
    const EventPtr event(pEvent);
    // Without a handler of their own, the signals end the loop.
    if ((r = sd_event_add_signal(pEvent, nullptr, SIGTERM, nullptr, nullptr)) < 0 ||
        (r = sd_event_add_signal(pEvent, nullptr, SIGINT, nullptr, nullptr)) < 0)
        return FailWith("cannot watch for signals", r);

    std::optional<Velmorasvc::CImportGate> gate;
    if (settings.importGate)
        gate.emplace(*settings.importGate);
    Velmorasvc::CQuarantineDatabase database(settings.database);
    Velmorasvc::CQuarantineService service(database, settings.quarantineFolder, gate ? &*gate : nullptr);

    const std::string strAddress = ServiceBusAddress();
    sd_bus* pBus = nullptr;
    if ((r = sd_bus_new(&pBus)) < 0)
        return FailWith("cannot make a bus connection", r);
    // Flushed at the end: the last replies still reach their callers.
    const std::unique_ptr<sd_bus, SdUnref<sd_bus_flush_close_unref>> bus(pBus);
    if ((r = sd_bus_set_address(pBus, strAddress.c_str())) < 0 || (r = sd_bus_set_bus_client(pBus, 1)) < 0 ||
        (r = sd_bus_start(pBus)) < 0)
        return FailWith("cannot reach " + strAddress, r);
    if ((r = service.Serve(pBus)) < 0)
        return FailWith(std::string("cannot serve ") + kObjectPath, r);
    if ((r = sd_bus_request_name(pBus, kServiceName, 0)) < 0)
        return FailWith(std::string("cannot take the name ") + kServiceName, r);
    if ((r = sd_bus_attach_event(pBus, pEvent, SD_EVENT_PRIORITY_NORMAL)) < 0)
        return FailWith("cannot run the bus", r);
    std::printf("velmorasvc: serving %s on %s (quarantine folder %s, database %s)\n", kServiceName, strAddress.c_str(),
                settings.quarantineFolder.c_str(), settings.database.c_str());
    std::fflush(stdout);
    if ((r = sd_event_loop(pEvent)) < 0)
        return FailWith("the event loop failed", r);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    // The event loop reads the stop signals from a descriptor.
    platform::BlockStopSignals();
    if (argc != 2) {
        std::fputs("Usage: velmorasvc CONFIGURATION_FILE\n"
                   "Serves org.vestrel.Velmora.Quarantine1 on the bus that VESTREL_SERVICE_BUS names (the\n"
                   "system bus without it). The file holds Name=Value lines: QuarantineFolder, the folder of\n"
                   "the quarantine files, Database, the SQLite file the imports are recorded in, and for\n"
                   "tests ImportGate, a named pipe from which each import waits for one byte.\n",
                   stderr);
        return kExitFailed;
    }
    std::string strError;
    const std::optional<Velmorasvc::ServiceSettings> settings = Velmorasvc::LoadServiceSettings(argv[1], strError);
    if (!settings)
        return Fail(strError);
    std::error_code error;
    if (!std::filesystem::is_directory(settings->quarantineFolder, error))
        return Fail("the quarantine folder " + settings->quarantineFolder.string() + " is not a folder");
    try {
        return Serve(*settings);
    } catch (const UTIL::COM::_com_error& e) {
        return Fail("cannot open the database " + settings->database.string() + ": " + WideToNarrow(e.Description()));
    } catch (const std::runtime_error& e) {
        return Fail(e.what());
    }
}
