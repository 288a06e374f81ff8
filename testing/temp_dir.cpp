#include "testing/temp_dir.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <system_error>

#include <gtest/gtest.h>

namespace orva_testing {

namespace fs = std::filesystem;

fs::path fs_path(const std::string& utf8) {
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string utf8_of(const fs::path& path) {
  std::u8string text = path.generic_u8string();
  return {text.begin(), text.end()};
}

std::vector<std::string> list_directory(const std::string& path) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(fs_path(path), ec); !ec && it != fs::directory_iterator();
       it.increment(ec)) {
    names.push_back(utf8_of(it->path().filename()));
  }
  std::sort(names.begin(), names.end());
  return names;
}

TempDir::TempDir() {
  std::error_code ec;
  fs::path base = fs::temp_directory_path(ec);
  if (ec) base = "/tmp";
  std::random_device random;
  for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    fs::path candidate = base / ("orva-test-" + std::to_string(random()));
    if (fs::create_directory(candidate, ec)) path_ = utf8_of(candidate);
  }
  if (path_.empty()) ADD_FAILURE() << "cannot make a temporary directory under " << base;
}

TempDir::~TempDir() {
  std::error_code ec;
  // A test may leave directories without search or write permission behind.
  for (auto it = fs::recursive_directory_iterator(
           fs_path(path_), fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::permissions(fs_path(path_), fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(fs_path(path_), ec);
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream file(fs_path(path), std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!file) ADD_FAILURE() << "cannot write " << path;
}

std::string read_file(const std::string& path) {
  std::ifstream file(fs_path(path), std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

bool is_directory(const std::string& path) {
  std::error_code ec;
  return fs::is_directory(fs_path(path), ec);
}

bool exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(fs_path(path), ec));
}

int permissions(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return -1;
  return static_cast<int>(st.st_mode & 07777);
}

}  // namespace orva_testing
