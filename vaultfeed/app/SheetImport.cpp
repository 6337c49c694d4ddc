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

// The wizard owns its pages, as Qt's wizards do: each is handed over as it is made. QWizard enables
// the buttons: Next while the page is complete, Finish on the last page, and Back on every page but
// the first, unless the page before is a commit page.
CSheetImport::CSheetImport(CVaultfeedApp& app)
{
    setWizardStyle(ModernStyle);
    // A page keeps what the user chose on it while the user goes back and forth, and is set up once.
    setOption(IndependentPages);
    // The finish page reports an import that is over.
    setOption(DisabledBackButtonOnLastPage);
    // A commit page is left for good, but its button still reads Next.
    setButtonText(CommitButton, buttonText(NextButton));
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
    const int iWelcome = addPage(new CPageWelcome(app));
    const bool bAskForFolder = app.Parameters().strSourceFolder.empty();
    if (bAskForFolder)
        addPage(new CPageFolderSelection(app));
    if (app.Parameters().strNetworkName.empty())
        addPage(new CPageNetNameSelection(app));
    // Going on from here starts the import, which Back cannot undo.
    page(pageIds().constLast())->setCommitPage(true);
    // Without the folder page, the network-name page follows the welcome page and keeps its buttons:
    // Next, and no Back.
    if (!bAskForFolder)
        page(iWelcome)->setCommitPage(true);
    addPage(new CPageProgress(app));
    addPage(new CPageFinish(app));
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

} // namespace Vaultfeed
