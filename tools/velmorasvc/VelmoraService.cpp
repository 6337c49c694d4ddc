#include "VelmoraService.h"

#include "vaultfeed/bus/BusNames.h"

namespace Velmorasvc {

using namespace Vaultfeed::Bus;

CVelmoraService::CVelmoraService(const ServiceSettings& settings, QDBusConnection connection)
    : m_connection(std::move(connection)), m_database(settings.database),
      m_configs(m_connection, kQuarantineConfigPath), m_contexts(m_connection, kImportContextPath),
      m_factory(m_configs), m_item(QString::fromStdWString(settings.strText)),
      m_gate(settings.importGate ? std::optional<CImportGate>(std::in_place, *settings.importGate) : std::nullopt),
      m_import(m_database, settings.quarantineFolder, m_contexts, m_gate ? &*m_gate : nullptr)
{
}

CVelmoraService::~CVelmoraService()
{
    m_connection.unregisterService(kServiceName);
    for (const auto& [strPath, pObject] : Objects())
        m_connection.unregisterObject(strPath);
}

std::array<std::pair<QLatin1StringView, QObject*>, 5> CVelmoraService::Objects()
{
    return {{
        {kClassFactoryPath, &m_factory},
        {kServiceRootPath, &m_root},
        {kConfigStorePath, &m_store},
        {kQuarantineSettingsPath, &m_item},
        {kQuarantineImportPath, &m_import},
    }};
}

bool CVelmoraService::Serve(QString& strError)
{
    for (const auto& [strPath, pObject] : Objects()) {
        if (!m_connection.registerObject(strPath, pObject, QDBusConnection::ExportAdaptors)) {
            strError = QStringLiteral("cannot serve %1: %2").arg(strPath, m_connection.lastError().message());
            return false;
        }
    }
    if (!m_connection.registerService(kServiceName)) {
        strError = QStringLiteral("cannot take the name %1: %2").arg(kServiceName, m_connection.lastError().message());
        return false;
    }
    return true;
}

} // namespace Velmorasvc
