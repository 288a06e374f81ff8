#include "testing/descriptors.h"

#include <windows.h>

#include <cstdint>

namespace orva_testing {

namespace {

// The handles open, asked one value at a time (handle values are multiples of 4). New
// handles take the lowest free values, so the count stops after 256 free values in a row.
int count_handle_values() {
  int count = 0;
  int free_in_a_row = 0;
  for (std::uintptr_t value = 4; free_in_a_row < 256; value += 4) {
    DWORD flags = 0;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
      ++count;
      free_in_a_row = 0;
    } else {
      ++free_in_a_row;
    }
  }
  return count;
}

}  // namespace

// Wine answers GetProcessHandleCount with 0 (a process always has handles): there the
// handles are counted by value.
int open_descriptor_count() {
  DWORD count = 0;
  if (!GetProcessHandleCount(GetCurrentProcess(), &count)) return -1;
  return count != 0 ? static_cast<int>(count) : count_handle_values();
}

}  // namespace orva_testing
