#include "compat/host.h"

// --- pattern matching ---

namespace compat::host {

// The runtime's code pages are not checked here (some are multibyte, with ASCII bytes as
// trail bytes); false leaves every byte to mbrtowc, which is always exact.
bool ascii_decodes_to_itself() { return false; }

// Without a known code page nothing is known of towlower either.
bool ascii_case_is_plain() { return false; }

}  // namespace compat::host

