#include "testing/descriptors.h"

#include <windows.h>

namespace orva_testing {

int open_descriptor_count() {
  DWORD count = 0;
  if (!GetProcessHandleCount(GetCurrentProcess(), &count)) return -1;
  return static_cast<int>(count);
}

}  // namespace orva_testing
