#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

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

// Paths in the tests are UTF-8 text on every host; these make a std::filesystem path of one
// and give one back (the narrow conversions of std::filesystem use the ANSI code page on
// the Windows host, which loses most names).
std::filesystem::path fs_path(const std::string& utf8);
std::string utf8_of(const std::filesystem::path& path);

// The names in the directory `path`, sorted.
std::vector<std::string> list_directory(const std::string& path);

// Small file-system helpers for arranging a test.
void write_file(const std::string& path, const std::string& bytes);
std::string read_file(const std::string& path);
bool is_directory(const std::string& path);
bool exists(const std::string& path);
// Permission bits (mode & 07777) of an existing path, or -1.
int permissions(const std::string& path);

// The status of `path` (UTF-8) as the host runtime's own status call gives it, in the
// layer's record (on the Windows host _wstat64, links followed). 0, or -1 with errno.
int host_stat(const std::string& path, struct stat* status);

// Hides the file at `path` from listings that hide such files: on the Windows host its
// hidden attribute; elsewhere nothing (a leading dot in its name does that).
void make_hidden(const std::string& path);

// True when the process runs as the superuser, for whom permission tests mean nothing
// (defined with the host's run_program).
bool running_as_root();

}  // namespace orva_testing
