#include "testing/readdir_fault.h"

#include <dirent.h>

#include <cerrno>

extern "C" {
dirent* __real_readdir(DIR* directory);
dirent* __wrap_readdir(DIR* directory);
}

namespace orva_testing::readdir_fault {
namespace {

// Test binaries read directories on one thread.
bool failing = false;
std::size_t records_left = 0;
int failure = 0;
bool types_hidden = false;

}  // namespace

void fail_after(std::size_t records, int error) {
  failing = true;
  records_left = records;
  failure = error;
}

void hide_types(bool hide) { types_hidden = hide; }

void disarm() {
  failing = false;
  types_hidden = false;
}

}  // namespace orva_testing::readdir_fault

namespace fault = orva_testing::readdir_fault;

dirent* __wrap_readdir(DIR* directory) {
  if (fault::failing && fault::records_left == 0) {
    fault::failing = false;
    errno = fault::failure;
    return nullptr;
  }
  dirent* record = __real_readdir(directory);
  if (record == nullptr) return record;
  if (fault::failing) --fault::records_left;
  if (fault::types_hidden) record->d_type = DT_UNKNOWN;
  return record;
}
