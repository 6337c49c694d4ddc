#include "PageProgress.h"

#include "DialogUnits.h"
#include "Texts.h"
#include "vaultfeed/app/VaultfeedApp.h"

#include <QAbstractButton>
#include <QTimer>
#include <QWizard>

namespace Vaultfeed {

CPageProgress::CPageProgress(CVaultfeedApp& app)
    : m_app(app), m_layout(this), m_label(Texts::kProgressLabel),
      m_monitor(
          app.Service(), [this](int iPercent) { m_progress.setValue(iPercent); },
          [this](const ImportReport& report) { OnFinished(report); })
{
    setTitle(Texts::kProgressTitle);
    setSubTitle(Texts::kProgressSubtitle);
    setMinimumSize(FromDialogUnits(font(), 317, 143));
    m_progress.setObjectName(QStringLiteral("progress"));
    m_progress.setRange(0, 100);
    m_progress.setTextVisible(false);
    m_layout.addWidget(&m_label);
    m_layout.addWidget(&m_progress);
    m_layout.addStretch(1);
}

void CPageProgress::initializePage()
{
    // Nothing on the page takes the keyboard, and QWizard would give it to Next, which stays disabled:
    // it goes to the one button left to press.
    wizard()->button(QWizard::CancelButton)->setFocus();
    m_progress.setValue(0);
    if (!m_monitor.Start(m_app.Parameters())) {
        // The wizard is still switching to this page: it ends once that is done.
        QWizard* pWizard = wizard();
        QTimer::singleShot(0, pWizard, [pWizard] { pWizard->reject(); });
    }
}

bool CPageProgress::isComplete() const
{
    return m_app.Result().has_value();
}

bool CPageProgress::OnQueryCancel()
{
    if (m_monitor.IsImporting() && !m_app.MessageBoxes().AskYesNo(wizard(), Texts::kConfirmExit))
        return false;
    m_monitor.Stop();
    return true;
}

void CPageProgress::OnFinished(const ImportReport& report)
{
    m_app.SetResult(report);
    Q_EMIT completeChanged();
    wizard()->next();
}

} // namespace Vaultfeed
