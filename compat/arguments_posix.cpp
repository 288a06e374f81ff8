// The command line on POSIX hosts: the arguments are the bytes the program was given.

#include "compat/arguments.h"

namespace compat {

void utf8_arguments(int* /*argc*/, char*** /*argv*/) {}

}  // namespace compat
