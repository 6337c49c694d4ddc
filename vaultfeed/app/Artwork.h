#pragma once
// The program's pictures, drawn from the SVG sources in art/ and compiled in as PNG files.

#include <QIcon>
#include <QPixmap>

#include <cstdint>

namespace Vaultfeed {

// Beside the wizard's first and last pages.
QPixmap WatermarkPixmap();
// At the right of the header of the wizard's other pages.
QPixmap HeaderPixmap();
// The program's windows.
QIcon ProgramIcon();
// The report's icon: success for severity 0, warning for 1, error for anything else.
QPixmap ReportIcon(std::int32_t lSeverity);

} // namespace Vaultfeed
