#include "PageFinish.h"

#include "Artwork.h"
#include "DialogUnits.h"
#include "SheetImport.h"
#include "Texts.h"
#include "vaultfeed/app/VaultfeedApp.h"

#include <QAbstractButton>

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

void CPageFinish::OnSetActive()
{
    if (m_app.Result())
        m_report.Show(*m_app.Result());
    Sheet().SetWizardButtons(CSheetImport::kButtonFinish);
    Sheet().button(QWizard::CancelButton)->setEnabled(false);
}

} // namespace Vaultfeed
