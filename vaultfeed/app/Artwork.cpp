#include "Artwork.h"

#include "vaultfeed/ImportReport.h"

namespace Vaultfeed {

QPixmap WatermarkPixmap()
{
    return QPixmap(QStringLiteral(":/art/watermark.png"));
}

QPixmap HeaderPixmap()
{
    return QPixmap(QStringLiteral(":/art/header.png"));
}

QIcon ProgramIcon()
{
    QIcon icon;
    for (const int iSize : {16, 32, 48, 256})
        icon.addFile(QStringLiteral(":/art/vaultfeed-%1.png").arg(iSize), QSize(iSize, iSize));
    return icon;
}

QPixmap ReportIcon(std::int32_t lSeverity)
{
    switch (lSeverity) {
    case kSeveritySuccess:
        return QPixmap(QStringLiteral(":/art/success.png"));
    case kSeverityWarning:
        return QPixmap(QStringLiteral(":/art/warning.png"));
    default:
        return QPixmap(QStringLiteral(":/art/error.png"));
    }
}

} // namespace Vaultfeed
