#pragma once
// What a test reads of the windows the program makes: which window, and the wizard's pages.

#include "SheetImport.h"

#include <QDialog>
#include <QStringList>

namespace VaultfeedAppTests {

// "welcome", "folder", "network name", "progress" or "finish" for each page of the wizard, in
// order.
QStringList PageKinds(const QWizard& wizard);
// The kind of the wizard's current page.
QString CurrentPageKind(const QWizard& wizard);
// "dialog", or the wizard's pages joined by ", ".
QString WindowKind(const QDialog& window);
// The option checked on the wizard's folder page: "first", "second" or "none".
QString CheckedFolderOption(const QWizard& wizard);

} // namespace VaultfeedAppTests
