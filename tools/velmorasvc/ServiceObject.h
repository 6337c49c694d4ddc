#pragma once
// What every object of the substitute service is: an object on the bus that answers IUnknown, and
// answers a failed call with the HRESULT's error name. Objects made for one client live in an
// instance table until that client releases them or leaves the bus.

#include "common/HResult.h"
#include "platform/ComApartment.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusObjectPath>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QVariantList>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace Velmorasvc {

class CServiceObject : public QObject, protected QDBusContext
{
    Q_OBJECT

public:
    // The interfaces the object answers queries for.
    explicit CServiceObject(std::vector<platform::GUID> interfaces);

    // IUnknown.
    void QueryInterface(const QString& strIid);
    // The objects of the service itself are never released.
    virtual void Release() {}

protected:
    // Answers the call being handled with a failure: the HRESULT's error name and the description,
    // and after it the call's VARIANT when it has one.
    void Fail(HRESULT hr, const QString& strDescription, const std::optional<QVariantList>& result = std::nullopt);
    // Answers with the exception being handled: a COM error with its HRESULT and description, any
    // other as the error ladder maps it.
    void FailWithCurrentException();

private:
    std::vector<platform::GUID> m_interfaces;
};

class CInstanceTable : public QObject
{
    Q_OBJECT

public:
    CInstanceTable(QDBusConnection connection, QString strBasePath);
    ~CInstanceTable() override;

    // Serves the object at a new path below the base, for the client (a unique bus name).
    QDBusObjectPath Add(std::unique_ptr<CServiceObject> pObject, const QString& strClient);
    // The object at the path, when it is one of the table's and of type T.
    template <class T> T* Find(const QString& strPath) const
    {
        const auto it = m_entries.find(strPath);
        return it == m_entries.end() ? nullptr : dynamic_cast<T*>(it->second.pObject.get());
    }
    // Drops the object when the client is the one it was made for.
    void Release(const CServiceObject* pObject, const QString& strClient);

    std::size_t Size() const { return m_entries.size(); }

private:
    struct Entry
    {
        std::unique_ptr<CServiceObject> pObject;
        QString strClient;
    };
    using Entries = std::map<QString, Entry>;

    // Takes the object off the bus. It is destroyed once the call in progress, which may be its
    // own, has been answered.
    Entries::iterator Retire(Entries::iterator it);
    void OnClientGone(const QString& strClient);

    QDBusConnection m_connection;
    QString m_strBasePath;
    quint64 m_nLastNumber = 0;
    Entries m_entries;
    std::vector<std::unique_ptr<CServiceObject>> m_retired;
    QDBusServiceWatcher m_clients;
};

} // namespace Velmorasvc
