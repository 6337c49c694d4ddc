#pragma once
// An import's final report as the finish page and the unattended dialog show it: the icon of its
// severity beside its text.

#include "vaultfeed/ImportReport.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QWidget>

namespace Vaultfeed {

class CReportView : public QWidget
{
public:
    CReportView();

    void Show(const ImportReport& report);

private:
    QHBoxLayout m_layout;
    QLabel m_icon;
    QLabel m_text;
};

} // namespace Vaultfeed
