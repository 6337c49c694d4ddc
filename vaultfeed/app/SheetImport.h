#pragma once
// The import wizard: its pages in order, its look (the modern wizard style: a watermark beside the
// first and last pages, a header over the others), and where Back may lead.

#include <QWizard>

namespace Vaultfeed {

class CVaultfeedApp;

class CSheetImport : public QWizard
{
public:
    // Welcome; the folder page when the source folder is unknown; the network-name page when the
    // network name is; progress; finish.
    explicit CSheetImport(CVaultfeedApp& app);

    // Cancel, Escape and closing the window: the current page is asked first.
    void reject() override;

    // The pages' 317 by 193 dialog units and the row of buttons below them: every page fits, so the
    // window keeps its size from page to page.
    QSize sizeHint() const override;
};

} // namespace Vaultfeed
