// The entry point of every Windows tool. The runtime hands it the command line as UTF-16
// (the tools are linked with -municode); the tool's own main receives it as UTF-8, so that
// no character of an argument is lost to the ANSI code page.
#include <cstdio>
#include <cstdlib>
#include <cwchar>

#include "compat/utf16.h"

// The runtime expands no wildcards in the command line: any expansion is the shell's. The
// startup code reads this switch; defining it here keeps that out of the toolchain's hands.
extern "C" {
int _dowildcard = 0;
}

// The tool's main. C++ may not name main itself, so it is declared under another name
// that stands for the same symbol (with the target's prefix for C symbols, if any).
#define ORVA_TEXT(x) #x
#define ORVA_C_SYMBOL(prefix, name) ORVA_TEXT(prefix) name
int tool_main(int argc, char** argv) __asm__(ORVA_C_SYMBOL(__USER_LABEL_PREFIX__, "main"));

namespace {

// The arguments as UTF-8, in one block that lives as long as the process: the pointers,
// their null terminator, then the texts. Null when memory is short.
char** utf8_arguments(int argc, wchar_t** arguments) {
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

extern "C" int wmain(int argc, wchar_t** arguments) {
  char** argv = utf8_arguments(argc, arguments);
  if (argv == nullptr) {
    std::fputs("out of memory\n", stderr);
    return 1;
  }
  return tool_main(argc, argv);
}
