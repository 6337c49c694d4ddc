#include "QuarantineClient.h"

#include "common/StringUtils.h"
#include "platform/ErrorInfo.h"
#include "vaultfeed/bus/BusService.h"
#include "vaultfeed/bus/QuarantineContract.h"

#include <cerrno>
#include <cstring>

namespace Vaultfeed::Bus {
namespace {

constexpr const char* kBusName = "org.freedesktop.DBus";
constexpr const char* kBusPath = "/org/freedesktop/DBus";
constexpr const char* kPropertiesInterface = "org.freedesktop.DBus.Properties";

std::chrono::microseconds Microseconds(std::chrono::milliseconds duration)
{
    return std::chrono::duration_cast<std::chrono::microseconds>(duration);
}

HRESULT MalformedReply(sd_bus_message* pReply, const char* szExpected)
{
    const char* szSignature = sd_bus_message_get_signature(pReply, 1);
    return Failure(RPC_E_INVALID_DATAPACKET, FormatA("Unexpected reply signature: got \"%s\", expected \"%s\"",
                                                     szSignature ? szSignature : "", szExpected));
}

// The reply's one argument of the given signature, or a malformed reply.
template <class T> HRESULT ReadOne(sd_bus_message* pReply, const char* szSignature, T& value)
{
    if (!sd_bus_message_has_signature(pReply, szSignature) ||
        sd_bus_message_read_basic(pReply, szSignature[0], &value) <= 0)
        return MalformedReply(pReply, szSignature);
    return S_OK;
}

} // namespace

HRESULT Failure(HRESULT hr, const std::string& strDescription)
{
    platform::SetErrorInfo(platform::ErrorInfo{NarrowToWide(kInterface), NarrowToWide(strDescription)});
    return hr;
}

CQuarantineClient::CQuarantineClient(const BusTimeouts& timeouts) : m_timeouts(timeouts) {}

HRESULT CQuarantineClient::Connect()
{
    const std::string strAddress = ServiceBusAddress();
    const CBusLink::Clock::time_point deadline = CBusLink::Clock::now() + m_timeouts.connect;
    const int r = m_link.Connect(strAddress, deadline);
    if (r == -ECANCELED)
        return Failure(kAborted, "Connecting to " + strAddress + " was interrupted.");
    if (r == -ETIMEDOUT)
        return Failure(RPC_E_TIMEOUT, FormatA("%s did not answer within %lld ms.", strAddress.c_str(),
                                              static_cast<long long>(m_timeouts.connect.count())));
    if (r < 0)
        return Failure(RPC_E_SERVER_UNAVAILABLE, "Cannot reach " + strAddress + ": " + std::strerror(-r));

    const MessagePtr call = m_link.NewCall(kBusName, kBusPath, kBusName, "GetNameOwner");
    if (!call || sd_bus_message_append_basic(call.get(), 's', kServiceName) < 0)
        return Failure(E_OUTOFMEMORY, "No call can be made.");
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - CBusLink::Clock::now());
    const CallResult result = m_link.Call(call.get(), std::max(left, std::chrono::microseconds(1)));
    if (result.IsErrorReply())
        return Failure(HResultOfError(result.strErrorName, result.hrArgument, {true, false}), result.strMessage);
    if (!result.Ok())
        return FailureOf(result);
    const char* szOwner = nullptr;
    const HRESULT hr = ReadOne(result.reply.get(), "s", szOwner);
    if (SUCCEEDED(hr))
        m_strOwner = szOwner;
    return hr;
}

MessagePtr CQuarantineClient::NewCall(const char* szMember, const char* szInterface)
{
    return m_link.NewCall(m_strOwner.c_str(), kObjectPath, szInterface, szMember);
}

HRESULT CQuarantineClient::Finish(sd_bus_message* pCall, MessagePtr& reply)
{
    if (!pCall)
        return Failure(E_OUTOFMEMORY, "No call can be made.");
    CallResult result = m_link.Call(pCall, Microseconds(m_timeouts.call));
    if (!result.Ok())
        return FailureOf(result);
    reply = std::move(result.reply);
    return S_OK;
}

HRESULT CQuarantineClient::FailureOf(const CallResult& result)
{
    if (result.IsErrorReply()) {
        const bool bLate = result.strErrorName == "org.freedesktop.DBus.Error.NoReply" ||
                           result.strErrorName == "org.freedesktop.DBus.Error.Timeout";
        const CallSituation situation{false, bLate && !IsServiceOnTheBus()};
        return Failure(HResultOfError(result.strErrorName, result.hrArgument, situation), result.strMessage);
    }
    if (result.iErrno == ECANCELED)
        return Failure(kAborted, "The call was interrupted.");
    return Failure(RPC_E_SERVER_UNAVAILABLE, std::string("The bus connection failed: ") + std::strerror(result.iErrno));
}

bool CQuarantineClient::IsServiceOnTheBus()
{
    const MessagePtr call = m_link.NewCall(kBusName, kBusPath, kBusName, "NameHasOwner");
    if (!call || sd_bus_message_append_basic(call.get(), 's', m_strOwner.c_str()) < 0)
        return false;
    const CallResult result = m_link.Call(call.get(), Microseconds(m_timeouts.call));
    int iHasOwner = 0;
    return result.Ok() && sd_bus_message_read_basic(result.reply.get(), 'b', &iHasOwner) > 0 && iHasOwner != 0;
}

HRESULT CQuarantineClient::GetQuarantineFolder(std::string& strFolder)
{
    const MessagePtr call = NewCall("Get", kPropertiesInterface);
    if (call && sd_bus_message_append(call.get(), "ss", kInterface, kFolderProperty) < 0)
        return Failure(E_OUTOFMEMORY, "No call can be made.");
    MessagePtr reply;
    if (const HRESULT hr = Finish(call.get(), reply); FAILED(hr))
        return hr;
    const void* pBytes = nullptr;
    std::size_t cbFolder = 0;
    if (!sd_bus_message_has_signature(reply.get(), "v") ||
        sd_bus_message_enter_container(reply.get(), 'v', "ay") <= 0 ||
        sd_bus_message_read_array(reply.get(), 'y', &pBytes, &cbFolder) < 0)
        return MalformedReply(reply.get(), "v(ay)");
    strFolder.assign(static_cast<const char*>(pBytes), cbFolder);
    return S_OK;
}

HRESULT CQuarantineClient::StartImport(std::string& strSession)
{
    const MessagePtr call = NewCall("StartImport", kInterface);
    MessagePtr reply;
    if (const HRESULT hr = Finish(call.get(), reply); FAILED(hr))
        return hr;
    const char* szPath = nullptr;
    const HRESULT hr = ReadOne(reply.get(), "o", szPath);
    if (SUCCEEDED(hr))
        strSession = szPath;
    return hr;
}

void CQuarantineClient::EndImport(const std::string& strSession)
{
    const MessagePtr call = NewCall("EndImport", kInterface);
    if (call && sd_bus_message_append_basic(call.get(), 'o', strSession.c_str()) >= 0)
        m_link.Send(call.get());
}

HRESULT CQuarantineClient::IsFileKnown(std::string_view strFileName, bool& bKnown)
{
    const MessagePtr call = NewCall("IsFileKnown", kInterface);
    if (call && sd_bus_message_append_array(call.get(), 'y', strFileName.data(), strFileName.size()) < 0)
        return Failure(E_OUTOFMEMORY, "No call can be made.");
    MessagePtr reply;
    if (const HRESULT hr = Finish(call.get(), reply); FAILED(hr))
        return hr;
    int iKnown = 0;
    const HRESULT hr = ReadOne(reply.get(), "b", iKnown);
    bKnown = iKnown != 0;
    return hr;
}

HRESULT CQuarantineClient::ImportFile(std::string_view strFileName, const std::string& strNetworkName,
                                      const std::string& strSession, bool& bDamaged)
{
    bDamaged = false;
    const MessagePtr call = NewCall("ImportFile", kInterface);
    if (call && (sd_bus_message_append_array(call.get(), 'y', strFileName.data(), strFileName.size()) < 0 ||
                 sd_bus_message_append(call.get(), "so", strNetworkName.c_str(), strSession.c_str()) < 0))
        return Failure(E_INVALIDARG, "The network name or the session cannot be sent.");
    MessagePtr reply;
    if (const HRESULT hr = Finish(call.get(), reply); FAILED(hr))
        return hr;
    const char* szOutcome = nullptr;
    if (const HRESULT hr = ReadOne(reply.get(), "s", szOutcome); FAILED(hr))
        return hr;
    if (szOutcome == kOutcomeImported)
        return S_OK;
    if (szOutcome == kOutcomeDamaged) {
        bDamaged = true;
        return Failure(kErrorFileCorrupt, std::string(strFileName) + " is damaged: its header cannot be read.");
    }
    return Failure(RPC_E_INVALID_DATAPACKET, std::string("Unknown outcome \"") + szOutcome + "\".");
}

} // namespace Vaultfeed::Bus
