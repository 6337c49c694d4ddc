// The substitute service as any client of the bus meets it: its answers to calls it must refuse,
// the life of the objects it makes for one client, and what it says about each kind of file.

#include "ServiceBench.h"
#include "TestFolders.h"
#include "tools/quarwriter/QuarFileWriter.h"
#include "vaultfeed/ServiceCalls.h"
#include "vaultfeed/bus/BusNames.h"
#include "vaultfeed/bus/BusProxies.h"

#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <chrono>
#include <thread>

using namespace Vaultfeed;
using namespace VaultfeedTests;
using namespace std::chrono_literals;

namespace {

QString Text(const std::string& str)
{
    return QString::fromStdString(str);
}

// A client of the bus of its own.
class CClient
{
public:
    explicit CClient(const CServiceBench& bench, QString strName)
        : m_strName(std::move(strName)),
          m_connection(QDBusConnection::connectToBus(Text(bench.Environment().begin()->second), m_strName))
    {
    }
    ~CClient() { QDBusConnection::disconnectFromBus(m_strName); }
    CClient(const CClient&) = delete;
    CClient& operator=(const CClient&) = delete;

    QDBusMessage Call(const QString& strPath, QLatin1StringView strInterface, const QString& strMethod,
                      const QVariantList& arguments = {}) const
    {
        QDBusMessage call = QDBusMessage::createMethodCall(Bus::kServiceName, strPath, strInterface, strMethod);
        call.setArguments(arguments);
        return m_connection.call(call);
    }

    QString NewQuarantineConfig() const
    {
        const QString strClsid = QString::fromStdWString(platform::StringFromGUID(CLSID_QuarantineConfig));
        const QDBusMessage reply =
            Call(Bus::kClassFactoryPath, Bus::kClassFactoryInterface, "CreateInstance", {strClsid});
        return qdbus_cast<QDBusObjectPath>(reply.arguments().value(0)).path();
    }

private:
    QString m_strName;
    QDBusConnection m_connection;
};

std::string ErrorName(const QDBusMessage& reply)
{
    return reply.type() == QDBusMessage::ErrorMessage ? reply.errorName().toStdString() : "answered";
}

struct Refusal
{
    const char* szPath;
    QLatin1StringView strInterface;
    const char* szMethod;
    QVariantList arguments;
    const char* szError;
};

TEST(ServiceProtocol, RefusesWhatIsNotItsToGive)
{
    const CServiceBench bench;
    const CClient client(bench, "refusals");
    const QString strIid = QString::fromStdWString(platform::StringFromGUID(IConfigStore::kIid));
    const QString strNoClass = QStringLiteral("{00000000-0000-0000-0000-000000000000}");
    const std::vector<Refusal> refusals = {
        {"/org/vestrel/Velmora",
         Bus::kClassFactoryInterface,
         "CreateInstance",
         {strNoClass},
         "org.vestrel.Velmora.Error.HR_80040154"},
        {"/org/vestrel/Velmora/ServiceRoot",
         Bus::kUnknownInterface,
         "QueryInterface",
         {strIid},
         "org.vestrel.Velmora.Error.HR_80004002"},
        {"/org/vestrel/Velmora/ConfigStore",
         Bus::kConfigStoreInterface,
         "GetConfigItem",
         {9, QVariant::fromValue(short(-1)), QVariant::fromValue(short(-1)), QVariant::fromValue(short(0))},
         "org.vestrel.Velmora.Error.HR_80070057"},
        {"/org/vestrel/Velmora/QuarantineImport",
         Bus::kQuarantineImportInterface,
         "IsFileKnown",
         {"../quarantine.db"},
         "org.vestrel.Velmora.Error.HR_80070057"},
        {"/org/vestrel/Velmora/QuarantineImport",
         Bus::kQuarantineImportInterface,
         "IsFileKnown",
         {".."},
         "org.vestrel.Velmora.Error.HR_80070057"},
        {"/org/vestrel/Velmora/QuarantineImport",
         Bus::kQuarantineImportInterface,
         "IsFileKnown",
         {""},
         "org.vestrel.Velmora.Error.HR_80070057"},
        {"/org/vestrel/Velmora/QuarantineImport",
         Bus::kQuarantineImportInterface,
         "ImportFile",
         {"Q1.tmp", "NODE", QVariant::fromValue(QDBusObjectPath("/org/vestrel/Velmora/ImportContext/99"))},
         "org.vestrel.Velmora.Error.HR_80070057"},
        {"/org/vestrel/Velmora/QuarantineImport",
         Bus::kQuarantineImportInterface,
         "ImportFile",
         {"Q1.tmp", "NODE", QVariant::fromValue(QDBusObjectPath("/org/vestrel/Velmora/ServiceRoot"))},
         "org.vestrel.Velmora.Error.HR_80070057"},
        {"/org/vestrel/Velmora/Nothing",
         Bus::kServiceRootInterface,
         "GetConfigStore",
         {},
         "org.freedesktop.DBus.Error.UnknownObject"},
    };
    for (const Refusal& refusal : refusals) {
        SCOPED_TRACE(std::string(refusal.szMethod) + " " + refusal.arguments.value(0).toString().toStdString());
        EXPECT_EQ(ErrorName(client.Call(refusal.szPath, refusal.strInterface, refusal.szMethod, refusal.arguments)),
                  refusal.szError);
    }
}

TEST(ServiceProtocol, AQuarantineConfigurationBelongsToItsClient)
{
    const CServiceBench bench;
    const CClient client(bench, "owner");
    const QString strConfig = client.NewQuarantineConfig();
    ASSERT_TRUE(strConfig.startsWith(QLatin1String("/org/vestrel/Velmora/QuarantineConfig/")));
    const auto call = [&](const CClient& caller, const char* szMethod, const QVariantList& arguments = {}) {
        return caller.Call(strConfig, Bus::kQuarantineConfigInterface, szMethod, arguments);
    };
    EXPECT_EQ(ErrorName(call(client, "GetQuarantineFolder")), "org.vestrel.Velmora.Error.HR_8000FFFF");
    const QDBusMessage badText = call(client, "LoadConfig", {"# the folder\nQuarantineFolder /srv"});
    EXPECT_EQ(ErrorName(badText), "org.vestrel.Velmora.Error.HR_80070057");
    EXPECT_EQ(badText.errorMessage().toStdString(), "Line 2 of the configuration is not Name=Value.");
    EXPECT_EQ(ErrorName(call(client, "LoadConfig", {"# nothing here\r\n"})), "answered");
    EXPECT_EQ(ErrorName(call(client, "GetQuarantineFolder")), "org.vestrel.Velmora.Error.HR_80004005");
    EXPECT_EQ(ErrorName(call(client, "LoadConfig", {" quarantinefolder = /srv/q \r\nOther=1\r\n"})), "answered");
    EXPECT_EQ(call(client, "GetQuarantineFolder").arguments().value(0).toString().toStdString(), "/srv/q");

    // Another client cannot release it; its own client can, and then it is gone. (Release is
    // called with a wait for its empty answer, so that it is done before the next call.)
    const CClient stranger(bench, "stranger");
    EXPECT_EQ(ErrorName(stranger.Call(strConfig, Bus::kUnknownInterface, "Release")), "answered");
    EXPECT_EQ(ErrorName(call(stranger, "GetQuarantineFolder")), "answered");
    EXPECT_EQ(ErrorName(client.Call(strConfig, Bus::kUnknownInterface, "Release")), "answered");
    EXPECT_EQ(ErrorName(call(client, "GetQuarantineFolder")), "org.freedesktop.DBus.Error.UnknownObject");
}

TEST(ServiceProtocol, TheObjectsOfAClientThatLeavesTheBusGo)
{
    const CServiceBench bench;
    QString strConfig;
    {
        const CClient client(bench, "leaving");
        strConfig = client.NewQuarantineConfig();
    }
    const CClient other(bench, "other");
    auto errorName = [&] {
        return ErrorName(other.Call(strConfig, Bus::kQuarantineConfigInterface, "GetQuarantineFolder"));
    };
    // The service learns of the departure from the bus, a moment later.
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (errorName() != "org.freedesktop.DBus.Error.UnknownObject" && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(errorName(), "org.freedesktop.DBus.Error.UnknownObject");
}

struct FileAnswer
{
    const char* szName;
    std::function<void(const std::filesystem::path&)> make;
    HRESULT hr;
    platform::Variant varResult;
    std::wstring strDescription;
};

TEST(ServiceProtocol, SaysWhichFilesAreDamagedAndWhichCannotBeRead)
{
    const CServiceBench bench;
    const std::vector<FileAnswer> answers = {
        {"Q1.tmp", [](const auto& path) { WriteFile(path, QuarantineFile("x")); }, S_OK, {}, L""},
        {"Q2.tmp", [](const auto& path) { WriteFile(path, DamagedQuarantineFile()); }, MakeHResult(0x80070026),
         platform::Variant::Int32(1), L"Q2.tmp is damaged: its header cannot be read."},
        {"Q3.tmp",
         [](const auto& path) { WriteFile(path, QuarWriter::Utf16LeBytes(u"SRV0000, not the HED line.......\r\n")); },
         E_INVALIDARG, platform::Variant::Int32(1), L"Q3.tmp is damaged: its header cannot be read."},
        {"Q4.tmp", [](const auto&) {}, MakeHResult(0x80070002), {}, L"Q4.tmp cannot be opened."},
        {"Q5.tmp", [](const auto& path) { MakeFifo(path); }, E_ACCESSDENIED, {}, L"Q5.tmp cannot be opened."},
    };
    const std::shared_ptr<IServiceConnection> pService = Bus::ConnectToService();
    const CServicePtr<IServiceRoot> pRoot = CreateServiceObject<IServiceRoot>(*pService, CLSID_ServiceRoot);
    UnknownPtr pImportObject;
    ASSERT_EQ(pRoot->GetQuarantineImport(pImportObject), S_OK);
    const CServicePtr<IQuarantineImport> pImport = QueryForInterface<IQuarantineImport>(pImportObject);
    UnknownPtr pContext;
    ASSERT_EQ(pImport->CreateImportContext(pContext), S_OK);
    for (const FileAnswer& answer : answers) {
        SCOPED_TRACE(answer.szName);
        answer.make(bench.Quarantine() / answer.szName);
        platform::SetErrorInfo(std::nullopt);
        platform::Variant varResult = platform::Variant::Int32(42);
        EXPECT_EQ(HResultBits(pImport->ImportFile(NarrowToWide(answer.szName), L"NODE", pContext, varResult)),
                  HResultBits(answer.hr));
        EXPECT_EQ(varResult, answer.varResult);
        const std::optional<platform::ErrorInfo> info = platform::GetErrorInfo();
        if (SUCCEEDED(answer.hr)) {
            EXPECT_FALSE(info.has_value());
            continue;
        }
        ASSERT_TRUE(info.has_value());
        EXPECT_EQ(WideToNarrow(info->strSource), "org.vestrel.Velmora.IQuarantineImport");
        EXPECT_EQ(WideToNarrow(info->strDescription), WideToNarrow(answer.strDescription));
    }
    platform::Variant varKnown;
    EXPECT_EQ(pImport->IsFileKnown(L"Q1.tmp", varKnown), S_OK);
    EXPECT_EQ(varKnown, platform::Variant::Int32(1));
    EXPECT_EQ(pImport->IsFileKnown(L"Q2.tmp", varKnown), S_OK);
    EXPECT_EQ(varKnown, platform::Variant());
}

} // namespace
