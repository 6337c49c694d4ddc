#pragma once
// Names that the library pastes into SQL text are checked first.

namespace Keeplibs {

// A letter or "_" first, then letters, digits, "#", "$", "@" and "_". A name longer than SQL
// Server allows is let through with a trace line: the server will say no itself.
bool ValidateDatabaseName(const wchar_t* pstrName);

// Anything but a single quote.
bool ValidateBackupFileName(const wchar_t* pstrName);

} // namespace Keeplibs
