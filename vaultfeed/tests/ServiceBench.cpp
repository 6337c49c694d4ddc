#include "ServiceBench.h"

#include "TestFolders.h"
#include "common/StringUtils.h"
#include "platform/ado/odbc/OdbcProvider.h"
#include "tools/quarwriter/QuarFileWriter.h"
#include "vaultfeed/bus/QuarantineContract.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace VaultfeedTests {
namespace {

std::u16string Utf16(const std::string& strText)
{
    std::u16string strUnits;
    for (const char32_t c : NarrowToWide(strText)) {
        if (c < 0x10000) {
            strUnits.push_back(static_cast<char16_t>(c));
        } else {
            strUnits.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            strUnits.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        }
    }
    return strUnits;
}

std::string FieldText(const platform::Variant& value)
{
    if (value.Type() == platform::VT_BSTR)
        return WideToNarrow(value.StringValue());
    const std::optional<platform::Variant> text = value.ChangeTypeToString();
    return text ? WideToNarrow(text->StringValue()) : "NULL";
}

} // namespace

std::string QuarantineFile(const std::string& strItem, const std::vector<std::string>& headerLines)
{
    QuarWriter::QuarFileLayout layout;
    for (const std::string& strLine : headerLines)
        layout.headerLines.push_back(Utf16(strLine));
    layout.strItem = strItem;
    return QuarWriter::QuarFileBytes(layout);
}

std::string DamagedQuarantineFile()
{
    QuarWriter::QuarFileLayout layout;
    layout.strCount = u"0002";
    layout.headerLines.push_back(u"only one");
    return QuarWriter::QuarHeaderBytes(layout).substr(0, 70);
}

CServiceBench::CServiceBench()
{
    std::filesystem::create_directory(Quarantine());
    WriteConfiguration("");
    ::setenv(Vaultfeed::Bus::kBusAddressVariable, m_bus.Address().c_str(), 1);
    StartService();
}

CServiceBench::~CServiceBench()
{
    m_service.reset();
    ::unsetenv(Vaultfeed::Bus::kBusAddressVariable);
}

void CServiceBench::WriteConfiguration(const std::string& strMoreLines)
{
    WriteFile(Folder("service.conf"), "# the substitute service of a test\nQuarantineFolder=" + Quarantine().string() +
                                          "\nDatabase=" + Folder("quarantine.db").string() + "\n" + strMoreLines);
}

std::filesystem::path CServiceBench::Folder(const std::string& strName) const
{
    return m_scratch.Path() / strName;
}

std::map<std::string, std::string> CServiceBench::Environment() const
{
    return {{Vaultfeed::Bus::kBusAddressVariable, m_bus.Address()}};
}

void CServiceBench::StartService()
{
    m_service.emplace(VELMORASVC_PATH, std::vector<std::string>{Folder("service.conf").string()}, Environment(),
                      testsupport::ErrorOutput::Test);
    const std::string strLine = m_service->ReadLine(testsupport::kProgramHangGuard).value_or("");
    ASSERT_EQ(strLine, "velmorasvc: serving org.vestrel.Velmora on " + m_bus.Address() + " (quarantine folder " +
                           Quarantine().string() + ", database " + Folder("quarantine.db").string() + ")");
}

int CServiceBench::StopService(int iSignal)
{
    const int iStatus = m_service->Stop(iSignal).iExitStatus;
    m_service.reset();
    return iStatus;
}

void CServiceBench::GateImports()
{
    const std::filesystem::path gate = Folder("import.gate");
    ASSERT_EQ(::mkfifo(gate.c_str(), 0600), 0);
    // Open for reading too, so that opening does not wait for the service.
    m_gate = CAutoFileHandle(::open(gate.c_str(), O_RDWR | O_CLOEXEC));
    ASSERT_TRUE(m_gate);
    StopService(SIGTERM);
    WriteConfiguration("ImportGate=" + gate.string() + "\n");
    StartService();
}

void CServiceBench::LetAnImportThrough()
{
    ASSERT_EQ(::write(m_gate.Get(), "+", 1), 1);
}

std::optional<std::string> CServiceBench::ServiceLine(std::chrono::milliseconds wait)
{
    return m_service->ReadLine(wait);
}

std::vector<std::string> CServiceBench::Rows() const
{
    const platform::ado::ConnectionPtr pConnection =
        platform::ado::OpenOdbcConnection(L"DRIVER=SQLite3;Database=" + WidePath(Folder("quarantine.db")), 5);
    platform::ado::Command command;
    command.activeConnection = pConnection;
    command.strCommandText = L"SELECT FileName, NetworkName, RunId, HedLine, HeaderLineCount, HeaderLines, "
                             L"ContentLength FROM QuarantineItems ORDER BY FileName";
    const platform::ado::RecordsetPtr pRecordset = command.Execute(false);
    std::vector<std::string> rows;
    for (const std::vector<platform::Variant>& fields : pRecordset->Rows()) {
        std::string strRow;
        for (const platform::Variant& field : fields)
            strRow += (strRow.empty() ? "" : "|") + FieldText(field);
        for (std::size_t i = strRow.find("\r\n"); i != std::string::npos; i = strRow.find("\r\n"))
            strRow.replace(i, 2, "\\n");
        rows.push_back(strRow);
    }
    return rows;
}

} // namespace VaultfeedTests
