#pragma once
// Where a program's standard streams go on Windows, and in which encoding.

namespace zor::win32 {

// A windows-subsystem program (the player) started from a console has no
// standard streams of its own: it writes to that console instead. Streams it
// was given (redirected to a file or a pipe) are kept.
void attachToParentConsole();
// Whether standard output goes anywhere (a console, a file or a pipe).
bool hasStandardOutput();
// Whether standard error is a console, where someone reads it.
bool standardErrorIsConsole();
// The console shows our UTF-8 text as written: its output code page is
// UTF-8 while the program runs, and what it was afterwards.
void useUtf8Console();

}  // namespace zor::win32
