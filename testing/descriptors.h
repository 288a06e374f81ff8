#pragma once

// Counting and limiting what a process holds open, for tests of code that must not leak
// descriptors (on the Windows host, handles).

namespace orva_testing {

// The number of descriptors the process has open; on the Windows host, the number of its
// handles. -1 when the host cannot say. On POSIX hosts it lists /dev/fd with readdir,
// which takes one descriptor (not counted), so one must be free.
int open_descriptor_count();

#ifndef _WIN32
// While it lives, the process can open exactly `more` descriptors besides those it has
// open: the soft RLIMIT_NOFILE is lowered to just above the `more`th free number, and
// restored when the object goes. ok() is false when the limit could not be set.
class DescriptorLimit {
 public:
  explicit DescriptorLimit(int more);
  ~DescriptorLimit();
  DescriptorLimit(const DescriptorLimit&) = delete;
  DescriptorLimit& operator=(const DescriptorLimit&) = delete;

  bool ok() const { return ok_; }

 private:
  unsigned long long saved_soft_;
  bool ok_;
};
#endif

}  // namespace orva_testing
