#pragma once

// Exhaustive inputs for differential tests: every word over a small alphabet.

#include <cstddef>
#include <string>
#include <vector>

namespace orva_testing {

// Every word of at most `max_length` pieces of `alphabet` (characters or strings), the
// empty word first, then by length.
template <typename Piece, std::size_t N>
std::vector<std::string> words(const Piece (&alphabet)[N], std::size_t max_length) {
  std::vector<std::string> all{""};
  for (std::size_t begin = 0, length = 1; length <= max_length; ++length) {
    std::size_t end = all.size();
    for (std::size_t i = begin; i < end; ++i) {
      for (const Piece& piece : alphabet) all.push_back(all[i] + piece);
    }
    begin = end;
  }
  return all;
}

}  // namespace orva_testing
