// The substitute service as any client of the bus meets it: the published interface, its answers
// to calls it must refuse, one session at a time and whose it is, and what it says about each kind
// of file, a huge one included.

#include "BusLink.h"
#include "ServiceBench.h"
#include "TestFolders.h"
#include "common/StringUtils.h"
#include "testsupport/RunProgram.h"
#include "tools/quarwriter/QuarFileWriter.h"
#include "vaultfeed/ServiceCalls.h"
#include "vaultfeed/bus/BusService.h"
#include "vaultfeed/bus/QuarantineContract.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <regex>
#include <set>
#include <thread>

using namespace Vaultfeed;
using namespace VaultfeedTests;
using namespace std::chrono_literals;

namespace {

using Append = std::function<int(sd_bus_message*)>;

// A client of the bus of its own, calling the service's object as any program could.
class CRawClient
{
public:
    explicit CRawClient(const CServiceBench& bench)
    {
        EXPECT_EQ(m_link.Connect(bench.Environment().at(Bus::kBusAddressVariable),
                                 Bus::CBusLink::Clock::now() + testsupport::kProgramHangGuard),
                  0);
    }

    Bus::CallResult Call(const char* szMember, const Append& append = {}, const char* szInterface = Bus::kInterface)
    {
        const Bus::MessagePtr call = m_link.NewCall(Bus::kServiceName, Bus::kObjectPath, szInterface, szMember);
        EXPECT_TRUE(call && (!append || append(call.get()) >= 0));
        return m_link.Call(call.get(), testsupport::kProgramHangGuard);
    }

    // "answered", or the error's name and HRESULT.
    std::string Outcome(const char* szMember, const Append& append = {})
    {
        const Bus::CallResult result = Call(szMember, append);
        if (result.Ok())
            return "answered";
        return result.strErrorName + FormatA(" 0x%08x", result.hrArgument.value_or(0));
    }

    std::string StartImport()
    {
        const Bus::CallResult result = Call("StartImport");
        const char* szPath = nullptr;
        return result.Ok() && sd_bus_message_read_basic(result.reply.get(), 'o', &szPath) > 0 ? szPath : "";
    }

private:
    Bus::CBusLink m_link;
};

Append Name(std::string strName)
{
    return [strName](sd_bus_message* pCall) {
        return sd_bus_message_append_array(pCall, 'y', strName.data(), strName.size());
    };
}

Append ImportArguments(std::string strName, std::string strSession)
{
    return [strName, strSession](sd_bus_message* pCall) {
        const int r = sd_bus_message_append_array(pCall, 'y', strName.data(), strName.size());
        return r < 0 ? r : sd_bus_message_append(pCall, "so", "NODE", strSession.c_str());
    };
}

Append Session(std::string strSession)
{
    return [strSession](sd_bus_message* pCall) { return sd_bus_message_append_basic(pCall, 'o', strSession.c_str()); };
}

const std::string kNoSession = std::string(Bus::kSessionPathPrefix) + "00000000000000000000000000000000";

TEST(ServiceProtocol, RefusesWhatIsNotItsToGive)
{
    const CServiceBench bench;
    CRawClient client(bench);
    const std::string strBadName = "org.vestrel.Velmora.Error.InvalidFileName 0x80070057";
    const std::string strNoSuchSession = "org.vestrel.Velmora.Error.NoSuchSession 0x80010108";
    const struct
    {
        const char* szMember;
        Append append;
        std::string strOutcome;
    } refusals[] = {
        {"IsFileKnown", Name("../quarantine.db"), strBadName},
        {"IsFileKnown", Name(".."), strBadName},
        {"IsFileKnown", Name(""), strBadName},
        {"IsFileKnown", Name(std::string("Q1\0.tmp", 7)), strBadName},
        {"IsFileKnown", Name(std::string(256, 'Q')), strBadName},
        {"ImportFile", ImportArguments("Q1.tmp", kNoSession), strNoSuchSession},
        {"EndImport", Session(kNoSession), strNoSuchSession},
        {"Frobnicate", {}, "org.freedesktop.DBus.Error.UnknownMethod 0x00000000"},
    };
    for (const auto& refusal : refusals) {
        SCOPED_TRACE(refusal.szMember);
        EXPECT_EQ(client.Outcome(refusal.szMember, refusal.append), refusal.strOutcome);
    }
}

TEST(ServiceProtocol, OneSessionAtATimeBelongingToItsCaller)
{
    const CServiceBench bench;
    std::optional<CRawClient> first(std::in_place, bench);
    CRawClient second(bench);
    const std::string strSession = first->StartImport();
    EXPECT_TRUE(std::regex_match(strSession, std::regex("/org/vestrel/Velmora/Quarantine/session/[0-9a-f]{32}")))
        << strSession;
    EXPECT_EQ(second.Outcome("StartImport"), "org.vestrel.Velmora.Error.ImportInProgress 0x800700aa");
    EXPECT_EQ(second.Outcome("ImportFile", ImportArguments("Q1.tmp", strSession)),
              "org.vestrel.Velmora.Error.NoSuchSession 0x80010108");
    EXPECT_EQ(second.Outcome("EndImport", Session(strSession)), "org.vestrel.Velmora.Error.NoSuchSession 0x80010108");

    // Ended by its caller, the session is gone at once; a new one has another path.
    EXPECT_EQ(first->Outcome("EndImport", Session(strSession)), "answered");
    EXPECT_EQ(first->Outcome("EndImport", Session(strSession)), "org.vestrel.Velmora.Error.NoSuchSession 0x80010108");
    const std::string strSecond = second.StartImport();
    EXPECT_NE(strSecond, strSession);
    EXPECT_EQ(first->Outcome("StartImport"), "org.vestrel.Velmora.Error.ImportInProgress 0x800700aa");

    // A caller that leaves the bus ends its session; the service learns of it from the bus.
    {
        CRawClient leaving(bench);
        second.Outcome("EndImport", Session(strSecond));
        ASSERT_NE(leaving.StartImport(), "");
    }
    const auto deadline = std::chrono::steady_clock::now() + testsupport::kProgramHangGuard;
    std::string strThird;
    while (strThird.empty() && std::chrono::steady_clock::now() < deadline) {
        strThird = first->StartImport();
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_NE(strThird, "");
}

// The tags of the interface's element, each with its attributes in order of name: the form of the
// XML aside (order of attributes, spaces, comments), the members, arguments and types.
std::vector<std::string> InterfaceTags(const std::string& strXml)
{
    const std::size_t iStart = strXml.find(std::string("<interface name=\"") + Bus::kInterface + "\"");
    const std::size_t iEnd = strXml.find("</interface>", iStart);
    EXPECT_NE(iStart, std::string::npos);
    std::string strBlock = strXml.substr(iStart, iEnd - iStart);
    strBlock = std::regex_replace(strBlock, std::regex("<!--[\\s\\S]*?-->"), "");
    std::vector<std::string> tags;
    const std::regex tag("<(/?\\w+)([^>]*?)/?>");
    const std::regex attribute("(\\w+)=\"([^\"]*)\"");
    for (auto it = std::sregex_iterator(strBlock.begin(), strBlock.end(), tag); it != std::sregex_iterator(); ++it) {
        const std::string strAttributes = (*it)[2];
        std::set<std::string> attributes;
        for (auto a = std::sregex_iterator(strAttributes.begin(), strAttributes.end(), attribute);
             a != std::sregex_iterator(); ++a)
            attributes.insert((*a)[0]);
        std::string strTag = (*it)[1];
        for (const std::string& strAttribute : attributes)
            strTag += " " + strAttribute;
        tags.push_back(strTag);
    }
    return tags;
}

TEST(ServiceProtocol, ServesExactlyThePublishedInterface)
{
    const CServiceBench bench;
    CRawClient client(bench);
    const Bus::CallResult result = client.Call("Introspect", {}, "org.freedesktop.DBus.Introspectable");
    const char* szXml = nullptr;
    ASSERT_TRUE(result.Ok() && sd_bus_message_read_basic(result.reply.get(), 's', &szXml) > 0);
    const std::vector<std::string> published = InterfaceTags(testsupport::ReadFile(VAULTFEED_BUS_INTERFACE_XML));
    EXPECT_EQ(InterfaceTags(szXml), published);
    EXPECT_EQ(published.size(), 20u);
}

struct FileAnswer
{
    const char* szName;
    std::function<void(const std::filesystem::path&)> make;
    HRESULT hr;
    platform::Variant varResult;
    std::string strDescription;
};

TEST(ServiceProtocol, SaysWhichFilesAreDamagedAndWhichCannotBeRead)
{
    const CServiceBench bench;
    const auto sparse = [](const std::filesystem::path& path) {
        // A terabyte of nothing: read whole, it would outlast any call's timeout.
        std::ofstream(path).close();
        std::filesystem::resize_file(path, std::uintmax_t{1} << 40);
    };
    const std::vector<FileAnswer> answers = {
        {"Q1.tmp", [](const auto& path) { WriteFile(path, QuarantineFile("x")); }, S_OK, {}, ""},
        {"Q2.tmp", [](const auto& path) { WriteFile(path, DamagedQuarantineFile()); }, Bus::kErrorFileCorrupt,
         platform::Variant::Int32(1), "Q2.tmp is damaged: its header cannot be read."},
        {"Q3.tmp",
         [](const auto& path) { WriteFile(path, QuarWriter::Utf16LeBytes(u"SRV0000, not the HED line.......\r\n")); },
         Bus::kErrorFileCorrupt, platform::Variant::Int32(1), "Q3.tmp is damaged: its header cannot be read."},
        {"Q4.tmp", [](const auto&) {}, Bus::kErrorFileNotFound, {}, "Q4.tmp is not in the quarantine folder."},
        {"Q5.tmp", [](const auto& path) { MakeFifo(path); }, E_ACCESSDENIED, {}, "Q5.tmp cannot be opened."},
        {"Q6.tmp", sparse, Bus::kErrorFileCorrupt, platform::Variant::Int32(1),
         "Q6.tmp is damaged: its header cannot be read."},
        {"Q1.tmp", [](const auto&) {}, Bus::kErrorFileExists, {}, "Q1.tmp has been imported before."},
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
        EXPECT_EQ(WideToNarrow(info->strSource), Bus::kInterface);
        EXPECT_EQ(WideToNarrow(info->strDescription), answer.strDescription);
    }
    platform::Variant varKnown;
    EXPECT_EQ(pImport->IsFileKnown(L"Q1.tmp", varKnown), S_OK);
    EXPECT_EQ(varKnown, platform::Variant::Int32(1));
    EXPECT_EQ(pImport->IsFileKnown(L"Q2.tmp", varKnown), S_OK);
    EXPECT_EQ(varKnown, platform::Variant());
}

} // namespace
