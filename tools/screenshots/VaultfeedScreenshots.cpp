// vaultfeed_screenshots: renders vaultfeed's windows to PNG files for its documentation: each page
// of the wizard and both views of the unattended progress dialog, importing for real through the
// product's service on VESTREL_SERVICE_BUS.
//
//   vaultfeed_screenshots WORK_FOLDER OUTPUT_FOLDER
//
// render-screenshots.sh runs it on no screen, with the substitute service on a private bus.

#include "testsupport/MemoryCluster.h"
#include "tools/quarwriter/QuarFileWriter.h"
#include "vaultfeed/app/MessageBoxes.h"
#include "vaultfeed/app/VaultfeedApp.h"
#include "vaultfeed/bus/BusService.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QThread>
#include <QWizard>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/stat.h>

namespace {

using Vaultfeed::CVaultfeedApp;

// Nothing here asks the user anything.
class CSilentMessageBoxes : public Vaultfeed::IMessageBoxes
{
public:
    void ShowExclamation(QWidget*, const QString&) override {}
    bool AskYesNo(QWidget*, const QString&) override { return false; }
};

// A folder of quarantine files Q<first>.tmp onwards, each a short mail.
void WriteQuarantineFiles(const std::filesystem::path& folder, int iFirst, int nFiles)
{
    std::filesystem::create_directories(folder);
    QuarWriter::QuarFileLayout layout;
    layout.headerLines = {u"From: sender@example.com", u"Subject: Invoice"};
    layout.strItem = "From: sender@example.com\r\nSubject: Invoice\r\n\r\nPlease see the attachment.\r\n";
    const std::string strFile = QuarWriter::QuarFileBytes(layout);
    for (int i = iFirst; i < iFirst + nFiles; ++i)
        std::ofstream(folder / ("Q" + std::to_string(i) + ".tmp"), std::ios::binary) << strFile;
}

// Handles events until the condition holds; false after a minute.
bool WaitUntil(const std::function<bool()>& condition)
{
    const QDeadlineTimer deadline(60'000);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
    return true;
}

template <class W> W& Child(const QWidget& window, const char* szName)
{
    W* pChild = window.findChild<W*>(QString::fromLatin1(szName));
    if (!pChild)
        throw std::runtime_error(std::string("no control named ") + szName);
    return *pChild;
}

class CScreenshots
{
public:
    CScreenshots(std::filesystem::path work, std::filesystem::path output)
        : m_work(std::move(work)), m_output(std::move(output))
    {
    }

    void Save(QWidget& window, const char* szName)
    {
        QCoreApplication::processEvents();
        const std::string strPath = (m_output / szName).string();
        if (!window.grab().save(QString::fromStdString(strPath)))
            throw std::runtime_error("cannot write " + strPath);
        std::printf("%s\n", strPath.c_str());
    }

    // The wizard from its first page to its report, importing a folder the user types.
    void Wizard()
    {
        const std::filesystem::path source = m_work / "recovered";
        WriteQuarantineFiles(source, 1, 3000);
        std::filesystem::create_directory(source / "Q-archive.tmp");
        CVaultfeedApp app(Vaultfeed::Bus::ConnectToService(), m_messageBoxes);
        const std::unique_ptr<QDialog> pWindow = app.CreateMainWindow({});
        auto& wizard = dynamic_cast<QWizard&>(*pWindow);
        Show(wizard);
        Save(wizard, "wizard-welcome.png");
        wizard.next();
        Child<QRadioButton>(wizard, "manualFolderOption").click();
        Child<QLineEdit>(wizard, "sourceFolder").setText(QString::fromStdString(source.string()));
        Save(wizard, "wizard-folder.png");
        wizard.next();
        SaveInProgress(wizard, "wizard-progress.png");
        if (!WaitUntil([&] { return wizard.currentId() == wizard.pageIds().last(); }))
            throw std::runtime_error("the wizard's import never ended");
        Save(wizard, "wizard-finish.png");
    }

    // The network-name page of a cluster node that runs the product twice.
    void NetworkNamePage()
    {
        testsupport::MemoryCluster cluster;
        cluster.groups.push_back(
            {L"Mail",
             {ProductResource(L"Velmora (mail)", L"MAILNODE"), ProductResource(L"Velmora (relay)", L"RELAYNODE")}});
        const testsupport::CScopedMemoryCluster scopedCluster(cluster);
        CVaultfeedApp app(Vaultfeed::Bus::ConnectToService(), m_messageBoxes);
        const std::unique_ptr<QDialog> pWindow = app.CreateMainWindow({(m_work / "recovered").string()});
        auto& wizard = dynamic_cast<QWizard&>(*pWindow);
        Show(wizard);
        wizard.next();
        Save(wizard, "wizard-network-name.png");
    }

    // The unattended dialog while it imports, and its error view.
    void Dialog()
    {
        const std::filesystem::path source = m_work / "setup";
        WriteQuarantineFiles(source, 5001, 3000);
        {
            CVaultfeedApp app(Vaultfeed::Bus::ConnectToService(), m_messageBoxes);
            const std::unique_ptr<QDialog> pDialog = app.CreateMainWindow({source.string()});
            Show(*pDialog);
            SaveInProgress(*pDialog, "dialog-progress.png");
            WaitUntil([&] { return !pDialog->isVisible(); });
        }
        // A pipe named like a quarantine file cannot be copied: the import fails.
        const std::filesystem::path failing = m_work / "failing";
        WriteQuarantineFiles(failing, 9001, 2);
        ::mkfifo((failing / "Q9003.tmp").c_str(), 0600);
        CVaultfeedApp app(Vaultfeed::Bus::ConnectToService(), m_messageBoxes);
        const std::unique_ptr<QDialog> pDialog = app.CreateMainWindow({failing.string()});
        Show(*pDialog);
        if (!WaitUntil([&] { return Child<QLabel>(*pDialog, "resumeSetup").isVisible(); }))
            throw std::runtime_error("the dialog showed no error");
        Save(*pDialog, "dialog-error.png");
    }

private:
    static testsupport::MemoryResource ProductResource(std::wstring strName, std::wstring strNetworkName)
    {
        return {std::move(strName),
                L"Velmora service 4.1.0.0",
                {{L"NetworkName", platform::Variant::String(std::move(strNetworkName))}}};
    }

    // At the size the window asks for: the screen of no display is smaller than most, and would
    // hold it to two thirds of its width.
    static void Show(QWidget& window)
    {
        window.show();
        window.resize(window.sizeHint());
    }

    // Once the bar is well on its way.
    void SaveInProgress(QWidget& window, const char* szName)
    {
        if (!WaitUntil([&] { return Child<QProgressBar>(window, "progress").value() >= 40; }))
            throw std::runtime_error("the import made no progress");
        Save(window, szName);
    }

    std::filesystem::path m_work;
    std::filesystem::path m_output;
    CSilentMessageBoxes m_messageBoxes;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fputs("Usage: vaultfeed_screenshots WORK_FOLDER OUTPUT_FOLDER\n", stderr);
        return 2;
    }
    int iQtArgc = 1;
    const QApplication application(iQtArgc, argv);
    // The same face wherever the pictures are made.
    QApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 9));
    try {
        CScreenshots screenshots(argv[1], argv[2]);
        screenshots.Wizard();
        screenshots.NetworkNamePage();
        screenshots.Dialog();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vaultfeed_screenshots: %s\n", e.what());
        return 1;
    }
    return 0;
}
