#pragma once
// Sizes given in dialog units, the measure of the original window templates: a quarter of the
// font's average character width across, an eighth of its height down.

#include <QFont>
#include <QSize>

namespace Vaultfeed {

QSize FromDialogUnits(const QFont& font, int iWidth, int iHeight);

} // namespace Vaultfeed
