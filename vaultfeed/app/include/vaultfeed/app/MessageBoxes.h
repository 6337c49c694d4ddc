#pragma once
// The message boxes vaultfeed shows: a warning to acknowledge, and a question to answer with Yes or
// No. The windows ask through this interface, so that tests can answer instead of a user.

#include <QString>

class QWidget;

namespace Vaultfeed {

class IMessageBoxes
{
public:
    virtual ~IMessageBoxes() = default;
    // The text with the exclamation icon and OK, modal to the parent (or to the whole program).
    virtual void ShowExclamation(QWidget* pParent, const QString& strText) = 0;
    // The question with the exclamation icon, Yes and No, No the default; true for Yes.
    virtual bool AskYesNo(QWidget* pParent, const QString& strText) = 0;
};

// Qt's message boxes, titled with the wizard's caption.
class CMessageBoxes : public IMessageBoxes
{
public:
    void ShowExclamation(QWidget* pParent, const QString& strText) override;
    bool AskYesNo(QWidget* pParent, const QString& strText) override;
};

} // namespace Vaultfeed
