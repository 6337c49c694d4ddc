// velmorasvc: a substitute for the product's service, for tests and demos. It serves the objects
// that vaultfeed calls, on the bus that VESTREL_SERVICE_BUS names (the system bus without it),
// reads the quarantine files it is handed with the project's quarantine reader, and records them
// in a SQLite database through the project's ODBC layer. SIGTERM or SIGINT stops it.
//
//   velmorasvc CONFIGURATION_FILE

#include "ServiceConfig.h"
#include "VelmoraService.h"
#include "common/ComError.h"
#include "common/HandleOwners.h"
#include "platform/StopSignals.h"
#include "vaultfeed/bus/BusConnection.h"
#include "vaultfeed/bus/BusNames.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cstdio>
#include <stdexcept>
#include <sys/signalfd.h>

namespace {

constexpr int kExitFailed = 2;

int Fail(const std::string& strMessage)
{
    std::fprintf(stderr, "velmorasvc: %s\n", strMessage.c_str());
    return kExitFailed;
}

} // namespace

int main(int argc, char** argv)
{
    // The event loop reads the stop signals from a descriptor.
    const sigset_t stopSignals = platform::BlockStopSignals();

    QCoreApplication application(argc, argv);
    if (argc != 2) {
        std::fputs("Usage: velmorasvc CONFIGURATION_FILE\n"
                   "Serves the product's service on the bus that VESTREL_SERVICE_BUS names (the system bus\n"
                   "without it). The file holds Name=Value lines: QuarantineFolder, the folder of the\n"
                   "quarantine files, Database, the SQLite file the imports are recorded in, and for tests\n"
                   "ImportGate, a named pipe from which each import waits for one byte.\n",
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

    const CAutoFileHandle signals(::signalfd(-1, &stopSignals, SFD_CLOEXEC));
    if (!signals)
        return Fail("cannot watch for signals");
    QSocketNotifier stopNotifier(signals.Get(), QSocketNotifier::Read);
    QObject::connect(&stopNotifier, &QSocketNotifier::activated, &application, &QCoreApplication::quit);

    const QString strConnectionName = QStringLiteral("velmorasvc");
    const std::string strBus = Vaultfeed::Bus::ServiceBusAddress().toStdString();
    int iExitStatus = 0;
    {
        QDBusConnection connection = Vaultfeed::Bus::ConnectServiceBus(strConnectionName);
        if (!connection.isConnected())
            return Fail("cannot reach " + strBus + ": " + connection.lastError().message().toStdString());
        try {
            Velmorasvc::CVelmoraService service(*settings, connection);
            QString strServeError;
            if (!service.Serve(strServeError))
                return Fail(strServeError.toStdString());
            std::printf("velmorasvc: serving %s on %s (quarantine folder %s, database %s)\n",
                        QString(Vaultfeed::Bus::kServiceName).toUtf8().constData(), strBus.c_str(),
                        settings->quarantineFolder.c_str(), settings->database.c_str());
            std::fflush(stdout);
            iExitStatus = application.exec();
        } catch (const UTIL::COM::_com_error& e) {
            iExitStatus = Fail("cannot open the database " + settings->database.string() + ": " +
                               QString::fromStdWString(e.Description()).toStdString());
        } catch (const std::runtime_error& e) {
            iExitStatus = Fail(e.what());
        }
    }
    QDBusConnection::disconnectFromBus(strConnectionName);
    return iExitStatus;
}
