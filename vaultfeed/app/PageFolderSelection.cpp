#include "PageFolderSelection.h"

#include "DialogUnits.h"
#include "Texts.h"
#include "vaultfeed/app/VaultfeedApp.h"

#include <QFile>
#include <QFileDialog>

namespace Vaultfeed {

CPageFolderSelection::CPageFolderSelection(CVaultfeedApp& app)
    : m_app(app), m_layout(this), m_quarantineFolder(Texts::kOptionQuarantineFolder),
      m_manualFolder(Texts::kOptionManualFolder), m_folderLabel(Texts::kSourceFolderLabel), m_browse(Texts::kBrowse)
{
    setTitle(Texts::kFolderTitle);
    setSubTitle(Texts::kFolderSubtitle);
    setMinimumSize(FromDialogUnits(font(), 317, 143));
    m_quarantineFolder.setObjectName(QStringLiteral("quarantineFolderOption"));
    m_manualFolder.setObjectName(QStringLiteral("manualFolderOption"));
    m_folder.setObjectName(QStringLiteral("sourceFolder"));
    m_browse.setObjectName(QStringLiteral("browse"));
    m_browse.setAutoDefault(false);

    m_layout.addWidget(&m_quarantineFolder, 0, 0, 1, 3);
    m_layout.addWidget(&m_manualFolder, 1, 0, 1, 3);
    m_layout.addWidget(&m_folderLabel, 2, 0);
    m_layout.addWidget(&m_folder, 2, 1);
    m_layout.addWidget(&m_browse, 2, 2);
    m_layout.setColumnStretch(1, 1);
    m_layout.setRowStretch(3, 1);

    // By mouse or by keyboard, an option chosen is an option checked.
    for (QRadioButton* pOption : {&m_quarantineFolder, &m_manualFolder}) {
        connect(pOption, &QRadioButton::toggled, this, [this](bool bChecked) {
            if (bChecked)
                EnableFolderControls(m_manualFolder.isChecked());
        });
    }
    connect(&m_browse, &QPushButton::clicked, this, [this] { OnBrowse(); });
}

void CPageFolderSelection::initializePage()
{
    const std::int32_t lMode = m_app.Parameters().lMode;
    m_quarantineFolder.setChecked(lMode == kModeQuarantineFolder);
    m_manualFolder.setChecked(lMode == kModeManualFolder);
    EnableFolderControls(lMode == kModeManualFolder);
}

bool CPageFolderSelection::validatePage()
{
    ImportParameters& params = m_app.Parameters();
    if (m_quarantineFolder.isChecked()) {
        params.lMode = kModeQuarantineFolder;
    } else if (m_manualFolder.isChecked()) {
        params.lMode = kModeManualFolder;
    } else {
        m_app.MessageBoxes().ShowExclamation(wizard(), Texts::kSelectAnOption);
        return false;
    }
    if (params.lMode == kModeManualFolder) {
        params.strSourceFolder = QFile::encodeName(m_folder.text()).toStdString();
        if (params.strSourceFolder.empty()) {
            m_app.MessageBoxes().ShowExclamation(wizard(), Texts::kInputAFolder);
            return false;
        }
    }
    return true;
}

void CPageFolderSelection::EnableFolderControls(bool bEnable)
{
    for (QWidget* pControl : std::initializer_list<QWidget*>{&m_folderLabel, &m_folder, &m_browse})
        pControl->setEnabled(bEnable);
}

// The chooser starts at the folder already named, and offers folders only.
void CPageFolderSelection::OnBrowse()
{
    QFileDialog chooser(wizard(), Texts::kChooserTitle, m_folder.text());
    chooser.setFileMode(QFileDialog::Directory);
    chooser.setOption(QFileDialog::ShowDirsOnly);
    if (chooser.exec() == QDialog::Accepted && !chooser.selectedFiles().isEmpty())
        m_folder.setText(chooser.selectedFiles().constFirst());
}

} // namespace Vaultfeed
