#include "compat/fts.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "compat/fts_ancestors.h"
#include "compat/host_directories.h"
#include "compat/stdlib.h"

namespace compat {

namespace {

// The stream as fts_open allocates it: the client's record, then what the walk keeps for
// itself.
struct Stream {
  FTS fts;
  // The directories from the current root down to the one being read (the ancestors of
  // every entry of the lists being walked), for the cycle check.
  FtsAncestors ancestors;
  // Lists the directories, one at a time.
  host::DirectoryReader* reader;
};

// A stream's address is that of the whole block: FTS comes first in a standard-layout record.
static_assert(std::is_standard_layout_v<Stream> && offsetof(Stream, fts) == 0);

FtsAncestors* ancestors_of(FTS* stream) { return &reinterpret_cast<Stream*>(stream)->ancestors; }

host::DirectoryReader* reader_of(FTS* stream) { return reinterpret_cast<Stream*>(stream)->reader; }

// The path buffer always grows by this much beyond what is needed, so that a walk rarely
// reallocates it.
constexpr std::size_t PATH_SLACK = 256;
// The first path buffer holds at least this much before the slack (the host's path limit).
constexpr std::size_t FIRST_PATH_SIZE = 260;
// The sort array grows with room for this many more entries than needed.
constexpr std::size_t SORT_SPARE = 40;
// The sort array holds entry pointers, not entries.
constexpr std::size_t SORT_SLOT_SIZE = sizeof(FTSENT*);  // NOLINT(bugprone-sizeof-expression)

// An entry's status record sits right behind it in the same block.
static_assert(sizeof(FTSENT) % alignof(struct stat) == 0);

bool is_set(const FTS* stream, int option) { return (stream->fts_options & option) != 0; }

bool is_dot_or_dot_dot(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// A new entry for the `length` bytes at `name` (not necessarily NUL-terminated): one heap
// block holding the record, the status record (unless FTS_NOSTAT) and the name. Every
// field has a defined value; the caller sets level, parent, path length and info. Null
// with errno from the heap.
FTSENT* fts_new_entry(FTS* stream, const char* name, std::size_t length) {
  std::size_t status_size = is_set(stream, FTS_NOSTAT) ? 0 : sizeof(struct stat);
  std::size_t header = sizeof(FTSENT) + status_size + 1;
  if (length > SIZE_MAX - header) {
    errno = ENOMEM;
    return nullptr;
  }
  auto* entry = static_cast<FTSENT*>(std::malloc(header + length));
  if (entry == nullptr) return nullptr;
  char* tail = reinterpret_cast<char*>(entry + 1);
  char* copy = tail + status_size;
  std::memcpy(copy, name, length);
  copy[length] = '\0';
  // Field by field: a whole-record clear costs more than the entry's other work together.
  entry->fts_cycle = nullptr;
  entry->fts_parent = nullptr;
  entry->fts_link = nullptr;
  entry->fts_number = 0;
  entry->fts_pointer = nullptr;
  entry->fts_accpath = copy;
  entry->fts_path = stream->fts_path;
  entry->fts_errno = 0;
  entry->fts_symfd = 0;
  entry->fts_pathlen = 0;
  entry->fts_namelen = length;
  entry->fts_ino = 0;
  entry->fts_dev = 0;
  entry->fts_nlink = 0;
  entry->fts_level = 0;
  entry->fts_info = 0;
  entry->fts_flags = 0;
  entry->fts_instr = FTS_NOINSTR;
  entry->fts_statp = status_size == 0 ? nullptr : reinterpret_cast<struct stat*>(tail);
  entry->fts_name = copy;
  entry->fts_fts = stream;
  return entry;
}

void fts_free_list(FTSENT* head) {
  while (head != nullptr) {
    FTSENT* next = head->fts_link;
    std::free(head);
    head = next;
  }
}

void release_child_list(FTS* stream) {
  fts_free_list(stream->fts_child);
  stream->fts_child = nullptr;
}

// Derives the info code of `entry` from what the host told of it: its type alone where no
// status was taken (FTS_NOSTAT), else its status `status`, kept in the entry's record. A
// directory that is one of the directories above it (reached again through a link) is
// FTS_DC, with fts_cycle that one.
int fts_classify(FTS* stream, FTSENT* entry, const host::FileFacts& facts,
                 const struct stat& status) {
  if (!facts.has_status) return facts.type == S_IFREG ? FTS_F : FTS_DEFAULT;
  if (facts.status_error != 0) {
    entry->fts_errno = facts.status_error;
    if (entry->fts_statp != nullptr) std::memset(entry->fts_statp, 0, sizeof *entry->fts_statp);
    return FTS_NS;
  }
  if (entry->fts_statp != nullptr) *entry->fts_statp = status;
  if (S_ISREG(status.st_mode)) return FTS_F;
  if (!S_ISDIR(status.st_mode)) return FTS_DEFAULT;
  entry->fts_dev = facts.identity.device;
  entry->fts_ino = facts.identity.file;
  entry->fts_nlink = static_cast<std::int64_t>(status.st_nlink);
  if (is_dot_or_dot_dot(entry->fts_name)) return FTS_DOT;
  entry->fts_cycle = fts_ancestors_find(ancestors_of(stream), entry->fts_dev, entry->fts_ino);
  return entry->fts_cycle != nullptr ? FTS_DC : FTS_D;
}

// Takes the status of `entry` afresh by its path (a root, FTS_FOLLOW, FTS_AGAIN) and
// derives its info code.
int fts_classify_by_path(FTS* stream, FTSENT* entry) {
  host::FileFacts facts;
  struct stat status;
  host::describe(entry->fts_accpath, &facts, &status);
  return fts_classify(stream, entry, facts, status);
}

// How much the scan in `mode` needs to know of each entry.
host::Want wanted(const FTS* stream, int mode) {
  if (mode == FTS_SCAN_NAMES) return host::Want::name;
  return is_set(stream, FTS_NOSTAT) ? host::Want::kind : host::Want::status;
}

// Grows the path buffer by `more` bytes and the slack. On failure (errno ENOMEM) the
// buffer and its capacity stay as they were, so that every entry the client holds still
// reads its path.
bool fts_grow_path(FTS* stream, std::size_t more) {
  if (more > SIZE_MAX - PATH_SLACK - stream->fts_pathlen) {
    errno = ENOMEM;
    return false;
  }
  std::size_t size = stream->fts_pathlen + more + PATH_SLACK;
  auto* buffer = static_cast<char*>(std::realloc(stream->fts_path, size));
  if (buffer == nullptr) {
    errno = ENOMEM;
    return false;
  }
  stream->fts_path = buffer;
  stream->fts_pathlen = size;
  return true;
}

int fts_compare_entries(const void* a, const void* b) {
  // The comparison takes the conventional, non-const pointers to the array's elements.
  auto* first = static_cast<const FTSENT**>(const_cast<void*>(a));
  auto* second = static_cast<const FTSENT**>(const_cast<void*>(b));
  return (*first)->fts_fts->fts_compar(first, second);
}

// Sorts the `count` (at least 2) entries from `head` with the client's comparison and
// returns the new head. Without memory for the sort array the list keeps its order.
FTSENT* fts_sort_siblings(FTS* stream, FTSENT* head, std::size_t count) {
  if (stream->fts_nitems < count) {
    int saved_errno = errno;
    stream->fts_nitems = count + SORT_SPARE;
    std::size_t size = stream->fts_nitems <= SIZE_MAX / SORT_SLOT_SIZE
                           ? stream->fts_nitems * SORT_SLOT_SIZE
                           : SIZE_MAX;
    stream->fts_array = static_cast<FTSENT**>(reallocf(stream->fts_array, size));
    if (stream->fts_array == nullptr) {
      stream->fts_nitems = 0;
      errno = saved_errno;
      return head;
    }
  }
  FTSENT** array = stream->fts_array;
  std::size_t i = 0;
  for (FTSENT* p = head; p != nullptr; p = p->fts_link) array[i++] = p;
  std::qsort(array, count, SORT_SLOT_SIZE, fts_compare_entries);
  for (i = 0; i + 1 < count; ++i) array[i]->fts_link = array[i + 1];
  array[count - 1]->fts_link = nullptr;
  return array[0];
}

void rebase_entry(FTSENT* entry, char* buffer) {
  // Every entry reached through the buffer is reached through its start.
  if (entry->fts_accpath != entry->fts_name) entry->fts_accpath = buffer;
  entry->fts_path = buffer;
}

// Re-points every live entry at the moved path buffer: the kept child list, then the list
// being built and, through the parents, each ancestor with its later siblings.
void fts_rebase_paths(FTS* stream, FTSENT* head) {
  char* buffer = stream->fts_path;
  for (FTSENT* p = stream->fts_child; p != nullptr; p = p->fts_link) rebase_entry(p, buffer);
  FTSENT* p = head != nullptr ? head : stream->fts_cur;
  while (p->fts_level >= FTS_ROOTLEVEL) {
    rebase_entry(p, buffer);
    p = p->fts_link != nullptr ? p->fts_link : p->fts_parent;
  }
}

// Marks the current entry FTS_ERR and stops the stream: memory ran out. errno is kept.
FTSENT* stop_stream(FTS* stream) {
  stream->fts_cur->fts_info = FTS_ERR;
  stream->fts_options |= FTS_STOP;
  return nullptr;
}

// Frees what a failed scan holds and stops the stream. errno keeps the heap's error.
FTSENT* fail_scan(FTS* stream, FTSENT* in_hand, FTSENT* list) {
  int saved_errno = errno;
  std::free(in_hand);
  fts_free_list(list);
  host::close_directory(reader_of(stream));
  errno = saved_errno;
  return stop_stream(stream);
}

// A listing that failed part-way (errno `error`). In the walk the directory keeps the
// error, so its post-order visit is FTS_ERR, and the entries read so far are returned;
// with none read it is FTS_DNR. A child list is dropped: null with errno the error.
FTSENT* fail_listing(FTS* stream, int mode, FTSENT* list, std::size_t count, int error) {
  FTSENT* cur = stream->fts_cur;
  if (mode == FTS_SCAN_READ) {
    cur->fts_errno = error;
    if (count != 0) return list;
    cur->fts_info = FTS_DNR;
  }
  fts_free_list(list);
  errno = error;
  return nullptr;
}

// Reads the current directory into a new sibling list (see the scan modes). Null when it
// cannot be opened (FTS_DNR in FTS_SCAN_READ mode), when it is empty (FTS_DP in
// FTS_SCAN_READ mode), or when memory runs out (FTS_ERR and FTS_STOP).
FTSENT* fts_scan_dir(FTS* stream, int mode) {
  FTSENT* cur = stream->fts_cur;
  host::DirectoryReader* reader = reader_of(stream);
  const FTSENT* parent = cur->fts_parent;
  host::Place place{cur->fts_level, parent->fts_pathlen, {parent->fts_dev, parent->fts_ino}};
  if (host::open_directory(reader, cur->fts_accpath, {cur->fts_dev, cur->fts_ino}, place) != 0) {
    if (mode == FTS_SCAN_READ) {
      cur->fts_info = FTS_DNR;
      cur->fts_errno = errno;
    }
    return nullptr;
  }
  // Entries' paths are the directory's path, one "/" and their names.
  std::size_t len = cur->fts_pathlen;
  if (len == 0 || stream->fts_path[len - 1] != '/') ++len;
  std::size_t room = stream->fts_pathlen - len;
  int level = cur->fts_level + 1;
  bool see_dots = is_set(stream, FTS_SEEDOT);
  host::Want want = wanted(stream, mode);
  FTSENT* head = nullptr;
  FTSENT* tail = nullptr;
  std::size_t count = 0;

  host::Entry record;
  struct stat status;
  int got;
  while ((got = host::read_entry(reader, want, see_dots, &record, &status)) > 0) {
    const char* name = record.name;
    std::size_t n = record.name_length;
    FTSENT* p = fts_new_entry(stream, name, n);
    if (p == nullptr) return fail_scan(stream, nullptr, head);
    if (n >= room) {
      char* old = stream->fts_path;
      if (!fts_grow_path(stream, len + n + 1)) return fail_scan(stream, p, head);
      // Every held entry follows the buffer at once, before anything later can fail.
      if (stream->fts_path != old) {
        p->fts_path = stream->fts_path;
        fts_rebase_paths(stream, head);
      }
      room = stream->fts_pathlen - len;
    }
    p->fts_level = level;
    p->fts_pathlen = len + n;
    p->fts_parent = cur;
    p->fts_accpath = p->fts_path;
    if (want == host::Want::name) {
      p->fts_info = FTS_NSOK;
      if (p->fts_statp != nullptr) std::memset(p->fts_statp, 0, sizeof *p->fts_statp);
    } else {
      p->fts_info = fts_classify(stream, p, record.facts, status);
    }
    if (tail == nullptr) {
      head = p;
    } else {
      tail->fts_link = p;
    }
    tail = p;
    ++count;
  }
  int read_error = got < 0 ? errno : 0;
  host::close_directory(reader);

  if (read_error != 0 && fail_listing(stream, mode, head, count, read_error) == nullptr) {
    return nullptr;
  }
  if (count == 0) {
    if (mode == FTS_SCAN_READ) cur->fts_info = FTS_DP;
    return nullptr;
  }
  if (stream->fts_compar != nullptr && count >= 2) return fts_sort_siblings(stream, head, count);
  return head;
}

// Makes root `p` current: its path is its whole text, its name what follows the last "/"
// (unless the root is "/" itself).
void fts_load_root(FTS* stream, FTSENT* p) {
  p->fts_pathlen = p->fts_namelen;
  std::memcpy(stream->fts_path, p->fts_name, p->fts_namelen + 1);
  const char* slash = std::strrchr(p->fts_name, '/');
  if (slash != nullptr && !(slash == p->fts_name && slash[1] == '\0')) {
    std::size_t length = p->fts_namelen - static_cast<std::size_t>(slash + 1 - p->fts_name);
    std::memmove(p->fts_name, slash + 1, length + 1);
    p->fts_namelen = length;
  }
  p->fts_accpath = stream->fts_path;
  p->fts_path = stream->fts_path;
  stream->fts_dev = p->fts_dev;
}

// Writes p's path into the buffer: its parent's path (without a trailing "/"), "/" and
// its name.
void compose_path(FTS* stream, FTSENT* p) {
  const FTSENT* parent = p->fts_parent;
  std::size_t k = parent->fts_pathlen;
  if (k > 0 && stream->fts_path[k - 1] == '/') --k;
  stream->fts_path[k] = '/';
  std::memcpy(stream->fts_path + k + 1, p->fts_name, p->fts_namelen + 1);
}

FTSENT* make_current(FTS* stream, FTSENT* p) {
  compose_path(stream, p);
  stream->fts_cur = p;
  return p;
}

// Frees the roots from `roots` and the rest of what fts_open made (the sort array of the
// roots included), keeping errno.
FTS* fail_open(FTS* stream, FTSENT* root_parent, FTSENT* roots) {
  int saved_errno = errno;
  fts_free_list(roots);
  std::free(root_parent);
  std::free(stream->fts_array);
  std::free(stream->fts_path);
  std::free(stream);
  errno = saved_errno;
  return nullptr;
}

std::size_t longest_length(char* const* argv) {
  std::size_t longest = 0;
  for (char* const* root = argv; *root != nullptr; ++root) {
    std::size_t length = std::strlen(*root);
    if (length > longest) longest = length;
  }
  return longest;
}

// Makes the entries of the roots: in argument order, or in reverse order ready to be
// sorted. The head of the list, or null after releasing everything (errno set).
FTSENT* make_roots(FTS* stream, char* const* argv, FTSENT* root_parent) {
  FTSENT* head = nullptr;
  FTSENT* tail = nullptr;
  for (char* const* root = argv; *root != nullptr; ++root) {
    std::size_t length = std::strlen(*root);
    if (length == 0) errno = ENOENT;
    FTSENT* p = length == 0 ? nullptr : fts_new_entry(stream, *root, length);
    if (p == nullptr) {
      fail_open(stream, root_parent, head);
      return nullptr;
    }
    p->fts_level = FTS_ROOTLEVEL;
    p->fts_parent = root_parent;
    p->fts_pathlen = length;
    p->fts_info = fts_classify_by_path(stream, p);
    // A root named "." or ".." is walked like any directory.
    if (p->fts_info == FTS_DOT) p->fts_info = FTS_D;
    if (stream->fts_compar != nullptr) {
      p->fts_link = head;
      head = p;
    } else {
      if (tail == nullptr) {
        head = p;
      } else {
        tail->fts_link = p;
      }
      tail = p;
    }
  }
  return head;
}

std::size_t list_length(const FTSENT* head) {
  std::size_t count = 0;
  for (; head != nullptr; head = head->fts_link) ++count;
  return count;
}

// Moves on from `t`, which has been returned, to its next sibling or up to its parent.
FTSENT* move_on(FTS* stream, FTSENT* t) {
  for (;;) {
    FTSENT* p = t->fts_link;
    if (p == nullptr) break;
    std::free(t);
    if (p->fts_level == FTS_ROOTLEVEL) {
      fts_load_root(stream, p);
      stream->fts_cur = p;
      return p;
    }
    if (p->fts_instr == FTS_SKIP) {
      t = p;
      continue;
    }
    if (p->fts_instr == FTS_FOLLOW) {
      compose_path(stream, p);
      p->fts_info = fts_classify_by_path(stream, p);
      p->fts_instr = FTS_NOINSTR;
    }
    return make_current(stream, p);
  }

  FTSENT* p = t->fts_parent;
  std::free(t);
  if (p->fts_level == FTS_ROOTPARENTLEVEL) {
    std::free(p);
    errno = 0;
    stream->fts_cur = nullptr;
    return nullptr;
  }
  fts_ancestors_remove(ancestors_of(stream), p);
  stream->fts_path[p->fts_pathlen] = '\0';
  p->fts_info = p->fts_errno != 0 ? FTS_ERR : FTS_DP;
  stream->fts_cur = p;
  return p;
}

// The pre-order directory `p` has been returned: descend into it, or return it again as
// FTS_DP (skipped, another device, empty) or FTS_DNR (unreadable).
FTSENT* descend(FTS* stream, FTSENT* p, int instr) {
  if (instr == FTS_SKIP || (is_set(stream, FTS_XDEV) && p->fts_dev != stream->fts_dev)) {
    release_child_list(stream);
    stream->fts_options &= ~FTS_NAMEONLY;
    p->fts_info = FTS_DP;
    return p;
  }
  // A names-only list has no status: read the directory again.
  if (stream->fts_child != nullptr && is_set(stream, FTS_NAMEONLY)) {
    stream->fts_options &= ~FTS_NAMEONLY;
    release_child_list(stream);
  }
  // Its entries are read, and walked, with p among the directories above them.
  if (!fts_ancestors_add(ancestors_of(stream), p)) return stop_stream(stream);
  FTSENT* head = stream->fts_child;
  if (head == nullptr) {
    head = fts_scan_dir(stream, FTS_SCAN_READ);
    if (head == nullptr) {
      fts_ancestors_remove(ancestors_of(stream), p);
      return is_set(stream, FTS_STOP) ? nullptr : p;
    }
  }
  stream->fts_child = nullptr;
  return make_current(stream, head);
}

}  // namespace

FTS* fts_open(char* const* argv, int options, FtsCompare compar) {
  if (static_cast<unsigned>(options) > static_cast<unsigned>(FTS_OPTIONMASK) || argv == nullptr ||
      argv[0] == nullptr) {
    errno = EINVAL;
    return nullptr;
  }
  auto* whole = static_cast<Stream*>(std::calloc(1, sizeof(Stream)));
  if (whole == nullptr) return nullptr;
  FTS* stream = &whole->fts;
  stream->fts_compar = compar;
  stream->fts_options = options | FTS_NOCHDIR;

  std::size_t longest = longest_length(argv);
  std::size_t first = longest < FIRST_PATH_SIZE ? FIRST_PATH_SIZE : longest + 1;
  if (!fts_grow_path(stream, first)) {
    std::free(stream);
    return nullptr;
  }
  FTSENT* root_parent = fts_new_entry(stream, "", 0);
  if (root_parent == nullptr) return fail_open(stream, nullptr, nullptr);
  root_parent->fts_level = FTS_ROOTPARENTLEVEL;

  FTSENT* roots = make_roots(stream, argv, root_parent);
  if (roots == nullptr) return nullptr;
  if (compar != nullptr && roots->fts_link != nullptr) {
    roots = fts_sort_siblings(stream, roots, list_length(roots));
  }

  FTSENT* initial = fts_new_entry(stream, "", 0);
  if (initial == nullptr) return fail_open(stream, root_parent, roots);
  whole->reader = host::make_directory_reader();
  if (whole->reader == nullptr) {
    std::free(initial);
    return fail_open(stream, root_parent, roots);
  }
  initial->fts_link = roots;
  initial->fts_parent = root_parent;
  initial->fts_info = FTS_INIT;
  stream->fts_cur = initial;
  return stream;
}

FTSENT* fts_read(FTS* stream) {
  FTSENT* p = stream->fts_cur;
  if (p == nullptr || is_set(stream, FTS_STOP)) return nullptr;
  int instr = p->fts_instr;
  p->fts_instr = FTS_NOINSTR;

  if (instr == FTS_AGAIN) {
    p->fts_info = fts_classify_by_path(stream, p);
    return p;
  }
  if (p->fts_info == FTS_D) return descend(stream, p, instr);
  // A child list can only belong to a pre-order directory; one left from an entry that is
  // no longer one would outlive its parent.
  if (stream->fts_child != nullptr) {
    release_child_list(stream);
    stream->fts_options &= ~FTS_NAMEONLY;
  }
  return move_on(stream, p);
}

FTSENT* fts_children(FTS* stream, int instr) {
  if (instr != 0 && instr != FTS_NAMEONLY) {
    errno = EINVAL;
    return nullptr;
  }
  errno = 0;
  if (is_set(stream, FTS_STOP)) return nullptr;
  FTSENT* p = stream->fts_cur;
  if (p == nullptr) return nullptr;
  if (p->fts_info == FTS_INIT) return p->fts_link;
  if (p->fts_info != FTS_D) return nullptr;
  release_child_list(stream);
  // The flag always describes the list the stream keeps.
  if (instr == FTS_NAMEONLY) {
    stream->fts_options |= FTS_NAMEONLY;
  } else {
    stream->fts_options &= ~FTS_NAMEONLY;
  }
  // The list is read as fts_read would read it, with p among the directories above it.
  if (!fts_ancestors_add(ancestors_of(stream), p)) return stop_stream(stream);
  stream->fts_child = fts_scan_dir(stream, instr == FTS_NAMEONLY ? FTS_SCAN_NAMES : FTS_SCAN_CHILD);
  fts_ancestors_remove(ancestors_of(stream), p);
  return stream->fts_child;
}

int fts_set(FTS* /*stream*/, FTSENT* entry, int instr) {
  if (static_cast<unsigned>(instr) > static_cast<unsigned>(FTS_SKIP)) {
    errno = EINVAL;
    return 1;
  }
  entry->fts_instr = instr;
  return 0;
}

int fts_close(FTS* stream) {
  FTSENT* p = stream->fts_cur;
  while (p != nullptr) {
    FTSENT* next = p->fts_link != nullptr ? p->fts_link : p->fts_parent;
    bool last = p->fts_level < 0;
    std::free(p);
    if (last) break;
    p = next;
  }
  release_child_list(stream);
  fts_ancestors_free(ancestors_of(stream));
  host::free_directory_reader(reader_of(stream));
  std::free(stream->fts_array);
  std::free(stream->fts_path);
  std::free(stream);
  return 0;
}

void* fts_get_clientptr(FTS* stream) { return stream->fts_clientptr; }

void fts_set_clientptr(FTS* stream, void* pointer) { stream->fts_clientptr = pointer; }

FTS* fts_get_stream(FTSENT* entry) { return entry->fts_fts; }

}  // namespace compat
