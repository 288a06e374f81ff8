#pragma once

// The five facts fixed at build time; the build writes their definitions
// (cmake/build_facts.cmake). Each is one word in its documented form.
extern const char build_revision[];  // 8 lowercase hexadecimal digits
extern const char build_time[];      // YYYY-MM-DDThh:mm:ssZ
extern const char build_changed[];   // YYYY-MM-DDThh:mm:ss+hh:mm
extern const char build_os[];        // as `uname -o` says
extern const char build_machine[];   // as `uname -m` says
