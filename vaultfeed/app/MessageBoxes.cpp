#include "vaultfeed/app/MessageBoxes.h"

#include "Texts.h"

#include <QMessageBox>

namespace Vaultfeed {

void CMessageBoxes::ShowExclamation(QWidget* pParent, const QString& strText)
{
    QMessageBox box(QMessageBox::Warning, Texts::kWizardCaption, strText, QMessageBox::Ok, pParent);
    // The text may carry the service's words: never markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool CMessageBoxes::AskYesNo(QWidget* pParent, const QString& strText)
{
    QMessageBox box(QMessageBox::Warning, Texts::kWizardCaption, strText, QMessageBox::Yes | QMessageBox::No, pParent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

} // namespace Vaultfeed
