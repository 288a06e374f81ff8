// The command line on the Windows host: the runtime's own split of the wide (UTF-16)
// command line, converted to UTF-8, so that no character of an argument is lost to the
// ANSI code page. Wildcards are never expanded: any expansion is the shell's (the tools
// also link the toolchain's CRT_noglob.o, so that the runtime's narrow split expands none).

#include "compat/arguments.h"

#include <cstdio>
#include <cstdlib>
#include <cwchar>

#include "compat/utf16.h"

namespace {

// The runtime's split of the wide command line, exported by msvcrt.dll; no public header
// of the toolchain declares it. `new_mode` is the runtime's _set_new_mode setting.
struct StartupInfo {
  int new_mode;
};
extern "C" int __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** environment,
                              int expand_wildcards, StartupInfo* startup);

// The arguments as UTF-8, in one block that lives as long as the process: the pointers,
// their null terminator, then the texts. Null when memory is short.
char** utf8_copy(int argc, wchar_t** arguments) {
  auto count = static_cast<std::size_t>(argc);
  std::size_t size = (count + 1) * sizeof(char*);
  for (std::size_t i = 0; i < count; ++i) {
    size += compat::utf8_length(arguments[i], std::wcslen(arguments[i])) + 1;
  }
  auto** argv = static_cast<char**>(std::malloc(size));
  if (argv == nullptr) return nullptr;
  auto* text = reinterpret_cast<char*>(argv + count + 1);
  for (std::size_t i = 0; i < count; ++i) {
    argv[i] = text;
    text = compat::write_utf8(arguments[i], std::wcslen(arguments[i]), text);
    *text++ = '\0';
  }
  argv[count] = nullptr;
  return argv;
}

}  // namespace

namespace compat {

void utf8_arguments(int* argc, char*** argv) {
  int count = 0;
  wchar_t** wide = nullptr;
  wchar_t** environment = nullptr;
  StartupInfo startup{0};
  char** copy = nullptr;
  if (__wgetmainargs(&count, &wide, &environment, 0, &startup) >= 0 && wide != nullptr) {
    copy = utf8_copy(count, wide);
  }
  if (copy == nullptr) {
    std::fputs("out of memory\n", stderr);
    std::exit(1);
  }
  *argc = count;
  *argv = copy;
}

}  // namespace compat
