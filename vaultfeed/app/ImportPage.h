#pragma once
// A page of the import wizard: told each time it becomes the current page, and asked whether the
// wizard may close when the user cancels on it.

#include <QWizardPage>

namespace Vaultfeed {

class CSheetImport;

class CImportPage : public QWizardPage
{
public:
    // Sets the wizard's buttons; a page that sets none leaves them as the previous page set them.
    virtual void OnSetActive() {}
    // True when the wizard may close now.
    virtual bool OnQueryCancel() { return true; }

protected:
    CSheetImport& Sheet() const;
};

} // namespace Vaultfeed
