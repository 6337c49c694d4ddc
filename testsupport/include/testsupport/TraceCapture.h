#pragma once
// The trace log of a test program, and a way to see the lines written while a test runs.
// Linking this library defines TraceLog(): a log that writes no file and sends every line to
// the debugger output, where TraceCapture collects it.

#include "platform/DebugOutput.h"

#include <string>
#include <vector>

namespace testsupport {

class TraceCapture
{
public:
    // The message part of every line traced since construction: kind prefix and text, without
    // the columns and the indentation.
    std::vector<std::string> Messages() const;
    // The source file column of the first line with this message: the first 20 characters of the
    // file's name, padded with blanks. Empty when no line has the message.
    std::string FileColumnOf(const std::string& strMessage) const;
    // The whole lines, as the log wrote them.
    std::vector<std::string> Lines() const { return m_output.Texts(); }

private:
    platform::CCapturedDebugOutput m_output;
};

} // namespace testsupport
