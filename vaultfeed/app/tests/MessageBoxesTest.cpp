// The message boxes themselves, answered as a user would: their icon, title, text and buttons.

#include "vaultfeed/app/MessageBoxes.h"
#include "TestClasses.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

struct SeenBox
{
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString strTitle;
    QString strText;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

// Once the box is up, notes what it shows and presses the button.
void AnswerTheBox(SeenBox& seen, QMessageBox::StandardButton answer)
{
    QTimer::singleShot(0, [&seen, answer] {
        auto* pBox = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!pBox)
            return;
        seen = {pBox->icon(), pBox->windowTitle(), pBox->text(), pBox->standardButtons(),
                pBox->defaultButton() ? pBox->standardButton(pBox->defaultButton()) : QMessageBox::NoButton};
        pBox->button(answer)->click();
    });
}

} // namespace

class MessageBoxesTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void AQuestionDefaultsToNo_data();
    void AQuestionDefaultsToNo();
    void AWarningHasOnlyOk();
};

void MessageBoxesTest::AQuestionDefaultsToNo_data()
{
    QTest::addColumn<QMessageBox::StandardButton>("answer");
    QTest::addColumn<bool>("bYes");
    QTest::newRow("Yes") << QMessageBox::Yes << true;
    QTest::newRow("No") << QMessageBox::No << false;
}

void MessageBoxesTest::AQuestionDefaultsToNo()
{
    QFETCH(QMessageBox::StandardButton, answer);
    Vaultfeed::CMessageBoxes boxes;
    SeenBox seen;
    AnswerTheBox(seen, answer);
    QTEST(boxes.AskYesNo(nullptr, QStringLiteral("Are you sure you want to exit the wizard?")), "bYes");
    QCOMPARE(seen.icon, QMessageBox::Warning);
    QCOMPARE(seen.strTitle, QStringLiteral("Quarantine Import Wizard"));
    QCOMPARE(seen.strText, QStringLiteral("Are you sure you want to exit the wizard?"));
    QCOMPARE(seen.buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(seen.defaultButton, QMessageBox::No);
}

void MessageBoxesTest::AWarningHasOnlyOk()
{
    Vaultfeed::CMessageBoxes boxes;
    SeenBox seen;
    AnswerTheBox(seen, QMessageBox::Ok);
    boxes.ShowExclamation(nullptr, QStringLiteral("Please select an option."));
    QCOMPARE(seen.icon, QMessageBox::Warning);
    QCOMPARE(seen.strText, QStringLiteral("Please select an option."));
    QCOMPARE(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

VAULTFEED_TEST_CLASS(MessageBoxesTest);

#include "MessageBoxesTest.moc"
