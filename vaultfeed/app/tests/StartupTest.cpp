// Start-up with a display: the window chosen for each command line on and off a cluster node, the
// import's parameters, and the message box of each start-up failure.

#include "AppBench.h"
#include "TestClasses.h"
#include "WindowKinds.h"
#include "common/ComError.h"
#include "platform/ErrorInfo.h"

#include <QTest>

using namespace VaultfeedAppTests;

class StartupTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void ChoosesTheWindowAndTheParameters_data();
    void ChoosesTheWindowAndTheParameters();
    void ShowsEachFailureAndEndsWithoutAWindow_data();
    void ShowsEachFailureAndEndsWithoutAWindow();
    void AsksForTheComputerNameAgainWhileItDoesNotFit_data();
    void AsksForTheComputerNameAgainWhileItDoesNotFit();
};

void StartupTest::ChoosesTheWindowAndTheParameters_data()
{
    // "node", "closed" (installed, but it does not open: no node), or none.
    QTest::addColumn<QString>("strCluster");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("strWindow");
    QTest::addColumn<int>("iMode");
    QTest::addColumn<QString>("strSource");
    QTest::addColumn<QString>("strNetworkName");
    // Which option the folder page shows checked, when there is one.
    QTest::addColumn<QString>("strOption");

    const QString strWizard = QStringLiteral("welcome, folder, progress, finish");
    const QString strClusterWizard = QStringLiteral("welcome, network name, progress, finish");
    QTest::newRow("no argument") << "" << QStringList{} << strWizard << 0 << ""
                                 << "VELHOST"
                                 << "first";
    QTest::newRow("one argument") << "" << QStringList{"/srv/in"} << "dialog" << -1 << "/srv/in"
                                  << "VELHOST"
                                  << "";
    QTest::newRow("one argument on a cluster node")
        << "node" << QStringList{"/srv/in"} << strClusterWizard << -1 << "/srv/in"
        << ""
        << "";
    QTest::newRow("two arguments off a cluster")
        << "" << QStringList{"/srv/in", "MAILNODE", "more"} << "dialog" << -1 << "/srv/in"
        << "VELHOST"
        << "";
    QTest::newRow("two arguments on a cluster node")
        << "node" << QStringList{"/srv/in", "MAILNODE"} << "dialog" << -1 << "/srv/in"
        << "MAILNODE"
        << "";
    QTest::newRow("no argument on a cluster node")
        << "node" << QStringList{} << "welcome, folder, network name, progress, finish" << 0 << ""
        << ""
        << "first";
    QTest::newRow("an empty first argument") << "" << QStringList{""} << strWizard << -1 << ""
                                             << "VELHOST"
                                             << "none";
    QTest::newRow("one argument where the cluster does not open")
        << "closed" << QStringList{"/srv/in"} << "dialog" << -1 << "/srv/in"
        << "VELHOST"
        << "";
    QTest::newRow("an empty network name on a cluster node")
        << "node" << QStringList{"/srv/in", ""} << strClusterWizard << -1 << "/srv/in"
        << ""
        << "";
}

void StartupTest::ChoosesTheWindowAndTheParameters()
{
    QFETCH(QString, strCluster);
    QFETCH(QStringList, arguments);
    QFETCH(QString, strOption);
    CAppBench bench;
    if (strCluster == "node")
        bench.InstallCluster();
    if (strCluster == "closed")
        bench.InstallCluster({E_FAIL, {}, {}, {}});
    const std::unique_ptr<QDialog> pWindow = bench.m_app.CreateMainWindow(Arguments(arguments));
    QVERIFY(pWindow);
    QTEST(WindowKind(*pWindow), "strWindow");
    const Vaultfeed::ImportParameters& params = bench.m_app.Parameters();
    QTEST(static_cast<int>(params.lMode), "iMode");
    QTEST(QString::fromStdString(params.strSourceFolder), "strSource");
    QTEST(QString::fromStdWString(params.strNetworkName), "strNetworkName");
    QCOMPARE(params.strQuarantineFolder, bench.Quarantine().string());
    QCOMPARE(bench.m_messageBoxes.shown, QStringList{});
    if (!strOption.isEmpty()) {
        // As the user finds it on reaching the folder page.
        auto& wizard = dynamic_cast<QWizard&>(*pWindow);
        wizard.show();
        wizard.next();
        QCOMPARE(CurrentPageKind(wizard), QStringLiteral("folder"));
        QCOMPARE(CheckedFolderOption(wizard), strOption);
    }
}

void StartupTest::ShowsEachFailureAndEndsWithoutAWindow_data()
{
    QTest::addColumn<QString>("strFailure");
    QTest::addColumn<QStringList>("shown");

    QTest::newRow("no service")
        << "service"
        << QStringList{
               "exclamation: Com Error:0x800706ba,'The RPC server is unavailable.','org.vestrel.Velmora.ClassFactory',"
               "'No bus at unix:path=/nonexistent'"};
    QTest::newRow("no configuration") << "configuration"
                                      << QStringList{"exclamation: Com Error:0x80004005,'Unspecified error','',''"};
    QTest::newRow("no computer name") << "computer name"
                                      << QStringList{"exclamation: Failed to read product configuration."};
}

void StartupTest::ShowsEachFailureAndEndsWithoutAWindow()
{
    QFETCH(QString, strFailure);
    CAppBench bench;
    if (strFailure == "service")
        bench.m_pService->FailCall(
            L"CreateInstance ServiceRoot", RPC_E_SERVER_UNAVAILABLE,
            platform::ErrorInfo{L"org.vestrel.Velmora.ClassFactory", L"No bus at unix:path=/nonexistent"});
    else if (strFailure == "configuration")
        bench.m_pService->FailCall(L"GetQuarantineFolder", E_FAIL);
    else
        bench.m_pNetApi->dwComputerNameError = 5;
    // The command line would have asked for no window at all.
    QCOMPARE(bench.m_app.InitInstance({"/srv/in"}), 3);
    QTEST(bench.m_messageBoxes.shown, "shown");
    QVERIFY(!bench.m_app.Result());
}

void StartupTest::AsksForTheComputerNameAgainWhileItDoesNotFit_data()
{
    QTest::addColumn<int>("nLength");
    QTest::addColumn<QStringList>("calls");

    QTest::newRow("15 characters") << 15 << QStringList{"GetComputerNameExW(0, 16)"};
    QTest::newRow("16 characters") << 16 << QStringList{"GetComputerNameExW(0, 16)", "GetComputerNameExW(0, 1040)"};
    QTest::newRow("2000 characters") << 2000
                                     << QStringList{"GetComputerNameExW(0, 16)", "GetComputerNameExW(0, 1040)",
                                                    "GetComputerNameExW(0, 2064)"};
}

void StartupTest::AsksForTheComputerNameAgainWhileItDoesNotFit()
{
    QFETCH(int, nLength);
    CAppBench bench;
    std::wstring strName;
    for (int i = 0; i < nLength; ++i)
        strName += static_cast<wchar_t>(L'A' + i % 26);
    bench.m_pNetApi->strComputerName = strName;
    QVERIFY(bench.m_app.CreateMainWindow({"/srv/in"}));
    QCOMPARE(bench.m_app.Parameters().strNetworkName, strName);
    QStringList calls;
    for (const std::wstring& strCall : bench.m_pNetApi->Calls())
        calls.append(QString::fromStdWString(strCall));
    QTEST(calls, "calls");
}

VAULTFEED_TEST_CLASS(StartupTest);

#include "StartupTest.moc"
