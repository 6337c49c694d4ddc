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
    Qt::TextFormat textFormat = Qt::AutoText;
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
        seen = {pBox->icon(),
                pBox->windowTitle(),
                pBox->text(),
                pBox->textFormat(),
                pBox->standardButtons(),
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
    QCOMPARE(seen.textFormat, Qt::PlainText);
    QCOMPARE(seen.buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(seen.defaultButton, QMessageBox::No);
}

void MessageBoxesTest::AWarningHasOnlyOk()
{
    Vaultfeed::CMessageBoxes boxes;
    SeenBox seen;
    AnswerTheBox(seen, QMessageBox::Ok);
    // A service's description that looks like markup is shown as the characters it is.
    const QString strText = QStringLiteral("Com Error:0x80004005,'Unspecified error','','<b>999</b> files imported'");
    boxes.ShowExclamation(nullptr, strText);
    QCOMPARE(seen.icon, QMessageBox::Warning);
    QCOMPARE(seen.strText, strText);
    QCOMPARE(seen.textFormat, Qt::PlainText);
    QCOMPARE(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

VAULTFEED_TEST_CLASS(MessageBoxesTest);

#include "MessageBoxesTest.moc"
