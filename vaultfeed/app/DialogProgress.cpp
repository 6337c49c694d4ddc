#include "DialogProgress.h"

#include "Artwork.h"
#include "DialogUnits.h"
#include "Texts.h"
#include "vaultfeed/app/VaultfeedApp.h"

#include <QTimer>

namespace Vaultfeed {

CDialogProgress::CDialogProgress(CVaultfeedApp& app)
    : m_app(app), m_layout(this), m_progressLabel(Texts::kProgressLabel), m_resumeSetup(Texts::kResumeSetup),
      m_ok(Texts::kOk), m_cancel(Texts::kCancel),
      m_monitor(
          app.Service(), [this](int iPercent) { m_progress.setValue(iPercent); },
          [this](const ImportReport& report) { OnFinished(report); })
{
    setWindowTitle(Texts::kDialogCaption);
    setWindowIcon(ProgramIcon());
    setMinimumSize(FromDialogUnits(font(), 268, 95));
    m_progress.setObjectName(QStringLiteral("progress"));
    m_progress.setRange(0, 100);
    m_progress.setTextVisible(false);
    m_resumeSetup.setObjectName(QStringLiteral("resumeSetup"));
    m_resumeSetup.setWordWrap(true);
    m_ok.setObjectName(QStringLiteral("ok"));
    m_cancel.setObjectName(QStringLiteral("cancel"));

    m_layout.addWidget(&m_progressLabel, 0, 0, 1, 3);
    m_layout.addWidget(&m_progress, 1, 0, 1, 3);
    m_layout.addWidget(&m_report, 2, 0, 1, 3);
    m_layout.addWidget(&m_resumeSetup, 3, 0, 1, 3);
    m_layout.setRowStretch(4, 1);
    m_layout.addWidget(&m_ok, 5, 1);
    m_layout.addWidget(&m_cancel, 5, 2);
    m_layout.setColumnStretch(0, 1);
    m_report.hide();
    m_resumeSetup.hide();
    // OK is the default button, but there is nothing to acknowledge before the error view.
    m_ok.setDefault(true);
    m_ok.setEnabled(false);
    connect(&m_ok, &QPushButton::clicked, this, &CDialogProgress::accept);
    connect(&m_cancel, &QPushButton::clicked, this, &CDialogProgress::reject);
}

void CDialogProgress::accept()
{
    m_monitor.Stop();
    QDialog::accept();
}

void CDialogProgress::reject()
{
    if (m_monitor.IsImporting() && !m_app.MessageBoxes().AskYesNo(this, Texts::kConfirmExit))
        return;
    m_monitor.Stop();
    QDialog::reject();
}

void CDialogProgress::showEvent(QShowEvent* pEvent)
{
    QDialog::showEvent(pEvent);
    if (m_bStarted)
        return;
    m_bStarted = true;
    m_progress.setValue(0);
    // The dialog is still being shown: it closes once that is done.
    if (!m_monitor.Start(m_app.Parameters()))
        QTimer::singleShot(0, this, [this] { done(QDialog::Rejected); });
}

void CDialogProgress::OnFinished(const ImportReport& report)
{
    m_app.SetResult(report);
    if (report.lSeverity == kSeveritySuccess || report.lSeverity == kSeverityWarning)
        accept();
    else
        ShowErrorView(report);
}

// The progress gives way to the report; OK, now the default, is the only way on.
void CDialogProgress::ShowErrorView(const ImportReport& report)
{
    m_progressLabel.hide();
    m_progress.hide();
    m_cancel.setDefault(false);
    m_cancel.setEnabled(false);
    m_report.Show(report);
    m_report.show();
    m_resumeSetup.show();
    m_ok.setEnabled(true);
    m_ok.setDefault(true);
    m_ok.setFocus();
    update();
}

} // namespace Vaultfeed
