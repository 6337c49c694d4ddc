#include "ReportView.h"

#include "Artwork.h"

namespace Vaultfeed {

CReportView::CReportView() : m_layout(this)
{
    m_icon.setObjectName(QStringLiteral("reportIcon"));
    m_icon.setAlignment(Qt::AlignTop);
    m_text.setObjectName(QStringLiteral("reportText"));
    m_text.setAlignment(Qt::AlignTop | Qt::AlignLeft);
    m_text.setWordWrap(true);
    m_text.setTextFormat(Qt::PlainText);
    m_text.setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_layout.setContentsMargins(0, 0, 0, 0);
    m_layout.addWidget(&m_icon);
    m_layout.addWidget(&m_text, 1);
}

void CReportView::Show(const ImportReport& report)
{
    m_icon.setPixmap(ReportIcon(report.lSeverity));
    // The report's lines end with CR LF; a label breaks lines at LF alone.
    m_text.setText(QString::fromStdWString(report.strText).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
}

} // namespace Vaultfeed
