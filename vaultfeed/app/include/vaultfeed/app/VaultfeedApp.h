#pragma once
// The application object: vaultfeed's start-up with a display, and what its windows share for the
// one run the program makes.

#include "platform/ComApartment.h"
#include "vaultfeed/ImportReport.h"
#include "vaultfeed/ImportRun.h"
#include "vaultfeed/ServiceInterfaces.h"
#include "vaultfeed/app/MessageBoxes.h"

#include <QDialog>
#include <QFont>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Vaultfeed {

class CVaultfeedApp
{
public:
    CVaultfeedApp(std::shared_ptr<IServiceConnection> pService, IMessageBoxes& messageBoxes);

    // Start-up: the window that CreateMainWindow chooses, run modally until it closes. Returns the
    // exit status: the report's severity, or kExitNotRun when no report was made (a cancelled run,
    // or one that could not start).
    int InitInstance(const std::vector<std::string>& arguments);

    // Enters the main thread's apartment, reads the product's configuration and the command line,
    // and makes the wizard, or the unattended progress dialog when nothing is left to ask. A start-up
    // failure is shown in a message box, and there is no window.
    std::unique_ptr<QDialog> CreateMainWindow(const std::vector<std::string>& arguments);

    // The import's parameters: the mode (0 until the command line or the user says otherwise), the
    // two folders and the network name.
    ImportParameters& Parameters() { return m_params; }
    // The bold face of the titles of the wizard's first and last pages.
    const QFont& TitleFont() const { return m_titleFont; }
    IMessageBoxes& MessageBoxes() { return m_messageBoxes; }
    const std::shared_ptr<IServiceConnection>& Service() const { return m_pService; }

    // The final report of the run, once the import made one.
    void SetResult(ImportReport report) { m_result = std::move(report); }
    const std::optional<ImportReport>& Result() const { return m_result; }
    int ExitStatus() const;

private:
    const std::shared_ptr<IServiceConnection> m_pService;
    IMessageBoxes& m_messageBoxes;
    std::optional<platform::CComApartment> m_apartment;
    QFont m_titleFont;
    ImportParameters m_params{kModeQuarantineFolder, {}, {}, {}};
    std::optional<ImportReport> m_result;
};

} // namespace Vaultfeed
