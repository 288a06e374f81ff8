#include "compat/sys_stat.h"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "compat/host_files.h"

namespace compat {

int mkdir(const char* path, mode_t /*mode*/) { return host::mkdir(path); }

int stat(const char* path, struct stat* status) { return host::stat(path, status); }

int chmod(const char* path, mode_t mode) { return host::chmod(path, mode); }

namespace {

bool is_octal_digit(char c) { return c >= '0' && c <= '7'; }

// strtoul in base 8 as a host with a 32-bit unsigned long does it, on every host: white
// space, one sign, octal digits; on overflow the largest value, whatever the sign. *stop is
// `text` itself when no digit was read.
std::uint32_t read_octal(const char* text, const char** stop) {
  const char* at = text;
  while (std::isspace(static_cast<unsigned char>(*at)) != 0) ++at;
  bool negative = *at == '-';
  if (*at == '+' || *at == '-') ++at;
  *stop = text;
  if (!is_octal_digit(*at)) return 0;
  std::uint32_t value = 0;
  bool overflow = false;
  for (; is_octal_digit(*at); ++at) {
    auto digit = static_cast<std::uint32_t>(*at - '0');
    if (value > (UINT32_MAX - digit) / 8) overflow = true;
    value = value * 8 + digit;
  }
  *stop = at;
  if (overflow) return UINT32_MAX;
  return negative ? 0U - value : value;
}

bool starts_with_octal(const char* text) {
  const char* stop = nullptr;
  read_octal(text, &stop);
  return stop != text;
}

const char* skip_run(const char* text, const char* letters) {
  while (*text != '\0' && std::strchr(letters, *text) != nullptr) ++text;
  return text;
}

// One clause of a symbolic mode: the who run, the operator run and the permission run.
struct Clause {
  const char* who;
  const char* operators;
  const char* permissions;
  const char* end;
};

Clause split_clause(const char* text) {
  Clause clause{};
  clause.who = text;
  clause.operators = skip_run(clause.who, "ugoa");
  clause.permissions = skip_run(clause.operators, "+-=");
  clause.end = skip_run(clause.permissions, "rwx");
  return clause;
}

// Every clause needs an operator: one without ("u", "", the empty clause after a comma)
// names no change and is almost certainly a mistake.
bool is_symbolic(const char* text) {
  for (;;) {
    Clause clause = split_clause(text);
    if (clause.operators == clause.permissions) return false;
    if (*clause.end == '\0') return true;
    if (*clause.end != ',') return false;
    text = clause.end + 1;
  }
}

mode_t bits_of(const char* begin, const char* end, const char* letters, const mode_t* bits) {
  mode_t result = 0;
  for (const char* at = begin; at != end; ++at) {
    result |= bits[static_cast<std::size_t>(std::strchr(letters, *at) - letters)];
  }
  return result;
}

mode_t who_mask(const Clause& clause) {
  static constexpr mode_t who_bits[] = {0700, 0070, 0007, 0777};
  if (clause.who == clause.operators) return 0777;  // no who: as `a`
  return bits_of(clause.who, clause.operators, "ugoa", who_bits);
}

mode_t permission_bits(const Clause& clause) {
  static constexpr mode_t permission_bits_of[] = {0444, 0222, 0111};
  return bits_of(clause.permissions, clause.end, "rwx", permission_bits_of);
}

mode_t apply_operator(mode_t mode, char operation, mode_t who, mode_t permissions) {
  if (operation == '+') return mode | permissions;
  if (operation == '-') return mode & ~permissions;
  return (mode & ~who) | permissions;  // '='
}

// As chmod reads "u+-w": each operator but the last has an empty permission list.
mode_t apply_clause(mode_t mode, const Clause& clause) {
  mode_t who = who_mask(clause);
  mode_t permissions = permission_bits(clause) & who;
  for (const char* at = clause.operators; at != clause.permissions; ++at) {
    bool last = at + 1 == clause.permissions;
    mode = apply_operator(mode, *at, who, last ? permissions : 0);
  }
  return mode;
}

// Applies the clauses up to the first text outside the symbolic form.
mode_t apply_symbolic(const char* text, mode_t mode) {
  for (;;) {
    Clause clause = split_clause(text);
    mode = apply_clause(mode, clause);
    if (*clause.end != ',') return mode;
    text = clause.end + 1;
  }
}

// A heap copy of `text` that the caller frees with free(); null with ENOMEM.
char* copy_of(const char* text) {
  std::size_t size = std::strlen(text) + 1;
  auto* copy = static_cast<char*>(std::malloc(size));
  if (copy == nullptr) {
    errno = ENOMEM;
    return nullptr;
  }
  std::memcpy(copy, text, size);
  return copy;
}

}  // namespace

void* setmode(const char* mode_text) {
  if (!starts_with_octal(mode_text) && !is_symbolic(mode_text)) {
    errno = EINVAL;
    return nullptr;
  }
  return copy_of(mode_text);
}

int getmode(const void* set, mode_t base_mode) {
  const auto* text = static_cast<const char*>(set);
  const char* stop = nullptr;
  std::uint32_t octal = read_octal(text, &stop);
  if (stop != text) return static_cast<int>(octal);
  return static_cast<int>(apply_symbolic(text, base_mode));
}

void strmode(mode_t /*mode*/, char* buffer) { std::memcpy(buffer, "---------- ", 12); }

}  // namespace compat
