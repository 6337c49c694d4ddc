#pragma once
// The wizard's last page: the import's report with the icon of its severity, beside the watermark.

#include "ImportPage.h"
#include "ReportView.h"

#include <QLabel>
#include <QVBoxLayout>

namespace Vaultfeed {

class CVaultfeedApp;

class CPageFinish : public CImportPage
{
public:
    explicit CPageFinish(const CVaultfeedApp& app);
    // Shows the report; only Finish is left to press.
    void initializePage() override;

private:
    const CVaultfeedApp& m_app;
    QVBoxLayout m_layout;
    QLabel m_title;
    CReportView m_report;
    QLabel m_close;
};

} // namespace Vaultfeed
