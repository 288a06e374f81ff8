// What the matcher may assume of the current locale's ASCII, on the Windows runtime.

#include "compat/fnmatch_locale.h"

namespace compat {

// The runtime's code pages are not checked here (some are multibyte, with ASCII bytes as
// trail bytes), and without a known code page nothing is known of towlower either: no
// claim leaves every byte to mbrtowc and towlower, which are always exact.
LocaleAscii locale_ascii() { return {false, false}; }

}  // namespace compat
