#pragma once

// The host's calls on files and their names.

namespace compat::host {

// True where names are UTF-8 whatever the locale, false where they are the locale's bytes.
bool names_are_utf8();

}  // namespace compat::host
