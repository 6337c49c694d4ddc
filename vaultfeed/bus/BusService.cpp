#include "vaultfeed/bus/BusService.h"

#include "QuarantineClient.h"
#include "common/StringUtils.h"

#include <mutex>
#include <string_view>
#include <vector>

namespace Vaultfeed::Bus {
namespace {

// The configuration item that holds the quarantine settings, and its one line.
constexpr std::int32_t kQuarantineSettingsItem = 8;
constexpr std::wstring_view kFolderSetting = L"QuarantineFolder=";

using ClientPtr = std::shared_ptr<CQuarantineClient>;

// An object of this process that answers a query for its own interface I.
template <class I> class CLocalObject : public I, public std::enable_shared_from_this<CLocalObject<I>>
{
public:
    HRESULT QueryInterface(const IID& iid, UnknownPtr& pObject) override
    {
        if (iid != I::kIid)
            return E_NOINTERFACE;
        pObject = this->shared_from_this();
        return S_OK;
    }
};

// The configuration item of the quarantine settings: the service's folder, as the text
// "QuarantineFolder=<folder>".
class CConfigItem final : public CLocalObject<IConfigItem>
{
public:
    explicit CConfigItem(ClientPtr pClient) : m_pClient(std::move(pClient)) {}

    HRESULT GetConfigText(std::wstring& strText) override
    {
        std::string strFolder;
        const HRESULT hr = m_pClient->GetQuarantineFolder(strFolder);
        if (SUCCEEDED(hr))
            strText = std::wstring(kFolderSetting) + NarrowToWide(strFolder);
        return hr;
    }

private:
    ClientPtr m_pClient;
};

class CConfigStore final : public CLocalObject<IConfigStore>
{
public:
    explicit CConfigStore(ClientPtr pClient) : m_pClient(std::move(pClient)) {}

    HRESULT GetConfigItem(std::int32_t lItemType, std::int16_t, std::int16_t, std::int16_t,
                          std::shared_ptr<IConfigItem>& pItem) override
    {
        if (lItemType != kQuarantineSettingsItem)
            return Failure(E_INVALIDARG, FormatA("There is no configuration item of type %d.", lItemType));
        pItem = std::make_shared<CConfigItem>(m_pClient);
        return S_OK;
    }

private:
    ClientPtr m_pClient;
};

// The quarantine folder of a text that a configuration item gave.
class CQuarantineConfig final : public CLocalObject<IQuarantineConfig>
{
public:
    HRESULT LoadConfig(const std::wstring& strText) override
    {
        if (!strText.starts_with(kFolderSetting))
            return Failure(E_INVALIDARG, "The configuration is not the quarantine settings.");
        m_strFolder = strText.substr(kFolderSetting.size());
        return S_OK;
    }

    HRESULT GetQuarantineFolder(std::wstring& strFolder) override
    {
        if (!m_strFolder)
            return Failure(E_UNEXPECTED, "No configuration has been loaded.");
        strFolder = *m_strFolder;
        return S_OK;
    }

private:
    std::optional<std::wstring> m_strFolder;
};

// An import session of the service: ended when the run lets go of it.
class CImportContext final : public IUnknown
{
public:
    CImportContext(ClientPtr pClient, std::string strSession)
        : m_pClient(std::move(pClient)), m_strSession(std::move(strSession))
    {
    }
    CImportContext(const CImportContext&) = delete;
    CImportContext& operator=(const CImportContext&) = delete;
    ~CImportContext() override { m_pClient->EndImport(m_strSession); }

    HRESULT QueryInterface(const IID&, UnknownPtr&) override { return E_NOINTERFACE; }
    const CQuarantineClient* Client() const { return m_pClient.get(); }
    const std::string& Session() const { return m_strSession; }

private:
    ClientPtr m_pClient;
    std::string m_strSession;
};

class CQuarantineImport final : public CLocalObject<IQuarantineImport>
{
public:
    explicit CQuarantineImport(ClientPtr pClient) : m_pClient(std::move(pClient)) {}

    HRESULT CreateImportContext(UnknownPtr& pContext) override
    {
        std::string strSession;
        const HRESULT hr = m_pClient->StartImport(strSession);
        if (SUCCEEDED(hr))
            pContext = std::make_shared<CImportContext>(m_pClient, std::move(strSession));
        return hr;
    }

    HRESULT IsFileKnown(const std::wstring& strFileName, platform::Variant& varResult) override
    {
        bool bKnown = false;
        const HRESULT hr = m_pClient->IsFileKnown(WideToNarrow(strFileName), bKnown);
        varResult = bKnown && SUCCEEDED(hr) ? platform::Variant::Int32(1) : platform::Variant();
        return hr;
    }

    HRESULT ImportFile(const std::wstring& strFileName, const std::wstring& strNetworkName, const UnknownPtr& pContext,
                       platform::Variant& varResult) override
    {
        varResult = platform::Variant();
        const auto* pImportContext = dynamic_cast<const CImportContext*>(pContext.get());
        if (!pImportContext || pImportContext->Client() != m_pClient.get())
            return Failure(E_INVALIDARG, "The context is no import session of this connection.");
        bool bDamaged = false;
        const HRESULT hr = m_pClient->ImportFile(WideToNarrow(strFileName), WideToNarrow(strNetworkName),
                                                 pImportContext->Session(), bDamaged);
        if (bDamaged)
            varResult = platform::Variant::Int32(1);
        return hr;
    }

private:
    ClientPtr m_pClient;
};

class CServiceRoot final : public CLocalObject<IServiceRoot>
{
public:
    explicit CServiceRoot(ClientPtr pClient) : m_pClient(std::move(pClient)) {}

    HRESULT GetConfigStore(UnknownPtr& pStore) override
    {
        pStore = std::make_shared<CConfigStore>(m_pClient);
        return S_OK;
    }
    HRESULT GetQuarantineImport(UnknownPtr& pImport) override
    {
        pImport = std::make_shared<CQuarantineImport>(m_pClient);
        return S_OK;
    }

private:
    ClientPtr m_pClient;
};

// Each service root is a connection of its own, for the thread that created it; the objects it
// leads to share that connection, which closes when the last of them goes.
class CBusServiceConnection final : public IServiceConnection
{
public:
    explicit CBusServiceConnection(BusTimeouts timeouts) : m_timeouts(timeouts) {}

    HRESULT CreateInstance(const CLSID& clsid, UnknownPtr& pObject) override
    {
        if (clsid == CLSID_QuarantineConfig) {
            pObject = std::make_shared<CQuarantineConfig>();
            return S_OK;
        }
        if (clsid != CLSID_ServiceRoot)
            return Failure(REGDB_E_CLASSNOTREG, "No such class is served.");
        const ClientPtr pClient = std::make_shared<CQuarantineClient>(m_timeouts);
        Register(pClient);
        const HRESULT hr = pClient->Connect();
        if (SUCCEEDED(hr))
            pObject = std::make_shared<CServiceRoot>(pClient);
        return hr;
    }

    void Interrupt() override
    {
        const std::lock_guard lock(m_lock);
        for (const std::weak_ptr<CQuarantineClient>& pWeak : m_clients) {
            if (const ClientPtr pClient = pWeak.lock())
                pClient->Interrupt();
        }
    }

private:
    // Before connecting, so that an interruption reaches the connecting too.
    void Register(const ClientPtr& pClient)
    {
        const std::lock_guard lock(m_lock);
        std::erase_if(m_clients, [](const std::weak_ptr<CQuarantineClient>& pWeak) { return pWeak.expired(); });
        m_clients.push_back(pClient);
    }

    const BusTimeouts m_timeouts;
    std::mutex m_lock;
    std::vector<std::weak_ptr<CQuarantineClient>> m_clients;
};

} // namespace

std::shared_ptr<IServiceConnection> ConnectToService(BusTimeouts timeouts)
{
    return std::make_shared<CBusServiceConnection>(timeouts);
}

} // namespace Vaultfeed::Bus
