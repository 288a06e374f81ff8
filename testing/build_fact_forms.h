#pragma once

// The documented form of each of orva-sdkversion's five build facts: what the build-facts
// script must write and what the tool must print.

namespace orva_testing {

struct BuildFactForm {
  const char* variable;  // its name in the generated source
  const char* option;    // the tool's option that prints it
  const char* form;      // a regular expression (std::regex) for the whole value
};

// A word: no white space, and nothing that would need escaping in the generated source.
inline constexpr char build_fact_word[] = "[^ \t\r\n\"\\\\]+";

inline constexpr BuildFactForm build_fact_forms[] = {
    {"build_revision", "-v", "[0-9a-f]{8}"},
    {"build_time", "-d", "[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z"},
    {"build_changed", "-c",
     "[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}[+-][0-9]{2}:[0-9]{2}"},
    {"build_os", "-o", build_fact_word},
    {"build_machine", "-m", build_fact_word},
};

}  // namespace orva_testing
