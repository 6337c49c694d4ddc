#include "ServiceObject.h"

#include "UnknownAdaptor.h"
#include "common/ComError.h"
#include "common/ErrorLadder.h"
#include "vaultfeed/bus/BusErrors.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <algorithm>

namespace Velmorasvc {

CServiceObject::CServiceObject(std::vector<platform::GUID> interfaces) : m_interfaces(std::move(interfaces))
{
    // The adaptors belong to their object, as Qt has them.
    new UnknownAdaptor(this);
}

void CServiceObject::QueryInterface(const QString& strIid)
{
    const bool bFound = std::any_of(m_interfaces.begin(), m_interfaces.end(), [&](const platform::GUID& iid) {
        return QString::fromStdWString(platform::StringFromGUID(iid)).compare(strIid, Qt::CaseInsensitive) == 0;
    });
    if (!bFound)
        Fail(E_NOINTERFACE, QStringLiteral("The object has no interface %1.").arg(strIid));
}

void CServiceObject::Fail(HRESULT hr, const QString& strDescription, const std::optional<QVariantList>& result)
{
    QDBusMessage reply = message().createErrorReply(Vaultfeed::Bus::ErrorNameFor(hr), strDescription);
    if (result)
        reply << QVariant::fromValue(*result);
    setDelayedReply(true);
    connection().send(reply);
}

void CServiceObject::FailWithCurrentException()
{
    try {
        throw;
    } catch (const UTIL::COM::_com_error& e) {
        Fail(e.Error(), QString::fromStdWString(e.Description().empty() ? e.ErrorMessage() : e.Description()));
    } catch (...) {
        const UTIL::ERR::CaughtException caught = UTIL::ERR::ClassifyCurrentException();
        Fail(caught.hr, QString::fromStdWString(caught.strText));
    }
}

CInstanceTable::CInstanceTable(QDBusConnection connection, QString strBasePath)
    : m_connection(std::move(connection)), m_strBasePath(std::move(strBasePath))
{
    m_clients.setConnection(m_connection);
    m_clients.setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    connect(&m_clients, &QDBusServiceWatcher::serviceUnregistered, this, &CInstanceTable::OnClientGone);
}

CInstanceTable::~CInstanceTable()
{
    for (const auto& [strPath, entry] : m_entries)
        m_connection.unregisterObject(strPath);
}

QDBusObjectPath CInstanceTable::Add(std::unique_ptr<CServiceObject> pObject, const QString& strClient)
{
    const QString strPath = m_strBasePath + QString::number(++m_nLastNumber);
    m_connection.registerObject(strPath, pObject.get(), QDBusConnection::ExportAdaptors);
    const bool bWatched = std::any_of(m_entries.begin(), m_entries.end(),
                                      [&](const auto& entry) { return entry.second.strClient == strClient; });
    m_entries.emplace(strPath, Entry{std::move(pObject), strClient});
    if (!bWatched) {
        m_clients.addWatchedService(strClient);
        // A client that left before it was watched leaves no signal behind.
        if (!m_connection.interface()->isServiceRegistered(strClient))
            OnClientGone(strClient);
    }
    return QDBusObjectPath(strPath);
}

void CInstanceTable::Release(const CServiceObject* pObject, const QString& strClient)
{
    const auto it = std::find_if(m_entries.begin(), m_entries.end(), [&](const auto& entry) {
        return entry.second.pObject.get() == pObject && entry.second.strClient == strClient;
    });
    if (it != m_entries.end())
        Retire(it);
}

CInstanceTable::Entries::iterator CInstanceTable::Retire(Entries::iterator it)
{
    m_connection.unregisterObject(it->first);
    if (m_retired.empty())
        QMetaObject::invokeMethod(
            this, [this] { m_retired.clear(); }, Qt::QueuedConnection);
    m_retired.push_back(std::move(it->second.pObject));
    return m_entries.erase(it);
}

void CInstanceTable::OnClientGone(const QString& strClient)
{
    m_clients.removeWatchedService(strClient);
    for (auto it = m_entries.begin(); it != m_entries.end();)
        it = it->second.strClient == strClient ? Retire(it) : std::next(it);
}

} // namespace Velmorasvc
