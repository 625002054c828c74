#pragma once

namespace veltor::posix {

// Ends the process with `code` once the program has closed everything it opened. The Firebird
// client library's own exit handlers can crash when a local restore has run its engine in
// this process, so they are not run: the standard streams are flushed and the process ends
// at once.
[[noreturn]] void EndProcess(int code);

} // namespace veltor::posix
