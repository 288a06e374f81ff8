#pragma once

#include <cstddef>

// Faults in directory reading, for tests only, on POSIX hosts. A test binary that links
// orva_readdir_fault has readdir wrapped (GNU ld --wrap): the layer's directory listings
// go through here and can be made to fail part-way or to leave entries' types unknown.

namespace orva_testing::readdir_fault {

// The readdir call after the next `records` records (dot entries included) fails with
// `error`, once; readdir is itself again after that.
void fail_after(std::size_t records, int error);

// Every record read from now on says DT_UNKNOWN, as on file systems whose listings do
// not give types; false gives the real types again.
void hide_types(bool hide);

// Back to a plain readdir.
void disarm();

}  // namespace orva_testing::readdir_fault
