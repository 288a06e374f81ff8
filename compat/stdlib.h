#pragma once

#include <cstddef>

namespace compat {

// Size of every path buffer the layer fills, terminating zero byte included.
constexpr std::size_t PATH_BUFFER_SIZE = 260;

// Writes the absolute form of `path` into `resolved` (PATH_BUFFER_SIZE bytes) and returns
// it. The path is handled as text and need not exist; an empty path gives the current
// directory. Null with errno on failure: ERANGE when the result and its zero byte do not
// fit, EINVAL for a null `resolved`.
char* realpath(const char* path, char* resolved);

// realloc that frees `block` when the resize fails, so the caller may store the result
// over its only pointer. Null means out of memory, and `block` is gone. A size of 0 frees
// `block` once and returns null.
void* reallocf(void* block, std::size_t size);

}  // namespace compat
