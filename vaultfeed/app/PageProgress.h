#pragma once
// The wizard's progress page: the import runs from the moment the page is first shown, and the
// wizard moves on to the finish page with its report.

#include "ImportMonitor.h"
#include "ImportPage.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace Vaultfeed {

class CVaultfeedApp;

class CPageProgress : public CImportPage
{
public:
    explicit CPageProgress(CVaultfeedApp& app);
    // Starts the import; one that cannot start ends the wizard as cancelled.
    void initializePage() override;
    // Once the import has made its report: until then Next stays disabled.
    bool isComplete() const override;
    // While the import runs, only when the user confirms; the run is stopped first.
    bool OnQueryCancel() override;

private:
    void OnFinished(const ImportReport& report);

    CVaultfeedApp& m_app;
    QVBoxLayout m_layout;
    QLabel m_label;
    QProgressBar m_progress;
    // Goes first when the page goes: the timer stops, then the worker.
    CImportMonitor m_monitor;
};

} // namespace Vaultfeed
