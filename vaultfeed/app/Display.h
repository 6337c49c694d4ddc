#pragma once
// Whether vaultfeed shows its windows, decided before Qt is asked for a display: Qt waits without
// limit for an X server that accepts a connection and never answers, and ends the program when it
// cannot open its platform.

#include <QApplication>

#include <csignal>
#include <memory>

namespace Vaultfeed {

enum class Form {
    Windows,
    Terminal,
    // Neither: a stop signal came, or the display never answered (said on standard error).
    NotRun,
};

// The windows when QT_QPA_PLATFORM names a platform other than X (the user's choice is taken as it
// is), or when the X display that DISPLAY names (XWayland's included) accepts a connection within a
// few seconds; the terminal when there is no X display to open. A platform of "xcb" named on
// purpose gets the windows however its display answers, so that Qt says why it cannot open it.
// A stop signal (blocked, in stopSignals) ends the wait.
Form ChooseForm(const sigset_t& stopSignals);

// The application object of the windows. A fatal message of Qt's while it opens its platform (one
// that does not exist, or cannot start), which would abort the program, is written on standard
// error as why the windows could not start, and the program exits with the status of a run that
// could not start: nothing has started yet.
std::unique_ptr<QApplication> OpenWindowApplication(int& iArgc, char** argv);

} // namespace Vaultfeed
