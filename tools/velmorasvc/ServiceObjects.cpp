#include "ServiceObjects.h"

#include "ClassFactoryAdaptor.h"
#include "ConfigItemAdaptor.h"
#include "ConfigStoreAdaptor.h"
#include "ImportGate.h"
#include "QuarantineConfigAdaptor.h"
#include "QuarantineImportAdaptor.h"
#include "ServiceConfig.h"
#include "ServiceRootAdaptor.h"
#include "platform/Win32Error.h"
#include "tools/velmorasvc/QuarantineDatabase.h"
#include "vaultdump/QuarFileReader.h"
#include "vaultfeed/ServiceInterfaces.h"
#include "vaultfeed/bus/BusNames.h"
#include "vaultfeed/bus/BusVariant.h"

namespace Velmorasvc {
namespace {

using namespace Vaultfeed;
using namespace Vaultfeed::Bus;

// The configuration item that holds the quarantine settings.
constexpr int kQuarantineSettingsItem = 8;
// How much of a header is recorded: the lines of any real header, and no more than this of a
// hostile one.
constexpr std::size_t kHeaderKeptLength = 64 * 1024;

QString GuidText(const platform::GUID& guid)
{
    return QString::fromStdWString(platform::StringFromGUID(guid));
}

bool IsDamagedHeader(HRESULT hr)
{
    return hr == E_INVALIDARG || hr == E_UNEXPECTED || hr == HRESULT_FROM_WIN32(platform::ERROR_HANDLE_EOF);
}

std::wstring WideFromUtf16(const std::u16string& strUnits)
{
    return QString::fromUtf16(strUnits.data(), static_cast<qsizetype>(strUnits.size())).toStdWString();
}

} // namespace

CClassFactory::CClassFactory(CInstanceTable& configs) : CServiceObject({}), m_configs(configs)
{
    new ClassFactoryAdaptor(this);
}

QDBusObjectPath CClassFactory::CreateInstance(const QString& strClsid)
{
    if (strClsid.compare(GuidText(CLSID_ServiceRoot), Qt::CaseInsensitive) == 0)
        return QDBusObjectPath(kServiceRootPath);
    if (strClsid.compare(GuidText(CLSID_QuarantineConfig), Qt::CaseInsensitive) == 0)
        return m_configs.Add(std::make_unique<CQuarantineConfig>(m_configs), message().service());
    Fail(REGDB_E_CLASSNOTREG, QStringLiteral("No class %1 is served here.").arg(strClsid));
    return {};
}

CServiceRoot::CServiceRoot() : CServiceObject({IServiceRoot::kIid})
{
    new ServiceRootAdaptor(this);
}

QDBusObjectPath CServiceRoot::GetConfigStore()
{
    return QDBusObjectPath(kConfigStorePath);
}

QDBusObjectPath CServiceRoot::GetQuarantineImport()
{
    return QDBusObjectPath(kQuarantineImportPath);
}

CConfigStore::CConfigStore() : CServiceObject({IConfigStore::kIid})
{
    new ConfigStoreAdaptor(this);
}

QDBusObjectPath CConfigStore::GetConfigItem(int lItemType, short, short, short)
{
    if (lItemType == kQuarantineSettingsItem)
        return QDBusObjectPath(kQuarantineSettingsPath);
    Fail(E_INVALIDARG, QStringLiteral("There is no configuration item of type %1.").arg(lItemType));
    return {};
}

CConfigItem::CConfigItem(QString strText) : CServiceObject({IConfigItem::kIid}), m_strText(std::move(strText))
{
    new ConfigItemAdaptor(this);
}

QString CConfigItem::GetConfigText()
{
    return m_strText;
}

CQuarantineConfig::CQuarantineConfig(CInstanceTable& table) : CServiceObject({IQuarantineConfig::kIid}), m_table(table)
{
    new QuarantineConfigAdaptor(this);
}

void CQuarantineConfig::Release()
{
    m_table.Release(this, message().service());
}

void CQuarantineConfig::LoadConfig(const QString& strText)
{
    int iBadLine = 0;
    const std::optional<CConfigValues> values = CConfigValues::Parse(strText.toStdWString(), iBadLine);
    if (!values)
        return Fail(E_INVALIDARG, QStringLiteral("Line %1 of the configuration is not Name=Value.").arg(iBadLine));
    m_bLoaded = true;
    m_strFolder = QString::fromStdWString(values->Find(kQuarantineFolderName).value_or(L""));
}

QString CQuarantineConfig::GetQuarantineFolder()
{
    if (!m_bLoaded)
        Fail(E_UNEXPECTED, QStringLiteral("No configuration has been loaded."));
    else if (m_strFolder.isEmpty())
        Fail(E_FAIL, QStringLiteral("The configuration names no quarantine folder."));
    return m_strFolder;
}

CImportContext::CImportContext(CInstanceTable& table, std::int32_t lRunId)
    : CServiceObject({}), m_table(table), m_lRunId(lRunId)
{
}

void CImportContext::Release()
{
    m_table.Release(this, message().service());
}

CQuarantineImport::CQuarantineImport(CQuarantineDatabase& database, std::filesystem::path quarantineFolder,
                                     CInstanceTable& contexts, CImportGate* pGate)
    : CServiceObject({IQuarantineImport::kIid}), m_database(database), m_quarantineFolder(std::move(quarantineFolder)),
      m_contexts(contexts), m_pGate(pGate)
{
    new QuarantineImportAdaptor(this);
}

std::optional<std::filesystem::path> CQuarantineImport::PathOf(const QString& strFileName)
{
    if (strFileName.isEmpty() || strFileName == QLatin1String(".") || strFileName == QLatin1String("..") ||
        strFileName.contains(QLatin1Char('/')) || strFileName.contains(QChar(0))) {
        Fail(E_INVALIDARG, QStringLiteral("\"%1\" names no file of the quarantine folder.").arg(strFileName));
        return std::nullopt;
    }
    return m_quarantineFolder / strFileName.toStdString();
}

QDBusObjectPath CQuarantineImport::CreateImportContext()
{
    try {
        return m_contexts.Add(std::make_unique<CImportContext>(m_contexts, m_database.AddRun()), message().service());
    } catch (...) {
        FailWithCurrentException();
        return {};
    }
}

QVariantList CQuarantineImport::IsFileKnown(const QString& strFileName)
{
    try {
        if (!PathOf(strFileName))
            return {};
        const std::optional<std::int32_t> lItemId = m_database.FindItem(strFileName.toStdWString());
        return lItemId ? VariantToBus(platform::Variant::Int32(*lItemId)) : QVariantList();
    } catch (...) {
        FailWithCurrentException();
        return {};
    }
}

QVariantList CQuarantineImport::ImportFile(const QString& strFileName, const QString& strNetworkName,
                                           const QDBusObjectPath& context)
{
    try {
        if (m_pGate)
            m_pGate->Pass(strFileName);
        const std::optional<std::filesystem::path> path = PathOf(strFileName);
        if (!path)
            return {};
        const CImportContext* pContext = m_contexts.Find<CImportContext>(context.path());
        if (!pContext) {
            Fail(E_INVALIDARG, QStringLiteral("%1 is no import context of this service.").arg(context.path()));
            return {};
        }
        Vaultdump::CQuarFileReader reader;
        HRESULT hr = reader.Open(path->c_str(), true);
        if (FAILED(hr)) {
            Fail(hr, QStringLiteral("%1 cannot be opened.").arg(strFileName));
            return {};
        }
        std::vector<std::u16string> lines;
        hr = reader.ReadHeader(lines, kHeaderKeptLength);
        if (FAILED(hr)) {
            if (IsDamagedHeader(hr))
                Fail(hr, QStringLiteral("%1 is damaged: its header cannot be read.").arg(strFileName),
                     VariantToBus(platform::Variant::Int32(1)));
            else
                Fail(hr, QStringLiteral("%1 cannot be read.").arg(strFileName));
            return {};
        }
        QuarantineItem item{strFileName.toStdWString(),
                            strNetworkName.toStdWString(),
                            pContext->RunId(),
                            WideFromUtf16(lines.front()),
                            {},
                            0};
        for (std::size_t i = 1; i < lines.size(); ++i)
            item.headerLines.push_back(WideFromUtf16(lines[i]));
        reader.GetContentLength(&item.cbContent);
        m_database.AddItem(item);
        return {};
    } catch (...) {
        FailWithCurrentException();
        return {};
    }
}

} // namespace Velmorasvc
