#include "testing/alloc_fault.h"

#include <cerrno>
#include <cstddef>

extern "C" {
void* __real_malloc(std::size_t size);
void* __real_calloc(std::size_t count, std::size_t size);
void* __real_realloc(void* block, std::size_t size);
void* __wrap_malloc(std::size_t size);
void* __wrap_calloc(std::size_t count, std::size_t size);
void* __wrap_realloc(void* block, std::size_t size);
}

namespace orva_testing::alloc_fault {
namespace {

// Test binaries are single-threaded while a plan is armed.
std::size_t counted = 0;
std::size_t fail_at = 0;  // 0: no failure planned
bool fail_after = false;
bool has_fired = false;

// Counts one allocation; true when it is to fail.
bool next_fails() {
  ++counted;
  if (fail_at == 0) return false;
  bool fails = counted == fail_at || (fail_after && counted > fail_at);
  if (fails) has_fired = true;
  return fails;
}

}  // namespace

void fail_nth(std::size_t nth, bool persistent) {
  counted = 0;
  fail_at = nth;
  fail_after = persistent;
  has_fired = false;
}

void disarm() { fail_at = 0; }
std::size_t count() { return counted; }
void reset_count() { counted = 0; }
bool fired() { return has_fired; }

std::size_t for_each_failure(void (*operation)(void*, std::size_t), void* context, bool persistent,
                             std::size_t limit) {
  for (std::size_t nth = 1; nth <= limit; ++nth) {
    fail_nth(nth, persistent);
    operation(context, nth);
    bool any = fired();
    disarm();
    if (!any) return nth;
  }
  return 0;
}

}  // namespace orva_testing::alloc_fault

using orva_testing::alloc_fault::next_fails;

extern "C" void* __wrap_malloc(std::size_t size) {
  if (next_fails()) {
    errno = ENOMEM;
    return nullptr;
  }
  return __real_malloc(size);
}

extern "C" void* __wrap_calloc(std::size_t count, std::size_t size) {
  if (next_fails()) {
    errno = ENOMEM;
    return nullptr;
  }
  return __real_calloc(count, size);
}

extern "C" void* __wrap_realloc(void* block, std::size_t size) {
  if (next_fails()) {
    errno = ENOMEM;
    return nullptr;
  }
  return __real_realloc(block, size);
}
