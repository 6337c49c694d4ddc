#include "PageWelcome.h"

#include "Artwork.h"
#include "Texts.h"
#include "vaultfeed/app/VaultfeedApp.h"

namespace Vaultfeed {

CPageWelcome::CPageWelcome(const CVaultfeedApp& app)
    : m_layout(this), m_title(Texts::kWelcomeTitle), m_text(Texts::kWelcomeText), m_continue(Texts::kWelcomeContinue)
{
    setPixmap(QWizard::WatermarkPixmap, WatermarkPixmap());
    m_title.setObjectName(QStringLiteral("title"));
    m_title.setFont(app.TitleFont());
    for (QLabel* pLabel : {&m_title, &m_text})
        pLabel->setWordWrap(true);
    m_layout.addWidget(&m_title);
    m_layout.addSpacing(m_title.fontMetrics().height());
    m_layout.addWidget(&m_text);
    m_layout.addStretch(1);
    m_layout.addWidget(&m_continue);
}

} // namespace Vaultfeed
