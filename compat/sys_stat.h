#pragma once

#include <sys/stat.h>

namespace compat {

// Creates a directory the way the one-argument host call does: `mode` is ignored,
// no umask is applied here. 0, or -1 with errno from the host.
int mkdir(const char* path, mode_t mode);

// The status of `path` as the host's stat gives it, on every host; a trailing separator
// ("a/") names the directory before it. 0, or -1 with errno from the host.
int stat(const char* path, struct stat* status);

// Sets the permission bits of `path` to `mode`, as far as the host keeps them (the Windows
// host keeps only whether the file may be written). 0, or -1 with errno from the host.
int chmod(const char* path, mode_t mode);

// Makes the mode set for `mode_text` (the text of mkdir -m): a private heap copy that the
// caller passes to getmode and then frees with free(). Refuses a text that neither starts
// with an octal number nor is a comma-separated list of [ugoa]*[+-=]+[rwx]* clauses (each
// with at least one operator; the empty text is refused too): null with EINVAL. Null with
// ENOMEM when memory is exhausted.
void* setmode(const char* mode_text);

// The permission bits that `set` names. An octal text (after white space and one sign,
// the octal digits up to the first other character) is taken as it stands, as a 32-bit
// unsigned value, a minus negating it; the rest of the text and `base_mode` play no part.
// A symbolic text is applied clause by clause to `base_mode` as chmod applies it; an empty
// who list stands for `a` (no umask is consulted). The caller keeps the low 16 bits.
int getmode(const void* set, mode_t base_mode);

// Writes ten '-', one space and a zero byte into `buffer` (at least 12 bytes), whatever
// the mode.
void strmode(mode_t mode, char* buffer);

}  // namespace compat
