#include "DialogUnits.h"

#include <QFontMetrics>

namespace Vaultfeed {

QSize FromDialogUnits(const QFont& font, int iWidth, int iHeight)
{
    const QFontMetrics metrics(font);
    // The average over the 52 letters, rounded up, as the system measures its dialog fonts.
    const QString strLetters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int iCharWidth = (metrics.horizontalAdvance(strLetters) / 26 + 1) / 2;
    return {iWidth * iCharWidth / 4, iHeight * metrics.height() / 8};
}

} // namespace Vaultfeed
