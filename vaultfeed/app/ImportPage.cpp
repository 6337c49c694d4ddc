#include "ImportPage.h"

#include "SheetImport.h"

namespace Vaultfeed {

CSheetImport& CImportPage::Sheet() const
{
    // Every page of this kind belongs to the import wizard.
    return static_cast<CSheetImport&>(*wizard());
}

} // namespace Vaultfeed
