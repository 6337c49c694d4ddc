#include "vaultfeed/app/VaultfeedApp.h"

#include "DialogProgress.h"
#include "SheetImport.h"
#include "Startup.h"
#include "Texts.h"
#include "common/ComError.h"
#include "vaultfeed/ServiceCalls.h"

#include <QApplication>

namespace Vaultfeed {
namespace {

// The system's message font, in bold Verdana of 12 points: where Verdana is missing, the font
// configuration's closest face takes its place.
QFont MakeTitleFont()
{
    QFont font = QApplication::font("QMessageBox");
    font.setFamily(QStringLiteral("Verdana"));
    font.setWeight(QFont::Bold);
    font.setPointSize(12);
    return font;
}

} // namespace

CVaultfeedApp::CVaultfeedApp(std::shared_ptr<IServiceConnection> pService, IMessageBoxes& messageBoxes)
    : m_pService(std::move(pService)), m_messageBoxes(messageBoxes)
{
}

int CVaultfeedApp::InitInstance(const std::vector<std::string>& arguments)
{
    if (const std::unique_ptr<QDialog> pWindow = CreateMainWindow(arguments))
        pWindow->exec();
    return ExitStatus();
}

std::unique_ptr<QDialog> CVaultfeedApp::CreateMainWindow(const std::vector<std::string>& arguments)
{
    try {
        m_apartment.emplace(platform::COINIT_APARTMENTTHREADED, true);
        const StartupDecision decision = DecideStartup(*m_pService, arguments);
        m_params = decision.params;
        if (!decision.bAskUser)
            return std::make_unique<CDialogProgress>(*this);
        m_titleFont = MakeTitleFont();
        return std::make_unique<CSheetImport>(*this);
    } catch (const UTIL::COM::_com_error& e) {
        m_messageBoxes.ShowExclamation(nullptr, QString::fromStdWString(ComErrorText(e)));
    } catch (...) {
        m_messageBoxes.ShowExclamation(nullptr, Texts::kConfigurationFailed);
    }
    return nullptr;
}

int CVaultfeedApp::ExitStatus() const
{
    return m_result ? m_result->lSeverity : kExitNotRun;
}

} // namespace Vaultfeed
