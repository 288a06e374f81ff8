// Prints the ANSI code page of the process, so that a test can tell which code page Wine
// gives a locale: 932 for ja_JP.UTF-8, 1252 for C.UTF-8.
#include <windows.h>

#include <cstdio>

int main() {
  std::printf("%u\n", GetACP());
  return 0;
}
