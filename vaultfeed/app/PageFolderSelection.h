#pragma once
// The wizard's folder page: the files are already in the quarantine folder, or in a folder the user
// names or chooses.

#include "ImportPage.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace Vaultfeed {

class CVaultfeedApp;

class CPageFolderSelection : public CImportPage
{
public:
    explicit CPageFolderSelection(CVaultfeedApp& app);
    // The options show the mode: the first for 0, the second for 1, neither for -1. Only the second
    // lets the user name a folder.
    void initializePage() override;
    // Next: an option must be chosen, and with the second a folder named. The folder's existence is
    // left to the import.
    bool validatePage() override;

private:
    void EnableFolderControls(bool bEnable);
    void OnBrowse();

    CVaultfeedApp& m_app;
    QGridLayout m_layout;
    QRadioButton m_quarantineFolder;
    QRadioButton m_manualFolder;
    QLabel m_folderLabel;
    QLineEdit m_folder;
    QPushButton m_browse;
};

} // namespace Vaultfeed
