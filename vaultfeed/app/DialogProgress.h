#pragma once
// The unattended progress dialog, for a command line that says everything: it runs the import as
// soon as it opens and closes by itself unless the report is an error, which it shows until the
// user presses OK.

#include "ImportMonitor.h"
#include "ReportView.h"

#include <QDialog>
#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace Vaultfeed {

class CVaultfeedApp;

class CDialogProgress : public QDialog
{
public:
    explicit CDialogProgress(CVaultfeedApp& app);

    // OK: closes as accepted.
    void accept() override;
    // Cancel, Escape and closing the window: while the import runs, only when the user confirms.
    void reject() override;

protected:
    // The first time the dialog is shown, the import starts.
    void showEvent(QShowEvent* pEvent) override;

private:
    void OnFinished(const ImportReport& report);
    void ShowErrorView(const ImportReport& report);

    CVaultfeedApp& m_app;
    QGridLayout m_layout;
    QLabel m_progressLabel;
    QProgressBar m_progress;
    CReportView m_report;
    QLabel m_resumeSetup;
    QPushButton m_ok;
    QPushButton m_cancel;
    bool m_bStarted = false;
    // Goes first when the dialog goes: the timer stops, then the worker.
    CImportMonitor m_monitor;
};

} // namespace Vaultfeed
