// The wizard: the folder page's choices and messages, the buttons of each page, Next and Back, the
// import from the progress page to the finish page's report, and cancelling on each page.

#include "AppBench.h"
#include "Artwork.h"
#include "SheetImport.h"
#include "TestClasses.h"
#include "WindowKinds.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

using namespace VaultfeedAppTests;

namespace {

// The buttons shown, in the order they stand, each by its text; a disabled one in parentheses, the
// one the keyboard is on in brackets.
QString ShownButtons(const QWizard& wizard)
{
    QStringList texts;
    for (const QWizard::WizardButton which : {QWizard::BackButton, QWizard::NextButton, QWizard::CommitButton,
                                              QWizard::FinishButton, QWizard::CancelButton}) {
        const QAbstractButton* pButton = wizard.button(which);
        if (!pButton->isVisible())
            continue;
        const QString strText = pButton->text().remove(QLatin1Char('&'));
        if (!pButton->isEnabled())
            texts.append(QStringLiteral("(%1)").arg(strText));
        else if (wizard.focusWidget() == pButton)
            texts.append(QStringLiteral("[%1]").arg(strText));
        else
            texts.append(strText);
    }
    return texts.join(QStringLiteral(", "));
}

// Presses the button that reads Next, as the user does.
void PressNext(QWizard& wizard)
{
    for (const QWizard::WizardButton which : {QWizard::NextButton, QWizard::CommitButton}) {
        if (QAbstractButton* pButton = wizard.button(which); pButton->isVisible() && pButton->isEnabled()) {
            pButton->click();
            return;
        }
    }
    throw std::logic_error("no Next to press");
}

// The window of a command line, shown.
std::unique_ptr<QDialog> ShowWindow(CAppBench& bench, const QStringList& arguments)
{
    std::unique_ptr<QDialog> pWindow = bench.m_app.CreateMainWindow(Arguments(arguments));
    if (!pWindow)
        throw std::logic_error("no window");
    pWindow->show();
    return pWindow;
}

QWizard& AsWizard(QDialog& window)
{
    return dynamic_cast<QWizard&>(window);
}

// On the folder page: the option given ("first", "second" or none) and the folder typed.
void ChooseFolder(QWizard& wizard, const QString& strOption, const QString& strFolder)
{
    if (strOption == "first")
        Child<QRadioButton>(wizard, "quarantineFolderOption").click();
    else if (strOption == "second")
        Child<QRadioButton>(wizard, "manualFolderOption").click();
    Child<QLineEdit>(wizard, "sourceFolder").setText(strFolder);
}

// The current page's kind, and what the user chose on it.
QString PageState(const QWizard& wizard)
{
    const QString strPage = CurrentPageKind(wizard);
    if (strPage == "folder")
        return QStringLiteral("folder: %1, %2")
            .arg(CheckedFolderOption(wizard), Child<QLineEdit>(wizard, "sourceFolder").text());
    if (strPage == "network name") {
        const QComboBox& instances = Child<QComboBox>(wizard, "instances");
        QStringList listed;
        for (int i = 0; i < instances.count(); ++i)
            listed.append(instances.itemText(i));
        return QStringLiteral("network name: %1, %2, %3")
            .arg(listed.join(QLatin1Char('|')), instances.currentText(),
                 Child<QLineEdit>(wizard, "networkName").text());
    }
    return strPage;
}

QString ReportText(const QWidget& window)
{
    return Child<QLabel>(window, "reportText").text();
}

bool ShowsIcon(const QWidget& window, std::int32_t lSeverity)
{
    return Child<QLabel>(window, "reportIcon").pixmap().toImage() == Vaultfeed::ReportIcon(lSeverity).toImage();
}

} // namespace

class WizardTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void EachPageHasItsLook();
    void EachPageShowsItsOwnTexts();
    void TheFolderPageKeepsTheUserUntilTheChoiceIsComplete_data();
    void TheFolderPageKeepsTheUserUntilTheChoiceIsComplete();
    void OnlyTheSecondOptionLetsTheUserNameAFolder();
    void TheChooserStartsAtTheFolderTypedAndReplacesIt();
    void EachPageShowsTheButtonsTheUserCanPress_data();
    void EachPageShowsTheButtonsTheUserCanPress();
    void BackReturnsToThePreviousPageWithItsChoice();
    void TheImportEndsOnTheFinishPageWithItsReport_data();
    void TheImportEndsOnTheFinishPageWithItsReport();
    void OnAClusterNodeTheNetworkNameChosenIsTheImports();
    void CancelClosesAtOnceBeforeTheImport_data();
    void CancelClosesAtOnceBeforeTheImport();
    void CancelWhileImportingAsksAndStopsTheWorkerFirst();
};

// The exterior pages: the watermark and a bold title of their own, 12 points; the interior ones: a
// header with their title and subtitle.
void WizardTest::EachPageHasItsLook()
{
    CAppBench bench;
    bench.InstallCluster();
    const std::unique_ptr<QDialog> pWindow = ShowWindow(bench, {});
    QWizard& wizard = AsWizard(*pWindow);
    QCOMPARE(wizard.wizardStyle(), QWizard::ModernStyle);
    QCOMPARE(wizard.windowTitle(), QStringLiteral("Quarantine Import Wizard"));
    QStringList looks;
    for (const int iId : wizard.pageIds()) {
        const QWizardPage& page = *wizard.page(iId);
        QString strLook;
        if (!page.pixmap(QWizard::WatermarkPixmap).isNull()) {
            QVERIFY(page.pixmap(QWizard::WatermarkPixmap).toImage() == Vaultfeed::WatermarkPixmap().toImage());
            const QLabel& title = Child<QLabel>(page, "title");
            strLook = QStringLiteral("watermark, %1 %2 %3pt: %4")
                          .arg(title.font().family(), title.font().bold() ? "bold" : "regular")
                          .arg(title.font().pointSize())
                          .arg(title.text());
        } else {
            strLook = QStringLiteral("header: %1 / %2").arg(page.title(), page.subTitle());
        }
        looks.append(strLook);
    }
    const QStringList expected{
        "watermark, Verdana bold 12pt: Welcome to the Quarantine Import Wizard",
        "header: Source folder / Select the folder that contains the quarantine files that you want to import",
        "header: Network Name / Select the Cluster Group and Network Name cluster resource that corresponds to "
        "the Velmora installation",
        "header: Importing files / Please wait while importing data to the database",
        "watermark, Verdana bold 12pt: You have completed the Quarantine Import Wizard"};
    QCOMPARE(looks, expected);
}

// The labels and the buttons of each page's own, in the order they stand, "|" between them.
void WizardTest::EachPageShowsItsOwnTexts()
{
    CAppBench bench;
    bench.InstallCluster();
    const std::unique_ptr<QDialog> pWindow = ShowWindow(bench, {});
    QWizard& wizard = AsWizard(*pWindow);
    QStringList pages;
    for (const int iId : wizard.pageIds()) {
        QStringList texts;
        for (const QWidget* pWidget : wizard.page(iId)->findChildren<QWidget*>()) {
            if (const auto* pLabel = qobject_cast<const QLabel*>(pWidget); pLabel && !pLabel->text().isEmpty())
                texts.append(pLabel->text());
            else if (const auto* pButton = qobject_cast<const QAbstractButton*>(pWidget))
                texts.append(pButton->text());
        }
        pages.append(texts.join(QLatin1Char('|')));
    }
    const QStringList expected{
        "Welcome to the Quarantine Import Wizard|The Quarantine Import Wizard helps you import header data for "
        "quarantined files into the database. You can use this wizard for an upgrade or for recovery "
        "purposes.|To continue, click Next.",
        "The files that I want to import are already in the quarantine folder|Manually select the folder|Source "
        "folder :|Browse",
        "Instance:|Network name:", "Progress :",
        "You have completed the Quarantine Import Wizard|To close this wizard, click Finish."};
    QCOMPARE(pages, expected);
}

void WizardTest::TheFolderPageKeepsTheUserUntilTheChoiceIsComplete_data()
{
    QTest::addColumn<QString>("strOption");
    QTest::addColumn<QString>("strFolder");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QString>("strPage");
    QTest::addColumn<int>("iMode");
    QTest::addColumn<QString>("strSource");

    QTest::newRow("no option") << ""
                               << "/srv/in" << QStringList{"exclamation: Please select an option."} << "folder" << -1
                               << "";
    QTest::newRow("the second option without a folder")
        << "second"
        << "" << QStringList{"exclamation: Please input a source folder name."} << "folder" << 1 << "";
    QTest::newRow("the second option with a folder") << "second"
                                                     << "/srv/in" << QStringList{} << "progress" << 1 << "/srv/in";
    // The folder typed is not what this option imports from.
    QTest::newRow("the first option") << "first"
                                      << "/srv/in" << QStringList{} << "progress" << 0 << "";
}

void WizardTest::TheFolderPageKeepsTheUserUntilTheChoiceIsComplete()
{
    QFETCH(QString, strOption);
    QFETCH(QString, strFolder);
    CAppBench bench;
    // An empty first argument: the page starts with no option chosen.
    const std::unique_ptr<QDialog> pWindow = ShowWindow(bench, {""});
    QWizard& wizard = AsWizard(*pWindow);
    wizard.next();
    QCOMPARE(CurrentPageKind(wizard), QStringLiteral("folder"));
    ChooseFolder(wizard, strOption, strFolder);
    wizard.next();
    QTEST(bench.m_messageBoxes.shown, "shown");
    QTEST(CurrentPageKind(wizard), "strPage");
    QTEST(static_cast<int>(bench.m_app.Parameters().lMode), "iMode");
    QTEST(QString::fromStdString(bench.m_app.Parameters().strSourceFolder), "strSource");
}

void WizardTest::OnlyTheSecondOptionLetsTheUserNameAFolder()
{
    CAppBench bench;
    const std::unique_ptr<QDialog> pWindow = ShowWindow(bench, {});
    QWizard& wizard = AsWizard(*pWindow);
    wizard.next();
    const auto folderControlsEnabled = [&] {
        QStringList enabled;
        for (const char* szName : {"sourceFolder", "browse"})
            enabled.append(Child<QWidget>(wizard, szName).isEnabled() ? "enabled" : "disabled");
        return enabled.join(QLatin1Char(' '));
    };
    QCOMPARE(folderControlsEnabled(), QStringLiteral("disabled disabled"));
    ChooseFolder(wizard, "second", "");
    QCOMPARE(folderControlsEnabled(), QStringLiteral("enabled enabled"));
    ChooseFolder(wizard, "first", "");
    QCOMPARE(folderControlsEnabled(), QStringLiteral("disabled disabled"));
}

void WizardTest::TheChooserStartsAtTheFolderTypedAndReplacesIt()
{
    CAppBench bench;
    const std::filesystem::path typed = bench.SourceFolder("typed", 0);
    const std::filesystem::path chosen = bench.SourceFolder("chosen", 0);
    const std::unique_ptr<QDialog> pWindow = ShowWindow(bench, {});
    QWizard& wizard = AsWizard(*pWindow);
    wizard.next();
    ChooseFolder(wizard, "second", QString::fromStdString(typed.string()));
    QString strTitle;
    QString strStart;
    QTimer::singleShot(0, [&] {
        auto* pChooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!pChooser)
            return;
        strTitle = pChooser->windowTitle();
        strStart = pChooser->directory().absolutePath();
        pChooser->setDirectory(QString::fromStdString(chosen.string()));
        static_cast<QDialog*>(pChooser)->accept();
    });
    Child<QPushButton>(wizard, "browse").click();
    QCOMPARE(strTitle, QStringLiteral("Select the source folder :"));
    QCOMPARE(strStart, QString::fromStdString(typed.string()));
    QCOMPARE(Child<QLineEdit>(wizard, "sourceFolder").text(), QString::fromStdString(chosen.string()));
}

void WizardTest::EachPageShowsTheButtonsTheUserCanPress_data()
{
    QTest::addColumn<bool>("bClusterNode");
    QTest::addColumn<QStringList>("arguments");
    // Each page's buttons, as the user walks through the wizard.
    QTest::addColumn<QStringList>("buttons");

    // Next, whichever page leads into the import; no way back once it runs, and none out once it is
    // over. The keyboard is on a page's first control, else on the button to press.
    QTest::newRow("off a cluster") << false << QStringList{}
                                   << QStringList{"welcome: (< Back), [Next >], Cancel",
                                                  "folder: < Back, Next >, Cancel",
                                                  "progress: (< Back), (Next >), [Cancel]",
                                                  "finish: (< Back), [Finish], (Cancel)"};
    // The network-name page keeps the buttons of the page before it.
    QTest::newRow("on a cluster node, after the folder page")
        << true << QStringList{}
        << QStringList{"welcome: (< Back), [Next >], Cancel", "folder: < Back, Next >, Cancel",
                       "network name: < Back, Next >, Cancel", "progress: (< Back), (Next >), [Cancel]",
                       "finish: (< Back), [Finish], (Cancel)"};
    QTest::newRow("on a cluster node, after the welcome page")
        << true << QStringList{"SOURCE"}
        << QStringList{"welcome: (< Back), [Next >], Cancel", "network name: (< Back), Next >, Cancel",
                       "progress: (< Back), (Next >), [Cancel]", "finish: (< Back), [Finish], (Cancel)"};
}

void WizardTest::EachPageShowsTheButtonsTheUserCanPress()
{
    QFETCH(bool, bClusterNode);
    QFETCH(QStringList, arguments);
    CAppBench bench;
    if (bClusterNode)
        bench.InstallCluster(ClusterOf({ProductResource(L"Velmora", L"MAILNODE")}));
    // The import waits for the test, so that the progress page can be seen running.
    CGate gate;
    bench.m_pService->OnImportFile([&gate](const std::wstring&) { gate.Wait(); });
    const std::filesystem::path source = bench.SourceFolder("source", 1);
    arguments.replaceInStrings(QStringLiteral("SOURCE"), QString::fromStdString(source.string()));
    const std::unique_ptr<QDialog> pWindow = ShowWindow(bench, arguments);
    QWizard& wizard = AsWizard(*pWindow);
    QStringList buttons;
    for (;;) {
        const QString strPage = CurrentPageKind(wizard);
        buttons.append(strPage + ": " + ShownButtons(wizard));
        if (strPage == "finish")
            break;
        if (strPage == "folder")
            ChooseFolder(wizard, "second", QString::fromStdString(source.string()));
        if (strPage == "progress") {
            gate.Open();
            QVERIFY(WaitFor([&] { return CurrentPageKind(wizard) == "finish"; }));
        } else {
            PressNext(wizard);
        }
    }
    gate.Open();
    QTEST(buttons, "buttons");
}

// Back leads from the network-name page to the folder page and on to the welcome page; each page
// is found again as the user left it, whichever way the user came.
void WizardTest::BackReturnsToThePreviousPageWithItsChoice()
{
    CAppBench bench;
    bench.InstallCluster(ClusterOf({ProductResource(L"Alpha", L"ANODE"), ProductResource(L"Beta", L"BNODE")}));
    const std::unique_ptr<QDialog> pWindow = ShowWindow(bench, {});
    QWizard& wizard = AsWizard(*pWindow);
    QStringList walk;
    const auto note = [&] { walk.append(PageState(wizard)); };
    PressNext(wizard);
    ChooseFolder(wizard, "second", "/srv/in");
    PressNext(wizard);
    QTest::keyClick(&Child<QComboBox>(wizard, "instances"), Qt::Key_Down);
    note();
    wizard.button(QWizard::BackButton)->click();
    note();
    // Changed, and left by Back: not taken, but kept.
    ChooseFolder(wizard, "first", "/srv/in");
    wizard.button(QWizard::BackButton)->click();
    note();
    PressNext(wizard);
    note();
    PressNext(wizard);
    note();
    const QStringList expected{"network name: Alpha|Beta, Beta, BNODE", "folder: second, /srv/in", "welcome",
                               "folder: first, /srv/in", "network name: Alpha|Beta, Beta, BNODE"};
    QCOMPARE(walk, expected);
}

void WizardTest::TheImportEndsOnTheFinishPageWithItsReport_data()
{
    QTest::addColumn<QString>("strAnswer");
    QTest::addColumn<QString>("strReport");
    QTest::addColumn<int>("iSeverity");

    QTest::newRow("success") << ""
                             << "2 files processed\n2 files imported successfuly" << 0;
    QTest::newRow("warning") << "known"
                             << "2 files processed\n1 files are already in the database\n"
                                "1 files imported successfuly"
                             << 1;
    QTest::newRow("error") << "failed"
                           << "2 files processed\n1 files failed to import\n1 files imported successfuly" << 2;
}

void WizardTest::TheImportEndsOnTheFinishPageWithItsReport()
{
    QFETCH(QString, strAnswer);
    QFETCH(int, iSeverity);
    CAppBench bench;
    const std::filesystem::path source = bench.SourceFolder("source", 2);
    if (strAnswer == "known")
        bench.m_pService->AnswerKnown(L"Q2.tmp", {S_OK, platform::Variant::Int32(1)});
    else if (strAnswer == "failed")
        bench.m_pService->AnswerImport(L"Q2.tmp", {E_FAIL, {}});
    const std::unique_ptr<QDialog> pWindow = ShowWindow(bench, {});
    QWizard& wizard = AsWizard(*pWindow);
    wizard.next();
    ChooseFolder(wizard, "second", QString::fromStdString(source.string()));
    wizard.next();
    QVERIFY(WaitFor([&] { return CurrentPageKind(wizard) == "finish"; }));
    QTEST(ReportText(wizard), "strReport");
    QVERIFY(ShowsIcon(wizard, iSeverity));
    wizard.button(QWizard::FinishButton)->click();
    QCOMPARE(wizard.result(), static_cast<int>(QDialog::Accepted));
    QCOMPARE(bench.m_app.ExitStatus(), iSeverity);
}

void WizardTest::OnAClusterNodeTheNetworkNameChosenIsTheImports()
{
    CAppBench bench;
    bench.InstallCluster(ClusterOf({ProductResource(L"Velmora", L"MAILNODE")}));
    const std::filesystem::path source = bench.SourceFolder("source", 1);
    const std::unique_ptr<QDialog> pWindow = ShowWindow(bench, {QString::fromStdString(source.string())});
    QWizard& wizard = AsWizard(*pWindow);
    wizard.next();
    wizard.next();
    QVERIFY(WaitFor([&] { return CurrentPageKind(wizard) == "finish"; }));
    QCOMPARE(ReportText(wizard), QStringLiteral("1 files processed\n1 files imported successfuly"));
    const std::vector<std::wstring> expected{L"IsFileKnown Q1.tmp", L"ImportFile Q1.tmp MAILNODE context#1"};
    QVERIFY(bench.m_pService->FileCalls() == expected);
}

void WizardTest::CancelClosesAtOnceBeforeTheImport_data()
{
    QTest::addColumn<int>("nNext");
    QTest::newRow("welcome") << 0;
    QTest::newRow("folder") << 1;
    QTest::newRow("network name") << 2;
}

void WizardTest::CancelClosesAtOnceBeforeTheImport()
{
    QFETCH(int, nNext);
    CAppBench bench;
    bench.InstallCluster();
    const std::unique_ptr<QDialog> pWindow = ShowWindow(bench, {});
    QWizard& wizard = AsWizard(*pWindow);
    for (int i = 0; i < nNext; ++i) {
        ChooseFolder(wizard, "first", "");
        wizard.next();
    }
    QCOMPARE(CurrentPageKind(wizard), QString::fromLatin1(QTest::currentDataTag()));
    wizard.button(QWizard::CancelButton)->click();
    QVERIFY(!wizard.isVisible());
    QCOMPARE(wizard.result(), static_cast<int>(QDialog::Rejected));
    QCOMPARE(bench.m_messageBoxes.shown, QStringList{});
    QCOMPARE(bench.m_app.ExitStatus(), 3);
    QVERIFY(bench.m_pService->FileCalls().empty());
}

void WizardTest::CancelWhileImportingAsksAndStopsTheWorkerFirst()
{
    CAppBench bench;
    CGate gate;
    bench.m_pService->OnImportFile([&gate](const std::wstring&) { gate.Wait(); });
    const std::filesystem::path source = bench.SourceFolder("source", 20);
    std::unique_ptr<QDialog> pWindow = ShowWindow(bench, {});
    QWizard& wizard = AsWizard(*pWindow);
    wizard.next();
    ChooseFolder(wizard, "second", QString::fromStdString(source.string()));
    wizard.next();
    QVERIFY(WaitFor([&] { return bench.m_pService->FileCalls().size() == 2; }));

    // No: the import goes on.
    wizard.button(QWizard::CancelButton)->click();
    QCOMPARE(bench.m_messageBoxes.shown, QStringList{"question: Are you sure you want to exit the wizard?"});
    QVERIFY(wizard.isVisible());
    QCOMPARE(CurrentPageKind(wizard), QStringLiteral("progress"));

    // Closing the window asks the same; Yes stops the worker before the wizard goes.
    bench.m_messageBoxes.answer = [&gate] {
        gate.Open();
        return true;
    };
    wizard.close();
    QVERIFY(!wizard.isVisible());
    QCOMPARE(bench.m_messageBoxes.shown.size(), 2);
    const std::vector<std::wstring> calls = bench.m_pService->FileCalls();
    // The window's end, which would stop a worker still running, finds none: no call followed.
    pWindow.reset();
    QVERIFY(bench.m_pService->FileCalls() == calls);
    // The gate opens just before the worker is asked to stop: it may have begun the next file.
    QVERIFY(calls.size() < 2 * 20);
    QVERIFY(!bench.m_app.Result());
    QCOMPARE(bench.m_app.ExitStatus(), 3);
}

VAULTFEED_TEST_CLASS(WizardTest);

#include "WizardTest.moc"
