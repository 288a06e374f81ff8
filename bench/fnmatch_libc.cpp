// The C library's fnmatch behind names of our own. This file never includes
// compat/fnmatch.h: the C library's <fnmatch.h> defines the FNM_* names as macros, with
// other values than ours.
#include <fnmatch.h>

// The C library's flag word for the flags of ours that a case uses.
int libc_fnmatch_flags(bool noescape, bool pathname, bool period, bool leading_dir, bool casefold) {
  return (noescape ? FNM_NOESCAPE : 0) | (pathname ? FNM_PATHNAME : 0) | (period ? FNM_PERIOD : 0) |
         (leading_dir ? FNM_LEADING_DIR : 0) | (casefold ? FNM_CASEFOLD : 0);
}

// 0 on a match, as the C library's fnmatch; `flags` from libc_fnmatch_flags.
int libc_fnmatch(const char* pattern, const char* string, int flags) {
  return fnmatch(pattern, string, flags);
}
