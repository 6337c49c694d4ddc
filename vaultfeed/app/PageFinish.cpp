#include "PageFinish.h"

#include "Artwork.h"
#include "DialogUnits.h"
#include "Texts.h"
#include "vaultfeed/app/VaultfeedApp.h"

#include <QAbstractButton>
#include <QWizard>

namespace Vaultfeed {

CPageFinish::CPageFinish(const CVaultfeedApp& app)
    : m_app(app), m_layout(this), m_title(Texts::kFinishTitle), m_close(Texts::kFinishClose)
{
    setPixmap(QWizard::WatermarkPixmap, WatermarkPixmap());
    m_title.setObjectName(QStringLiteral("title"));
    m_title.setFont(app.TitleFont());
    m_title.setWordWrap(true);
    m_report.setMinimumWidth(FromDialogUnits(font(), 165, 0).width());
    m_layout.addWidget(&m_title);
    m_layout.addSpacing(m_title.fontMetrics().height());
    m_layout.addWidget(&m_report, 1);
    m_layout.addWidget(&m_close);
}

void CPageFinish::initializePage()
{
    if (m_app.Result())
        m_report.Show(*m_app.Result());
    // The import is over, and there is nothing left to cancel. QWizard could only hide Cancel on the
    // last page; here it stays in its place, disabled.
    wizard()->button(QWizard::CancelButton)->setEnabled(false);
}

} // namespace Vaultfeed
