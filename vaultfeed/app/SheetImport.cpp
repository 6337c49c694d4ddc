#include "SheetImport.h"

#include "Artwork.h"
#include "DialogUnits.h"
#include "ImportPage.h"
#include "PageFinish.h"
#include "PageFolderSelection.h"
#include "PageNetNameSelection.h"
#include "PageProgress.h"
#include "PageWelcome.h"
#include "Texts.h"
#include "vaultfeed/app/VaultfeedApp.h"

#include <QAbstractButton>
#include <QStyle>

namespace Vaultfeed {

// The wizard owns its pages, as Qt's wizards do: each is handed over as it is made.
CSheetImport::CSheetImport(CVaultfeedApp& app)
{
    setWizardStyle(ModernStyle);
    // A page keeps what the user chose on it while the user goes back and forth.
    setOption(IndependentPages);
    setWindowTitle(Texts::kWizardCaption);
    setWindowIcon(ProgramIcon());
    // A white band as wide as the sheet behind the header: a subtitle wraps within it rather than
    // widening the window. It is high enough for the title and two lines of subtitle.
    QFont boldFont = font();
    boldFont.setBold(true);
    const int iMargin = style()->pixelMetric(QStyle::PM_LayoutTopMargin);
    QPixmap band(sizeHint().width(), QFontMetrics(boldFont).height() + 2 * fontMetrics().height() + 2 * iMargin);
    band.fill(Qt::white);
    setPixmap(BannerPixmap, band);
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

QSize CSheetImport::sizeHint() const
{
    const QSize pages = FromDialogUnits(font(), 317, 193);
    const int iMargin = style()->pixelMetric(QStyle::PM_LayoutLeftMargin);
    const int iButtons = button(NextButton)->sizeHint().height() + 2 * iMargin;
    return QWizard::sizeHint().expandedTo({pages.width() + 2 * iMargin, pages.height() + iButtons});
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
