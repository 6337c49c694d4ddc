#include "vaultfeed/bus/BusProxies.h"

#include "ClassFactoryProxy.h"
#include "ConfigItemProxy.h"
#include "ConfigStoreProxy.h"
#include "QuarantineConfigProxy.h"
#include "QuarantineImportProxy.h"
#include "ServiceRootProxy.h"
#include "UnknownProxy.h"
#include "platform/ErrorInfo.h"
#include "vaultfeed/bus/BusConnection.h"
#include "vaultfeed/bus/BusErrors.h"
#include "vaultfeed/bus/BusNames.h"
#include "vaultfeed/bus/BusVariant.h"

#include <QDBusMessage>
#include <atomic>

namespace Vaultfeed::Bus {
namespace {

QString GuidText(const platform::GUID& guid)
{
    return QString::fromStdWString(platform::StringFromGUID(guid));
}

// Leaves the failure's error information for the caller: the interface called and the error's
// own text.
HRESULT Failure(HRESULT hr, QLatin1StringView strInterface, const QString& strDescription)
{
    platform::SetErrorInfo(platform::ErrorInfo{QString(strInterface).toStdWString(), strDescription.toStdWString()});
    return hr;
}

// One object of the service: the connection, the service's unique name on the bus (so that a
// restarted service is never taken for the one that made the object), and the object's path. The
// service's reference is dropped when the last interface pointer to the object goes.
class CBusObject
{
public:
    CBusObject(const QDBusConnection& connection, QString strService, QString strPath)
        : m_unknown(strService, strPath, connection), m_connection(connection), m_strService(std::move(strService)),
          m_strPath(std::move(strPath))
    {
    }
    CBusObject(const CBusObject&) = delete;
    CBusObject& operator=(const CBusObject&) = delete;
    ~CBusObject() { m_unknown.Release(); }

    const QDBusConnection& Connection() const { return m_connection; }
    const QString& Service() const { return m_strService; }
    const QString& Path() const { return m_strPath; }
    OrgVestrelVelmoraIUnknownInterface& Unknown() { return m_unknown; }

    // Waits for a call's reply: S_OK, or the failure's HRESULT with its error information.
    template <class... Results>
    HRESULT Finish(QDBusPendingReply<Results...>& reply, QLatin1StringView strInterface) const
    {
        reply.waitForFinished();
        if (!reply.isError())
            return S_OK;
        const QDBusError error = reply.error();
        const CallSituation situation{false, error.type() == QDBusError::NoReply && !IsServiceOnTheBus()};
        return Failure(HResultFromBusError(error.name(), situation), strInterface, error.message());
    }

    // An object of the same service that a call named by its path.
    std::shared_ptr<CBusObject> Sibling(const QDBusObjectPath& path) const
    {
        return std::make_shared<CBusObject>(m_connection, m_strService, path.path());
    }

private:
    bool IsServiceOnTheBus() const
    {
        const QDBusMessage reply =
            m_connection.call(QDBusMessage::createMethodCall(
                                  QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                                  QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"))
                              << m_strService);
        return reply.type() == QDBusMessage::ReplyMessage && reply.arguments().value(0).toBool();
    }

    OrgVestrelVelmoraIUnknownInterface m_unknown;
    QDBusConnection m_connection;
    QString m_strService;
    QString m_strPath;
};

using BusObjectPtr = std::shared_ptr<CBusObject>;

// What every proxy is: a pointer to its object, which other calls take as an argument.
class CBusReference
{
public:
    explicit CBusReference(BusObjectPtr pObject) : m_pObject(std::move(pObject)) {}
    virtual ~CBusReference() = default;
    const BusObjectPtr& Object() const { return m_pObject; }

protected:
    BusObjectPtr m_pObject;
};

HRESULT QueryBusObject(const BusObjectPtr& pObject, const IID& iid, UnknownPtr& pInterface);

// A proxy for the interface I of an object; Generated is the proxy class made from I's file.
template <class I, class Generated> class CBusProxy : public I, public CBusReference
{
public:
    CBusProxy(BusObjectPtr pObject, QLatin1StringView strInterface)
        : CBusReference(std::move(pObject)), m_strInterface(strInterface),
          m_proxy(m_pObject->Service(), m_pObject->Path(), m_pObject->Connection())
    {
    }

    HRESULT QueryInterface(const IID& iid, UnknownPtr& pInterface) override
    {
        return QueryBusObject(m_pObject, iid, pInterface);
    }

protected:
    template <class... Results> HRESULT Finish(QDBusPendingReply<Results...>& reply)
    {
        return m_pObject->Finish(reply, m_strInterface);
    }

    // A text that a call returned.
    HRESULT FinishText(QDBusPendingReply<QString> reply, std::wstring& strText)
    {
        const HRESULT hr = Finish(reply);
        if (SUCCEEDED(hr))
            strText = reply.value().toStdWString();
        return hr;
    }

    // An object path that a call returned, as a pointer of the proxy type P to that object.
    template <class P, class Interface>
    HRESULT FinishObject(QDBusPendingReply<QDBusObjectPath> reply, std::shared_ptr<Interface>& pInterface)
    {
        const HRESULT hr = Finish(reply);
        if (SUCCEEDED(hr))
            pInterface = std::make_shared<P>(m_pObject->Sibling(reply.value()));
        return hr;
    }

    // A VARIANT that a call returned; a malformed one fails the call.
    HRESULT FinishVariant(QDBusPendingReply<QVariantList>& reply, platform::Variant& varResult)
    {
        const HRESULT hr = Finish(reply);
        if (FAILED(hr))
            return hr;
        std::optional<platform::Variant> var = VariantFromBus(reply.value());
        if (!var)
            return Failure(RPC_E_INVALID_DATAPACKET, m_strInterface, QStringLiteral("The reply holds no VARIANT."));
        varResult = std::move(*var);
        return S_OK;
    }

    QLatin1StringView m_strInterface;
    Generated m_proxy;
};

// An object known by its IUnknown only: what the calls that return an object give, until it is
// queried.
class CBusUnknown final : public IUnknown, public CBusReference
{
public:
    using CBusReference::CBusReference;
    HRESULT QueryInterface(const IID& iid, UnknownPtr& pInterface) override
    {
        return QueryBusObject(m_pObject, iid, pInterface);
    }
};

class CBusConfigItem final : public CBusProxy<IConfigItem, OrgVestrelVelmoraIConfigItemInterface>
{
public:
    explicit CBusConfigItem(BusObjectPtr pObject) : CBusProxy(std::move(pObject), kConfigItemInterface) {}

    HRESULT GetConfigText(std::wstring& strText) override { return FinishText(m_proxy.GetConfigText(), strText); }
};

class CBusConfigStore final : public CBusProxy<IConfigStore, OrgVestrelVelmoraIConfigStoreInterface>
{
public:
    explicit CBusConfigStore(BusObjectPtr pObject) : CBusProxy(std::move(pObject), kConfigStoreInterface) {}

    HRESULT GetConfigItem(std::int32_t lItemType, std::int16_t sKey1, std::int16_t sKey2, std::int16_t sKey3,
                          std::shared_ptr<IConfigItem>& pItem) override
    {
        return FinishObject<CBusConfigItem>(m_proxy.GetConfigItem(lItemType, sKey1, sKey2, sKey3), pItem);
    }
};

class CBusQuarantineConfig final : public CBusProxy<IQuarantineConfig, OrgVestrelVelmoraIQuarantineConfigInterface>
{
public:
    explicit CBusQuarantineConfig(BusObjectPtr pObject) : CBusProxy(std::move(pObject), kQuarantineConfigInterface) {}

    HRESULT LoadConfig(const std::wstring& strText) override
    {
        QDBusPendingReply<> reply = m_proxy.LoadConfig(QString::fromStdWString(strText));
        return Finish(reply);
    }

    HRESULT GetQuarantineFolder(std::wstring& strFolder) override
    {
        return FinishText(m_proxy.GetQuarantineFolder(), strFolder);
    }
};

class CBusQuarantineImport final : public CBusProxy<IQuarantineImport, OrgVestrelVelmoraIQuarantineImportInterface>
{
public:
    explicit CBusQuarantineImport(BusObjectPtr pObject) : CBusProxy(std::move(pObject), kQuarantineImportInterface) {}

    HRESULT CreateImportContext(UnknownPtr& pContext) override
    {
        return FinishObject<CBusUnknown>(m_proxy.CreateImportContext(), pContext);
    }

    HRESULT IsFileKnown(const std::wstring& strFileName, platform::Variant& varResult) override
    {
        QDBusPendingReply<QVariantList> reply = m_proxy.IsFileKnown(QString::fromStdWString(strFileName));
        return FinishVariant(reply, varResult);
    }

    HRESULT ImportFile(const std::wstring& strFileName, const std::wstring& strNetworkName, const UnknownPtr& pContext,
                       platform::Variant& varResult) override
    {
        const auto* pContextReference = dynamic_cast<const CBusReference*>(pContext.get());
        if (!pContextReference)
            return E_INVALIDARG;
        QDBusPendingReply<QVariantList> reply =
            m_proxy.ImportFile(QString::fromStdWString(strFileName), QString::fromStdWString(strNetworkName),
                               QDBusObjectPath(pContextReference->Object()->Path()));
        const HRESULT hr = FinishVariant(reply, varResult);
        if (FAILED(hr) && reply.isError()) {
            // A failed import may say why after its message: VT_I4 1 marks a damaged file.
            const QVariantList arguments = reply.reply().arguments();
            const std::optional<platform::Variant> var =
                arguments.size() == 2 ? VariantFromBus(qdbus_cast<QVariantList>(arguments[1])) : std::nullopt;
            varResult = var.value_or(platform::Variant());
        }
        return hr;
    }
};

class CBusServiceRoot final : public CBusProxy<IServiceRoot, OrgVestrelVelmoraIServiceRootInterface>
{
public:
    explicit CBusServiceRoot(BusObjectPtr pObject) : CBusProxy(std::move(pObject), kServiceRootInterface) {}

    HRESULT GetConfigStore(UnknownPtr& pStore) override
    {
        return FinishObject<CBusUnknown>(m_proxy.GetConfigStore(), pStore);
    }
    HRESULT GetQuarantineImport(UnknownPtr& pImport) override
    {
        return FinishObject<CBusUnknown>(m_proxy.GetQuarantineImport(), pImport);
    }
};

// The proxy of an interface that this side knows how to call; nothing for any other.
UnknownPtr MakeProxy(const IID& iid, const BusObjectPtr& pObject)
{
    if (iid == IServiceRoot::kIid)
        return std::make_shared<CBusServiceRoot>(pObject);
    if (iid == IConfigStore::kIid)
        return std::make_shared<CBusConfigStore>(pObject);
    if (iid == IConfigItem::kIid)
        return std::make_shared<CBusConfigItem>(pObject);
    if (iid == IQuarantineConfig::kIid)
        return std::make_shared<CBusQuarantineConfig>(pObject);
    if (iid == IQuarantineImport::kIid)
        return std::make_shared<CBusQuarantineImport>(pObject);
    return nullptr;
}

HRESULT QueryBusObject(const BusObjectPtr& pObject, const IID& iid, UnknownPtr& pInterface)
{
    UnknownPtr pProxy = MakeProxy(iid, pObject);
    if (!pProxy)
        return E_NOINTERFACE;
    QDBusPendingReply<> reply = pObject->Unknown().QueryInterface(GuidText(iid));
    const HRESULT hr = pObject->Finish(reply, kUnknownInterface);
    if (SUCCEEDED(hr))
        pInterface = std::move(pProxy);
    return hr;
}

class CBusServiceConnection final : public IServiceConnection
{
public:
    CBusServiceConnection() : m_connection(ConnectServiceBus(NewConnectionName())) {}
    CBusServiceConnection(const CBusServiceConnection&) = delete;
    CBusServiceConnection& operator=(const CBusServiceConnection&) = delete;
    ~CBusServiceConnection() override { QDBusConnection::disconnectFromBus(m_connection.name()); }

    HRESULT CreateInstance(const CLSID& clsid, UnknownPtr& pObject) override
    {
        if (!m_connection.isConnected()) {
            return Failure(
                RPC_E_SERVER_UNAVAILABLE, kClassFactoryInterface,
                QStringLiteral("Cannot reach %1: %2").arg(ServiceBusAddress(), m_connection.lastError().message()));
        }
        OrgVestrelVelmoraClassFactoryInterface factory(kServiceName, kClassFactoryPath, m_connection);
        QDBusPendingReply<QDBusObjectPath> reply = factory.CreateInstance(GuidText(clsid));
        reply.waitForFinished();
        if (reply.isError()) {
            const QDBusError error = reply.error();
            return Failure(HResultFromBusError(error.name(), {true, false}), kClassFactoryInterface, error.message());
        }
        pObject = std::make_shared<CBusUnknown>(
            std::make_shared<CBusObject>(m_connection, reply.reply().service(), reply.value().path()));
        return S_OK;
    }

private:
    // Every connection of the process has a name of its own.
    static QString NewConnectionName()
    {
        static std::atomic<unsigned> s_nConnections{0};
        return QStringLiteral("vaultfeed-service-%1").arg(++s_nConnections);
    }

    QDBusConnection m_connection;
};

} // namespace

std::shared_ptr<IServiceConnection> ConnectToService()
{
    return std::make_shared<CBusServiceConnection>();
}

} // namespace Vaultfeed::Bus
