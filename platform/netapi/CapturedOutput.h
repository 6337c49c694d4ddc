#pragma once
// What a library prints while it is called, kept from the program's own output: Samba's client
// libraries write their messages ("session setup failed: ...") and even their debug lines on
// standard output and standard error, whatever their settings say.

#include <string>
#include <string_view>
#include <vector>

namespace platform::netapi {

// From construction until Release (or destruction), descriptors 1 and 2 lead into a file in
// memory; Release puts them back and answers what was written there, both streams together.
//
// The descriptors are the process's, not the thread's: while they are redirected, whatever any
// thread writes to them is caught as well. That is safe here because CSambaNetApi makes its
// calls under its lock, and no program that calls it writes meanwhile: keepctl and realmscan run
// on one thread, the library starts none, and vaultfeed only asks for the computer's name, which
// never loads these libraries.
class CCapturedOutput
{
public:
    CCapturedOutput();
    ~CCapturedOutput();
    CCapturedOutput(const CCapturedOutput&) = delete;
    CCapturedOutput& operator=(const CCapturedOutput&) = delete;

    std::string Release();

private:
    int m_fdCapture = -1;
    int m_fdSavedOutput = -1;
    int m_fdSavedError = -1;
};

// Each line a library printed, as a note for the caller's trace: "<library> printed: <line>",
// its control characters escaped.
void NotePrinted(std::vector<std::wstring>& notes, std::wstring_view library, std::string_view text);

} // namespace platform::netapi
