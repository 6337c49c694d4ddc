#pragma once
// The wizard's network-name page, on a cluster node: the product's cluster resources to choose
// from, and the network name of the one chosen.

#include "ImportPage.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

namespace Vaultfeed {

class CVaultfeedApp;

class CPageNetNameSelection : public CImportPage
{
public:
    explicit CPageNetNameSelection(CVaultfeedApp& app);
    // The first time the page is shown: lists the product's resources by name, selects the first
    // when its network name can be read (else the first by name), and shows its network name.
    void initializePage() override;
    // Next: the network name shown becomes the import's; none keeps the page.
    bool validatePage() override;

private:
    // Shows the network name of the resource selected; one that cannot be read leaves the last.
    void OnSelectionChange();

    CVaultfeedApp& m_app;
    QGridLayout m_layout;
    QLabel m_instanceLabel;
    QComboBox m_instances;
    QLabel m_networkNameLabel;
    QLineEdit m_networkName;
};

} // namespace Vaultfeed
