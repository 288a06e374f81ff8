#pragma once

#include <string>

namespace orva_testing {

// A fresh directory under the system's temporary directory, removed with everything in it
// (unreadable subdirectories included) when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + relative
  std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

 private:
  std::string path_;
};

// Small file-system helpers for arranging a test.
void write_file(const std::string& path, const std::string& bytes);
std::string read_file(const std::string& path);
bool is_directory(const std::string& path);
bool exists(const std::string& path);
// Permission bits (mode & 07777) of an existing path, or -1.
int permissions(const std::string& path);

// True when the process runs as the superuser, for whom permission tests mean nothing
// (defined with the host's run_program).
bool running_as_root();

}  // namespace orva_testing
