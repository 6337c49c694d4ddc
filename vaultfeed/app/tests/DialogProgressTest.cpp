// The unattended progress dialog: its two endings, its error view, and cancelling it.

#include "AppBench.h"
#include "Artwork.h"
#include "TestClasses.h"
#include "WindowKinds.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

using namespace VaultfeedAppTests;

namespace {

std::unique_ptr<QDialog> ShowDialog(CAppBench& bench, const std::filesystem::path& source)
{
    std::unique_ptr<QDialog> pWindow = bench.m_app.CreateMainWindow({source.string()});
    if (!pWindow || WindowKind(*pWindow) != "dialog")
        throw std::logic_error("no progress dialog");
    pWindow->show();
    return pWindow;
}

// What the dialog shows, each visible control by name.
QStringList VisibleControls(const QDialog& dialog)
{
    QStringList names;
    for (const char* szName : {"progress", "reportIcon", "reportText", "resumeSetup"}) {
        if (Child<QWidget>(dialog, szName).isVisible())
            names.append(QString::fromLatin1(szName));
    }
    return names;
}

} // namespace

class DialogProgressTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void ClosesByItselfUnlessTheReportIsAnError_data();
    void ClosesByItselfUnlessTheReportIsAnError();
    void TheErrorViewWaitsForOk();
    void CancelWhileImportingAsksAndStopsTheWorkerFirst();
};

void DialogProgressTest::ClosesByItselfUnlessTheReportIsAnError_data()
{
    QTest::addColumn<QString>("strAnswer");
    QTest::addColumn<bool>("bClosed");
    QTest::addColumn<int>("iSeverity");

    QTest::newRow("success") << "" << true << 0;
    QTest::newRow("warning") << "known" << true << 1;
    QTest::newRow("error") << "failed" << false << 2;
}

void DialogProgressTest::ClosesByItselfUnlessTheReportIsAnError()
{
    QFETCH(QString, strAnswer);
    QFETCH(bool, bClosed);
    CAppBench bench;
    const std::filesystem::path source = bench.SourceFolder("source", 2);
    if (strAnswer == "known")
        bench.m_pService->AnswerKnown(L"Q1.tmp", {S_OK, platform::Variant::Int32(1)});
    else if (strAnswer == "failed")
        bench.m_pService->AnswerImport(L"Q1.tmp", {E_FAIL, {}});
    const std::unique_ptr<QDialog> pDialog = ShowDialog(bench, source);
    QVERIFY(WaitFor([&] { return bench.m_app.Result().has_value(); }));
    QCOMPARE(!pDialog->isVisible(), bClosed);
    if (bClosed)
        QCOMPARE(pDialog->result(), static_cast<int>(QDialog::Accepted));
    QTEST(bench.m_app.ExitStatus(), "iSeverity");
    QCOMPARE(bench.m_messageBoxes.shown, QStringList{});
}

void DialogProgressTest::TheErrorViewWaitsForOk()
{
    CAppBench bench;
    const std::unique_ptr<QDialog> pDialog = ShowDialog(bench, bench.m_scratch.Path() / "missing");
    QCOMPARE(pDialog->windowTitle(), QStringLiteral("Importing quarantine files"));
    QCOMPARE(VisibleControls(*pDialog), QStringList{"progress"});
    QPushButton& ok = Child<QPushButton>(*pDialog, "ok");
    QPushButton& cancel = Child<QPushButton>(*pDialog, "cancel");
    QCOMPARE(ok.text() + "|" + cancel.text(), QStringLiteral("OK|Cancel"));
    QVERIFY(!ok.isEnabled());
    QVERIFY(cancel.isEnabled());

    QVERIFY(WaitFor([&] { return Child<QWidget>(*pDialog, "resumeSetup").isVisible(); }));
    QCOMPARE(VisibleControls(*pDialog), (QStringList{"reportIcon", "reportText", "resumeSetup"}));
    QCOMPARE(Child<QLabel>(*pDialog, "reportText").text(), QStringLiteral("Error: invalid input argument."));
    QVERIFY(Child<QLabel>(*pDialog, "reportIcon").pixmap().toImage() ==
            Vaultfeed::ReportIcon(Vaultfeed::kSeverityError).toImage());
    QCOMPARE(Child<QLabel>(*pDialog, "resumeSetup").text(),
             QStringLiteral("Failed to import files. Press OK to resume product setup."));
    QVERIFY(ok.isEnabled() && ok.isDefault() && ok.hasFocus());
    QVERIFY(!cancel.isEnabled() && !cancel.isDefault());

    QTest::keyClick(pDialog.get(), Qt::Key_Return);
    QVERIFY(!pDialog->isVisible());
    QCOMPARE(pDialog->result(), static_cast<int>(QDialog::Accepted));
    QCOMPARE(bench.m_app.ExitStatus(), 2);
}

void DialogProgressTest::CancelWhileImportingAsksAndStopsTheWorkerFirst()
{
    CAppBench bench;
    CGate gate;
    bench.m_pService->OnImportFile([&gate](const std::wstring&) { gate.Wait(); });
    std::unique_ptr<QDialog> pDialog = ShowDialog(bench, bench.SourceFolder("source", 20));
    QVERIFY(WaitFor([&] { return bench.m_pService->FileCalls().size() == 2; }));

    // The button and Escape ask alike; No keeps the dialog and the import.
    Child<QPushButton>(*pDialog, "cancel").click();
    QTest::keyClick(pDialog.get(), Qt::Key_Escape);
    const QString strQuestion = QStringLiteral("question: Are you sure you want to exit the wizard?");
    QCOMPARE(bench.m_messageBoxes.shown, (QStringList{strQuestion, strQuestion}));
    QVERIFY(pDialog->isVisible());

    bench.m_messageBoxes.answer = [&gate] {
        gate.Open();
        return true;
    };
    pDialog->close();
    QVERIFY(!pDialog->isVisible());
    QCOMPARE(pDialog->result(), static_cast<int>(QDialog::Rejected));
    const std::vector<std::wstring> calls = bench.m_pService->FileCalls();
    // The dialog's end, which would stop a worker still running, finds none: no call followed.
    pDialog.reset();
    QVERIFY(bench.m_pService->FileCalls() == calls);
    // The gate opens just before the worker is asked to stop: it may have begun the next file.
    QVERIFY(calls.size() < 2 * 20);
    QCOMPARE(bench.m_app.ExitStatus(), 3);
}

VAULTFEED_TEST_CLASS(DialogProgressTest);

#include "DialogProgressTest.moc"
