#pragma once
// The substitute service as a whole: its database, its objects on the bus, and its name there.

#include "ImportGate.h"
#include "ServiceConfig.h"
#include "ServiceObjects.h"
#include "tools/velmorasvc/QuarantineDatabase.h"

#include <QDBusConnection>
#include <QString>
#include <array>
#include <optional>
#include <utility>

namespace Velmorasvc {

class CVelmoraService
{
public:
    // Opens the database and the import gate; throws _com_error when the database cannot be
    // opened, std::runtime_error when the gate cannot.
    CVelmoraService(const ServiceSettings& settings, QDBusConnection connection);
    CVelmoraService(const CVelmoraService&) = delete;
    CVelmoraService& operator=(const CVelmoraService&) = delete;
    // Leaves the bus before the objects go.
    ~CVelmoraService();

    // Puts the objects on the bus and takes the service's name; false, with why, when it cannot.
    bool Serve(QString& strError);

private:
    // The objects of the service itself, by path.
    std::array<std::pair<QLatin1StringView, QObject*>, 5> Objects();

    QDBusConnection m_connection;
    CQuarantineDatabase m_database;
    CInstanceTable m_configs;
    CInstanceTable m_contexts;
    CClassFactory m_factory;
    CServiceRoot m_root;
    CConfigStore m_store;
    CConfigItem m_item;
    std::optional<CImportGate> m_gate;
    CQuarantineImport m_import;
};

} // namespace Velmorasvc
