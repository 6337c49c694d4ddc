#include "FakeService.h"

#include "common/StringUtils.h"

#include <set>
#include <utility>

namespace VaultfeedTests {

using namespace Vaultfeed;

struct CFakeService::State
{
    struct Failure
    {
        HRESULT hr;
        std::optional<platform::ErrorInfo> info;
    };

    mutable std::mutex mutex;
    std::vector<std::wstring> calls;
    std::map<std::wstring, Failure> failures;
    std::map<std::wstring, FakeAnswer> known;
    std::map<std::wstring, FakeAnswer> imports;
    std::set<std::wstring> recorded;
    unsigned nFileCalls = 0;
    std::optional<std::pair<unsigned, HRESULT>> disappearance;
    std::function<void(const std::wstring&)> onImportFile;
    std::function<void()> onInterrupt;
    std::wstring strConfigText = L"QuarantineFolder=/srv/velmora/quarantine";
    std::wstring strQuarantineFolder = L"/srv/velmora/quarantine";
    unsigned nContexts = 0;

    template <class T> T Read(T State::*pMember) const
    {
        const std::lock_guard lock(mutex);
        return this->*pMember;
    }

    // Logs the call; the failure set for it, leaving its error information, or S_OK.
    HRESULT Enter(const std::wstring& strCall, const std::wstring& strArguments = {})
    {
        const std::lock_guard lock(mutex);
        calls.push_back(strArguments.empty() ? strCall : strCall + L" " + strArguments);
        const auto it = failures.find(strCall);
        if (it == failures.end())
            return S_OK;
        platform::SetErrorInfo(it->second.info);
        return it->second.hr;
    }

    // Logs a call about a file and gives its answer: the service's disappearance first, then the
    // answer set for the file.
    FakeAnswer EnterFileCall(const std::wstring& strCall, const std::wstring& strArguments,
                             const std::map<std::wstring, FakeAnswer> State::*pAnswers, const std::wstring& strFileName)
    {
        const std::lock_guard lock(mutex);
        calls.push_back(strCall + L" " + strArguments);
        ++nFileCalls;
        if (disappearance && nFileCalls >= disappearance->first)
            return {disappearance->second, {}};
        if (pAnswers == &State::known && recorded.contains(strFileName))
            return {S_OK, platform::Variant::Int32(1)};
        const auto& answers = this->*pAnswers;
        const auto it = answers.find(strFileName);
        if (it == answers.end())
            return {};
        if (it->second.bRecorded)
            recorded.insert(strFileName);
        return it->second;
    }
};

namespace {

using State = CFakeService::State;

std::wstring InterfaceName(const IID& iid)
{
    if (iid == IServiceRoot::kIid)
        return L"IServiceRoot";
    if (iid == IConfigStore::kIid)
        return L"IConfigStore";
    if (iid == IConfigItem::kIid)
        return L"IConfigItem";
    if (iid == IQuarantineConfig::kIid)
        return L"IQuarantineConfig";
    if (iid == IQuarantineImport::kIid)
        return L"IQuarantineImport";
    return platform::StringFromGUID(iid);
}

// An object with one interface I, which it answers queries for.
template <class I> class CFakeObject : public I, public std::enable_shared_from_this<CFakeObject<I>>
{
public:
    explicit CFakeObject(std::shared_ptr<State> pState) : m_pState(std::move(pState)) {}

    HRESULT QueryInterface(const IID& iid, UnknownPtr& pObject) override
    {
        const HRESULT hr = m_pState->Enter(L"QueryInterface " + InterfaceName(iid));
        if (FAILED(hr))
            return hr;
        if (iid != I::kIid)
            return E_NOINTERFACE;
        pObject = this->shared_from_this();
        return S_OK;
    }

protected:
    // Logs the call; unless it is set to fail, fills out with what make gives.
    template <class Out, class Make>
    HRESULT Answer(const std::wstring& strCall, Out& out, Make&& make, const std::wstring& strArguments = {})
    {
        const HRESULT hr = m_pState->Enter(strCall, strArguments);
        if (SUCCEEDED(hr))
            out = make();
        return hr;
    }

    const std::shared_ptr<State> m_pState;
};

class CFakeContext final : public IUnknown
{
public:
    explicit CFakeContext(unsigned nNumber) : m_nNumber(nNumber) {}
    HRESULT QueryInterface(const IID&, UnknownPtr&) override { return E_NOINTERFACE; }
    unsigned Number() const { return m_nNumber; }

private:
    unsigned m_nNumber;
};

class CFakeConfigItem final : public CFakeObject<IConfigItem>
{
public:
    using CFakeObject::CFakeObject;
    HRESULT GetConfigText(std::wstring& strText) override
    {
        return Answer(L"GetConfigText", strText, [&] { return m_pState->Read(&State::strConfigText); });
    }
};

class CFakeConfigStore final : public CFakeObject<IConfigStore>
{
public:
    using CFakeObject::CFakeObject;
    HRESULT GetConfigItem(std::int32_t lItemType, std::int16_t sKey1, std::int16_t sKey2, std::int16_t sKey3,
                          std::shared_ptr<IConfigItem>& pItem) override
    {
        return Answer(
            L"GetConfigItem", pItem, [&] { return std::make_shared<CFakeConfigItem>(m_pState); },
            FormatW(L"%d %d %d %d", lItemType, sKey1, sKey2, sKey3));
    }
};

class CFakeQuarantineConfig final : public CFakeObject<IQuarantineConfig>
{
public:
    using CFakeObject::CFakeObject;
    HRESULT LoadConfig(const std::wstring& strText) override { return m_pState->Enter(L"LoadConfig", strText); }
    HRESULT GetQuarantineFolder(std::wstring& strFolder) override
    {
        return Answer(L"GetQuarantineFolder", strFolder, [&] { return m_pState->Read(&State::strQuarantineFolder); });
    }
};

class CFakeQuarantineImport final : public CFakeObject<IQuarantineImport>
{
public:
    using CFakeObject::CFakeObject;

    HRESULT CreateImportContext(UnknownPtr& pContext) override
    {
        return Answer(L"CreateImportContext", pContext, [&] {
            const std::lock_guard lock(m_pState->mutex);
            return std::make_shared<CFakeContext>(++m_pState->nContexts);
        });
    }

    HRESULT IsFileKnown(const std::wstring& strFileName, platform::Variant& varResult) override
    {
        const FakeAnswer answer = m_pState->EnterFileCall(L"IsFileKnown", strFileName, &State::known, strFileName);
        varResult = answer.varResult;
        return answer.hr;
    }

    HRESULT ImportFile(const std::wstring& strFileName, const std::wstring& strNetworkName, const UnknownPtr& pContext,
                       platform::Variant& varResult) override
    {
        const auto* pFakeContext = dynamic_cast<const CFakeContext*>(pContext.get());
        const std::wstring strContext = pFakeContext ? FormatW(L"context#%u", pFakeContext->Number()) : L"no context";
        const FakeAnswer answer = m_pState->EnterFileCall(
            L"ImportFile", strFileName + L" " + strNetworkName + L" " + strContext, &State::imports, strFileName);
        const auto onImportFile = m_pState->Read(&State::onImportFile);
        if (onImportFile)
            onImportFile(strFileName);
        varResult = answer.varResult;
        return answer.hr;
    }
};

class CFakeServiceRoot final : public CFakeObject<IServiceRoot>
{
public:
    using CFakeObject::CFakeObject;
    HRESULT GetConfigStore(UnknownPtr& pStore) override
    {
        return Answer(L"GetConfigStore", pStore, [&] { return std::make_shared<CFakeConfigStore>(m_pState); });
    }
    HRESULT GetQuarantineImport(UnknownPtr& pImport) override
    {
        return Answer(L"GetQuarantineImport", pImport,
                      [&] { return std::make_shared<CFakeQuarantineImport>(m_pState); });
    }
};

} // namespace

CFakeService::CFakeService() : m_pState(std::make_shared<State>()) {}

void CFakeService::FailCall(const std::wstring& strCall, HRESULT hr, std::optional<platform::ErrorInfo> info)
{
    const std::lock_guard lock(m_pState->mutex);
    m_pState->failures[strCall] = {hr, std::move(info)};
}

void CFakeService::AnswerKnown(const std::wstring& strFileName, FakeAnswer answer)
{
    const std::lock_guard lock(m_pState->mutex);
    m_pState->known[strFileName] = std::move(answer);
}

void CFakeService::AnswerImport(const std::wstring& strFileName, FakeAnswer answer)
{
    const std::lock_guard lock(m_pState->mutex);
    m_pState->imports[strFileName] = std::move(answer);
}

void CFakeService::DisappearFromCall(unsigned nCall, HRESULT hr)
{
    const std::lock_guard lock(m_pState->mutex);
    m_pState->disappearance = {nCall, hr};
}

void CFakeService::OnImportFile(std::function<void(const std::wstring&)> hook)
{
    const std::lock_guard lock(m_pState->mutex);
    m_pState->onImportFile = std::move(hook);
}

void CFakeService::OnInterrupt(std::function<void()> hook)
{
    const std::lock_guard lock(m_pState->mutex);
    m_pState->onInterrupt = std::move(hook);
}

void CFakeService::SetConfigText(std::wstring strText)
{
    const std::lock_guard lock(m_pState->mutex);
    m_pState->strConfigText = std::move(strText);
}

void CFakeService::SetQuarantineFolder(std::wstring strFolder)
{
    const std::lock_guard lock(m_pState->mutex);
    m_pState->strQuarantineFolder = std::move(strFolder);
}

std::vector<std::wstring> CFakeService::Calls() const
{
    const std::lock_guard lock(m_pState->mutex);
    return m_pState->calls;
}

std::vector<std::wstring> CFakeService::FileCalls() const
{
    std::vector<std::wstring> fileCalls;
    for (const std::wstring& strCall : Calls()) {
        if (strCall.starts_with(L"IsFileKnown ") || strCall.starts_with(L"ImportFile "))
            fileCalls.push_back(strCall);
    }
    return fileCalls;
}

HRESULT CFakeService::CreateInstance(const CLSID& clsid, UnknownPtr& pObject)
{
    if (clsid == CLSID_ServiceRoot) {
        const HRESULT hr = m_pState->Enter(L"CreateInstance ServiceRoot");
        if (SUCCEEDED(hr))
            pObject = std::make_shared<CFakeServiceRoot>(m_pState);
        return hr;
    }
    if (clsid == CLSID_QuarantineConfig) {
        const HRESULT hr = m_pState->Enter(L"CreateInstance QuarantineConfig");
        if (SUCCEEDED(hr))
            pObject = std::make_shared<CFakeQuarantineConfig>(m_pState);
        return hr;
    }
    return REGDB_E_CLASSNOTREG;
}

void CFakeService::Interrupt()
{
    if (const std::function<void()> hook = m_pState->Read(&State::onInterrupt))
        hook();
}

} // namespace VaultfeedTests
