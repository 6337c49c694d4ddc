#pragma once
// Sizes given in dialog units, the measure the pages' layouts are written in: a quarter of the
// font's average character width across, an eighth of its height down, so that a page grows
// with its font.

#include <QFont>
#include <QSize>

namespace Vaultfeed {

QSize FromDialogUnits(const QFont& font, int iWidth, int iHeight);

} // namespace Vaultfeed
