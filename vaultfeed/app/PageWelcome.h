#pragma once
// The wizard's first page: what the wizard does, beside the watermark.

#include "ImportPage.h"

#include <QLabel>
#include <QVBoxLayout>

namespace Vaultfeed {

class CVaultfeedApp;

class CPageWelcome : public CImportPage
{
public:
    explicit CPageWelcome(const CVaultfeedApp& app);

private:
    QVBoxLayout m_layout;
    QLabel m_title;
    QLabel m_text;
    QLabel m_continue;
};

} // namespace Vaultfeed
