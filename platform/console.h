// The console a command-line tool of the kit writes to: whether its error
// stream is a terminal (for transient progress lines), and making the
// console show the UTF-8 texts the tools write.
#pragma once

namespace platform {

// Whether the process's standard error is an interactive terminal.
bool standardErrorIsTerminal();

// Makes the console, if there is one, show UTF-8 output as text.
void useUtf8Console();

} // namespace platform
