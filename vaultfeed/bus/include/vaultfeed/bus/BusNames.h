#pragma once
// Where the product's service is on the bus: its name, its objects and its error names.

#include <QLatin1StringView>

namespace Vaultfeed::Bus {

// The environment variable that names the bus's address; the system bus without it.
inline constexpr const char* kBusAddressVariable = "VESTREL_SERVICE_BUS";

inline constexpr QLatin1StringView kServiceName{"org.vestrel.Velmora"};

inline constexpr QLatin1StringView kClassFactoryPath{"/org/vestrel/Velmora"};
inline constexpr QLatin1StringView kServiceRootPath{"/org/vestrel/Velmora/ServiceRoot"};
inline constexpr QLatin1StringView kConfigStorePath{"/org/vestrel/Velmora/ConfigStore"};
// The configuration item of the quarantine settings, item 8.
inline constexpr QLatin1StringView kQuarantineSettingsPath{"/org/vestrel/Velmora/ConfigItem/8"};
inline constexpr QLatin1StringView kQuarantineImportPath{"/org/vestrel/Velmora/QuarantineImport"};
inline constexpr QLatin1StringView kQuarantineConfigPath{"/org/vestrel/Velmora/QuarantineConfig/"};
inline constexpr QLatin1StringView kImportContextPath{"/org/vestrel/Velmora/ImportContext/"};

inline constexpr QLatin1StringView kUnknownInterface{"org.vestrel.Velmora.IUnknown"};
inline constexpr QLatin1StringView kClassFactoryInterface{"org.vestrel.Velmora.ClassFactory"};
inline constexpr QLatin1StringView kServiceRootInterface{"org.vestrel.Velmora.IServiceRoot"};
inline constexpr QLatin1StringView kConfigStoreInterface{"org.vestrel.Velmora.IConfigStore"};
inline constexpr QLatin1StringView kConfigItemInterface{"org.vestrel.Velmora.IConfigItem"};
inline constexpr QLatin1StringView kQuarantineConfigInterface{"org.vestrel.Velmora.IQuarantineConfig"};
inline constexpr QLatin1StringView kQuarantineImportInterface{"org.vestrel.Velmora.IQuarantineImport"};

// A failed call answers this followed by its HRESULT in eight upper-case hexadecimal digits.
inline constexpr QLatin1StringView kErrorNamePrefix{"org.vestrel.Velmora.Error.HR_"};

} // namespace Vaultfeed::Bus
