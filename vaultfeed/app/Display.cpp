#include "Display.h"

#include "Startup.h"
#include "common/HandleOwners.h"
#include "common/StringUtils.h"

#include <QByteArray>
#include <QtGlobal>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <poll.h>
#include <string>
#include <sys/signalfd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

namespace Vaultfeed {
namespace {

// Far more than a local or forwarded X server takes to answer a connection.
constexpr int kDisplayAnswerMilliseconds = 5000;

enum class DisplayAnswer {
    Accepted,
    Refused,
    Silent,
    Stopped,
};

// The platform Qt would take: the first of QT_QPA_PLATFORM's names, without its options.
QByteArray NamedPlatform()
{
    const QByteArray platforms = qgetenv("QT_QPA_PLATFORM");
    const qsizetype iEnd = platforms.indexOf(';');
    const QByteArray first = iEnd < 0 ? platforms : platforms.left(iEnd);
    const qsizetype iOptions = first.indexOf(':');
    return iOptions < 0 ? first : first.left(iOptions);
}

// A descriptor that becomes readable when the child ends. glibc 2.36's header declares pidfd_open
// without C linkage, so C++ cannot link to it.
int OpenChildDescriptor(pid_t pid)
{
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
}

// xcb_connect has no deadline, and a connection cannot be abandoned half-way in the same process:
// a child makes it, and tells by its exit status. The child is ended at the deadline or on a stop
// signal.
DisplayAnswer AskTheDisplay(const sigset_t& stopSignals)
{
    const pid_t pid = ::fork();
    if (pid < 0)
        return DisplayAnswer::Refused;
    if (pid == 0) {
        const std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> pConnection(xcb_connect(nullptr, nullptr),
                                                                                       &xcb_disconnect);
        ::_exit(xcb_connection_has_error(pConnection.get()) == 0 ? EXIT_SUCCESS : EXIT_FAILURE);
    }
    const CAutoFileHandle child(OpenChildDescriptor(pid));
    const CAutoFileHandle stop(::signalfd(-1, &stopSignals, SFD_CLOEXEC));
    pollfd waits[] = {{child.Get(), POLLIN, 0}, {stop.Get(), POLLIN, 0}};
    const int iReady = child && stop ? ::poll(waits, 2, kDisplayAnswerMilliseconds) : -1;
    const bool bEnded = iReady > 0 && waits[0].revents != 0;
    if (!bEnded)
        ::kill(pid, SIGKILL);
    int iStatus = 0;
    while (::waitpid(pid, &iStatus, 0) < 0 && errno == EINTR) {
    }
    if (bEnded)
        return WIFEXITED(iStatus) && WEXITSTATUS(iStatus) == EXIT_SUCCESS ? DisplayAnswer::Accepted
                                                                          : DisplayAnswer::Refused;
    if (iReady > 0)
        return DisplayAnswer::Stopped;
    return iReady == 0 ? DisplayAnswer::Silent : DisplayAnswer::Refused;
}

QtMessageHandler g_previousHandler = nullptr;

void ExitOnFatalMessage(QtMsgType type, const QMessageLogContext& context, const QString& strMessage)
{
    if (type != QtFatalMsg) {
        if (g_previousHandler)
            g_previousHandler(type, context, strMessage);
        return;
    }
    const std::string strLine = "The windows could not start: " + strMessage.toStdString() + "\n";
    std::fwrite(strLine.data(), 1, strLine.size(), stderr);
    std::_Exit(kExitNotRun);
}

} // namespace

Form ChooseForm(const sigset_t& stopSignals)
{
    const QByteArray platform = NamedPlatform();
    const bool bXChosen = platform == "xcb";
    if (!platform.isEmpty() && !bXChosen)
        return Form::Windows;
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return bXChosen ? Form::Windows : Form::Terminal;
    switch (AskTheDisplay(stopSignals)) {
    case DisplayAnswer::Accepted:
        return Form::Windows;
    case DisplayAnswer::Refused:
        return bXChosen ? Form::Windows : Form::Terminal;
    case DisplayAnswer::Silent:
        std::fprintf(stderr, "The display %s did not answer within %d seconds.\n",
                     EscapeControlCharacters(std::string_view(qgetenv("DISPLAY").toStdString())).c_str(),
                     kDisplayAnswerMilliseconds / 1000);
        return Form::NotRun;
    case DisplayAnswer::Stopped:
        break;
    }
    return Form::NotRun;
}

std::unique_ptr<QApplication> OpenWindowApplication(int& iArgc, char** argv)
{
    g_previousHandler = qInstallMessageHandler(&ExitOnFatalMessage);
    auto pApplication = std::make_unique<QApplication>(iArgc, argv);
    qInstallMessageHandler(g_previousHandler);
    return pApplication;
}

} // namespace Vaultfeed
