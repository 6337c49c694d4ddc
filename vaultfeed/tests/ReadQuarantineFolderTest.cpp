// Reading the product's quarantine folder from the service: the calls in their order with their
// arguments, and each failure raised with its HRESULT and error information.

#include "vaultfeed/ReadQuarantineFolder.h"
#include "FakeService.h"
#include "common/StringUtils.h"
#include "vaultfeed/ServiceCalls.h"

#include <gtest/gtest.h>

using namespace Vaultfeed;
using namespace VaultfeedTests;

namespace {

TEST(ReadQuarantineFolder, LoadsTheQuarantineSettingsIntoAConfigurationObjectAndReadsItsFolder)
{
    CFakeService service;
    service.SetConfigText(L"the settings, handed on unread");
    service.SetQuarantineFolder(L"/srv/velmora/quarantine");
    EXPECT_EQ(ReadQuarantineFolder(service), L"/srv/velmora/quarantine");
    const std::vector<std::wstring> expected = {
        L"CreateInstance ServiceRoot",
        L"QueryInterface IServiceRoot",
        L"GetConfigStore",
        L"QueryInterface IConfigStore",
        L"GetConfigItem 8 -1 -1 0",
        L"GetConfigText",
        L"CreateInstance QuarantineConfig",
        L"QueryInterface IQuarantineConfig",
        L"LoadConfig the settings, handed on unread",
        L"GetQuarantineFolder",
    };
    EXPECT_EQ(service.Calls(), expected);
}

TEST(ReadQuarantineFolder, RaisesEveryFailedCallAsAComError)
{
    const platform::ErrorInfo info{L"org.vestrel.Velmora.IQuarantineConfig", L"The configuration names no folder."};
    const std::vector<FakeFailure> failures = {
        {L"CreateInstance ServiceRoot",
         RPC_E_SERVER_UNAVAILABLE,
         {},
         L"Com Error:0x800706ba,'The RPC server is unavailable.','',''"},
        {L"QueryInterface IServiceRoot",
         E_NOINTERFACE,
         {},
         L"Com Error:0x80004002,'No such interface supported','',''"},
        {L"GetConfigStore", E_FAIL, {}, L"Com Error:0x80004005,'Unspecified error','',''"},
        // The store's object lacks the interface: the call through the empty pointer fails.
        {L"QueryInterface IConfigStore", E_NOINTERFACE, {}, L"Com Error:0x80004003,'Invalid pointer','',''"},
        {L"QueryInterface IConfigStore",
         RPC_E_DISCONNECTED,
         {},
         L"Com Error:0x80010108,'The object invoked has disconnected from its clients.','',''"},
        {L"GetConfigItem", E_INVALIDARG, {}, L"Com Error:0x80070057,'The parameter is incorrect.','',''"},
        {L"GetConfigText", E_OUTOFMEMORY, {}, L"Com Error:0x8007000e,'Ran out of memory','',''"},
        {L"CreateInstance QuarantineConfig",
         REGDB_E_CLASSNOTREG,
         {},
         L"Com Error:0x80040154,'Class not registered','',''"},
        {L"QueryInterface IQuarantineConfig",
         E_NOINTERFACE,
         {},
         L"Com Error:0x80004002,'No such interface supported','',''"},
        {L"LoadConfig", E_INVALIDARG, info,
         L"Com Error:0x80070057,'The parameter is incorrect.','org.vestrel.Velmora.IQuarantineConfig','The "
         L"configuration "
         L"names no folder.'"},
        {L"GetQuarantineFolder", E_FAIL, info,
         L"Com Error:0x80004005,'Unspecified error','org.vestrel.Velmora.IQuarantineConfig','The configuration names "
         L"no "
         L"folder.'"},
    };
    for (const FakeFailure& failure : failures) {
        SCOPED_TRACE(WideToNarrow(failure.wszCall));
        CFakeService service;
        service.FailCall(failure.wszCall, failure.hr, failure.info);
        try {
            ReadQuarantineFolder(service);
            ADD_FAILURE() << "no error raised";
        } catch (const UTIL::COM::_com_error& e) {
            EXPECT_EQ(WideToNarrow(ComErrorText(e)), WideToNarrow(failure.strExpected));
        }
    }
}

TEST(ReadQuarantineFolder, AnEarlierCallsErrorInformationIsNotReportedForALaterFailure)
{
    CFakeService service;
    platform::SetErrorInfo(platform::ErrorInfo{L"stale", L"left by an earlier call"});
    service.FailCall(L"GetConfigStore", E_FAIL);
    try {
        ReadQuarantineFolder(service);
        ADD_FAILURE() << "no error raised";
    } catch (const UTIL::COM::_com_error& e) {
        EXPECT_EQ(WideToNarrow(ComErrorText(e)), "Com Error:0x80004005,'Unspecified error','',''");
    }
}

} // namespace
