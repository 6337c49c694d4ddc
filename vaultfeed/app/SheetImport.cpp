#include "SheetImport.h"

#include "Artwork.h"
#include "ImportPage.h"
#include "PageFinish.h"
#include "PageFolderSelection.h"
#include "PageNetNameSelection.h"
#include "PageProgress.h"
#include "PageWelcome.h"
#include "Texts.h"
#include "VaultfeedApp.h"

#include <QAbstractButton>

namespace Vaultfeed {

// The wizard owns its pages, as Qt's wizards do: each is handed over as it is made.
CSheetImport::CSheetImport(CVaultfeedApp& app)
{
    setWizardStyle(ModernStyle);
    // A page keeps what the user chose on it while the user goes back and forth.
    setOption(IndependentPages);
    setWindowTitle(Texts::kWizardCaption);
    setWindowIcon(ProgramIcon());
    setPixmap(LogoPixmap, HeaderPixmap());
    addPage(new CPageWelcome(app));
    if (app.Parameters().strSourceFolder.empty())
        addPage(new CPageFolderSelection(app));
    if (app.Parameters().strNetworkName.empty())
        addPage(new CPageNetNameSelection(app));
    addPage(new CPageProgress(app));
    addPage(new CPageFinish(app));
    // Emitted once the wizard has set the new page's buttons its own way, which the page then
    // overrides.
    connect(this, &QWizard::currentIdChanged, this, [this] { OnCurrentPageChanged(); });
}

void CSheetImport::SetWizardButtons(unsigned uButtons)
{
    m_uButtons = uButtons;
    ApplyWizardButtons();
}

void CSheetImport::reject()
{
    if (auto* pPage = dynamic_cast<CImportPage*>(currentPage()); pPage && !pPage->OnQueryCancel())
        return;
    QWizard::reject();
}

void CSheetImport::OnCurrentPageChanged()
{
    auto* pPage = dynamic_cast<CImportPage*>(currentPage());
    if (!pPage)
        return;
    pPage->OnSetActive();
    ApplyWizardButtons();
}

void CSheetImport::ApplyWizardButtons()
{
    button(BackButton)->setEnabled(m_uButtons & kButtonBack);
    button(NextButton)->setEnabled(m_uButtons & kButtonNext);
    button(FinishButton)->setEnabled(m_uButtons & kButtonFinish);
}

} // namespace Vaultfeed
