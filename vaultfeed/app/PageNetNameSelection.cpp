#include "PageNetNameSelection.h"

#include "ClusterNetworkNames.h"
#include "DialogUnits.h"
#include "Texts.h"
#include "vaultfeed/app/VaultfeedApp.h"

#include <QStringList>

#include <algorithm>

namespace Vaultfeed {

CPageNetNameSelection::CPageNetNameSelection(CVaultfeedApp& app)
    : m_app(app), m_layout(this), m_instanceLabel(Texts::kInstanceLabel), m_networkNameLabel(Texts::kNetworkNameLabel)
{
    setTitle(Texts::kNetNameTitle);
    setSubTitle(Texts::kNetNameSubtitle);
    setMinimumSize(FromDialogUnits(font(), 317, 143));
    m_instances.setObjectName(QStringLiteral("instances"));
    m_networkName.setObjectName(QStringLiteral("networkName"));
    m_networkName.setReadOnly(true);
    m_layout.addWidget(&m_instanceLabel, 0, 0);
    m_layout.addWidget(&m_instances, 0, 1);
    m_layout.addWidget(&m_networkNameLabel, 1, 0);
    m_layout.addWidget(&m_networkName, 1, 1);
    m_layout.setColumnStretch(1, 1);
    m_layout.setRowStretch(2, 1);
    // A choice of the user's, by mouse or keyboard; not the page's own selection.
    connect(&m_instances, &QComboBox::activated, this, [this] { OnSelectionChange(); });
}

void CPageNetNameSelection::initializePage()
{
    const ProductResources resources = FindProductResources();
    // The list is sorted as the user reads it, letter case aside.
    QStringList names;
    for (const std::wstring& strName : resources.names)
        names.append(QString::fromStdWString(strName));
    names.sort(Qt::CaseInsensitive);
    m_instances.addItems(names);
    // The first by name, unless the preselected one is listed (the same name, letter case included).
    int iSelected = 0;
    if (!resources.strPreselected.empty())
        iSelected = std::max(0, m_instances.findText(QString::fromStdWString(resources.strPreselected)));
    m_instances.setCurrentIndex(iSelected);
    OnSelectionChange();
}

bool CPageNetNameSelection::validatePage()
{
    m_app.Parameters().strNetworkName = m_networkName.text().toStdWString();
    if (!m_app.Parameters().strNetworkName.empty())
        return true;
    m_app.MessageBoxes().ShowExclamation(wizard(), Texts::kSelectANetworkName);
    return false;
}

void CPageNetNameSelection::OnSelectionChange()
{
    if (const std::optional<std::wstring> strNetworkName = ReadNetworkName(m_instances.currentText().toStdWString()))
        m_networkName.setText(QString::fromStdWString(*strNetworkName));
}

} // namespace Vaultfeed
