#pragma once

// The matcher's questions about the current locale.

namespace compat::host {

// True when, in the current LC_CTYPE locale, mbrtowc decodes every byte below 0x80 to
// itself and leaves the conversion state initial; false when that is not known.
bool ascii_decodes_to_itself();

// True when, in the current LC_CTYPE locale, ascii_decodes_to_itself() holds and towlower
// maps every value below 0x80 to its plain ASCII lower case (A-Z to a-z, the rest to
// itself); false when that is not known.
bool ascii_case_is_plain();

}  // namespace compat::host

