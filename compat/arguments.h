#pragma once

// The command line as the tools read it: every argument whole, as UTF-8 on the Windows host.

namespace compat {

// Makes *argc and *argv the command line's arguments as UTF-8 where the runtime hands main
// another encoding (the Windows host hands it the ANSI code page, which loses every
// character outside it); leaves them as they are where they are the bytes the program was
// given (POSIX hosts). Call it first thing in main. Ends the process with status 1 when
// memory is short.
void utf8_arguments(int* argc, char*** argv);

}  // namespace compat
