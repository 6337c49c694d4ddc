#pragma once
// A page of the import wizard, asked whether the wizard may close when the user cancels on it.

#include <QWizardPage>

namespace Vaultfeed {

class CImportPage : public QWizardPage
{
public:
    // True when the wizard may close now.
    virtual bool OnQueryCancel() { return true; }
};

} // namespace Vaultfeed
