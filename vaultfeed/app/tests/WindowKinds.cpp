#include "WindowKinds.h"

#include "AppBench.h"
#include "DialogProgress.h"
#include "PageFinish.h"
#include "PageFolderSelection.h"
#include "PageNetNameSelection.h"
#include "PageProgress.h"
#include "PageWelcome.h"

#include <QRadioButton>

namespace VaultfeedAppTests {
namespace {

QString PageKind(const QWizardPage* pPage)
{
    if (dynamic_cast<const Vaultfeed::CPageWelcome*>(pPage))
        return QStringLiteral("welcome");
    if (dynamic_cast<const Vaultfeed::CPageFolderSelection*>(pPage))
        return QStringLiteral("folder");
    if (dynamic_cast<const Vaultfeed::CPageNetNameSelection*>(pPage))
        return QStringLiteral("network name");
    if (dynamic_cast<const Vaultfeed::CPageProgress*>(pPage))
        return QStringLiteral("progress");
    if (dynamic_cast<const Vaultfeed::CPageFinish*>(pPage))
        return QStringLiteral("finish");
    return QStringLiteral("unknown");
}

} // namespace

QStringList PageKinds(const QWizard& wizard)
{
    QStringList kinds;
    for (const int iId : wizard.pageIds())
        kinds.append(PageKind(wizard.page(iId)));
    return kinds;
}

QString CurrentPageKind(const QWizard& wizard)
{
    return PageKind(wizard.currentPage());
}

QString WindowKind(const QDialog& window)
{
    if (dynamic_cast<const Vaultfeed::CDialogProgress*>(&window))
        return QStringLiteral("dialog");
    if (const auto* pWizard = dynamic_cast<const QWizard*>(&window))
        return PageKinds(*pWizard).join(QStringLiteral(", "));
    return QStringLiteral("unknown");
}

QString CheckedFolderOption(const QWizard& wizard)
{
    if (Child<QRadioButton>(wizard, "quarantineFolderOption").isChecked())
        return QStringLiteral("first");
    if (Child<QRadioButton>(wizard, "manualFolderOption").isChecked())
        return QStringLiteral("second");
    return QStringLiteral("none");
}

} // namespace VaultfeedAppTests
