// compat::fnmatch: the matcher in the encoding of the host's names. A file of its own, so
// that what runs the matcher in a chosen encoding (the fuzzer) needs no host file.

#include "compat/fnmatch.h"
#include "compat/fnmatch_encoding.h"
#include "compat/host_files.h"

namespace compat {

int fnmatch(const char* pattern, const char* string, int flags) {
  const Decoder decoder = host::names_are_utf8() ? Decoder::utf8 : Decoder::locale;
  return fnmatch_in(pattern, string, flags, {decoder, true});
}

}  // namespace compat
