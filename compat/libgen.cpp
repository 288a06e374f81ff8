#include "compat/libgen.h"

#include "compat/host_files.h"

namespace compat {

char* dirname(char* path) { return host::dirname(path); }

}  // namespace compat
