#include "vaultfeed/ReadQuarantineFolder.h"

#include "vaultfeed/ServiceCalls.h"

namespace Vaultfeed {
namespace {

// The configuration item that holds the quarantine settings.
constexpr std::int32_t kQuarantineSettingsItem = 8;
constexpr std::int16_t kAnyKey = -1;
constexpr std::int16_t kFirstKey = 0;

} // namespace

std::wstring ReadQuarantineFolder(IServiceConnection& service)
{
    const CServicePtr<IServiceRoot> pRoot = CreateServiceObject<IServiceRoot>(service, CLSID_ServiceRoot);
    UnknownPtr pStoreObject;
    CallOrRaise([&] { return pRoot->GetConfigStore(pStoreObject); });
    const CServicePtr<IConfigStore> pStore = QueryForInterface<IConfigStore>(pStoreObject);

    CServicePtr<IConfigItem> pItem;
    CallOrRaise(
        [&] { return pStore->GetConfigItem(kQuarantineSettingsItem, kAnyKey, kAnyKey, kFirstKey, pItem.Out()); });
    std::wstring strConfigText;
    CallOrRaise([&] { return pItem->GetConfigText(strConfigText); });

    const CServicePtr<IQuarantineConfig> pConfig =
        CreateServiceObject<IQuarantineConfig>(service, CLSID_QuarantineConfig);
    CallOrRaise([&] { return pConfig->LoadConfig(strConfigText); });
    std::wstring strFolder;
    CallOrRaise([&] { return pConfig->GetQuarantineFolder(strFolder); });
    return strFolder;
}

} // namespace Vaultfeed
