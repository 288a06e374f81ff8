#include "testing/descriptors.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>

#include <cstring>

namespace orva_testing {

int open_descriptor_count() {
  DIR* listing = opendir("/dev/fd");
  if (listing == nullptr) return -1;
  int count = 0;
  while (const dirent* record = readdir(listing)) {
    if (record->d_name[0] != '.') ++count;
  }
  closedir(listing);
  // The listing's own descriptor was among them.
  return count - 1;
}

DescriptorLimit::DescriptorLimit(int more) : saved_soft_(0), ok_(false) {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
  saved_soft_ = limit.rlim_cur;
  // The kernel gives each new descriptor the lowest free number below the limit.
  rlim_t number = 0;
  for (int free = 0; number < limit.rlim_cur; ++number) {
    if (fcntl(static_cast<int>(number), F_GETFD) != -1) continue;
    if (free == more) break;
    ++free;
  }
  if (number >= limit.rlim_cur) return;
  limit.rlim_cur = number;
  ok_ = setrlimit(RLIMIT_NOFILE, &limit) == 0;
}

DescriptorLimit::~DescriptorLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
  limit.rlim_cur = saved_soft_;
  setrlimit(RLIMIT_NOFILE, &limit);
}

}  // namespace orva_testing
