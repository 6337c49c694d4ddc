#pragma once
// The import wizard: its pages in order, its look (the modern wizard style: a watermark beside the
// first and last pages, a header over the others), and its buttons as each page sets them.

#include <QWizard>

namespace Vaultfeed {

class CVaultfeedApp;

class CSheetImport : public QWizard
{
public:
    // The buttons a page lets the user press.
    static constexpr unsigned kButtonBack = 0x1;
    static constexpr unsigned kButtonNext = 0x2;
    static constexpr unsigned kButtonFinish = 0x4;

    // Welcome; the folder page when the source folder is unknown; the network-name page when the
    // network name is; progress; finish.
    explicit CSheetImport(CVaultfeedApp& app);

    // Enables the buttons given and disables the others of Back, Next and Finish. They stay so until
    // a page sets them again: moving to a page that sets none keeps them.
    void SetWizardButtons(unsigned uButtons);

    // Cancel, Escape and closing the window: the current page is asked first.
    void reject() override;

    // The pages' 317 by 193 dialog units and the row of buttons below them: every page fits, so the
    // window keeps its size from page to page.
    QSize sizeHint() const override;

private:
    void OnCurrentPageChanged();
    void ApplyWizardButtons();

    unsigned m_uButtons = 0;
};

} // namespace Vaultfeed
