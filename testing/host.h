#pragma once

namespace orva_testing {

// True in the Windows build: a test switches on it only where the host really differs,
// and says why in one line.
#if defined(_WIN32)
inline constexpr bool windows_host = true;
#else
inline constexpr bool windows_host = false;
#endif

}  // namespace orva_testing
