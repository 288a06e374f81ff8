#pragma once

// Path names as text.

namespace compat {

// The directory part of `path`, as the host's dirname gives it: written over `path`, or a
// constant "." that the caller must not change. On the Windows host the name is taken as
// UTF-8 bytes, never decoded in the ANSI code page (where a lead byte could swallow the
// '/' after it); '/' and '\' both separate, and a drive ("C:") stays in front.
char* dirname(char* path);

}  // namespace compat
