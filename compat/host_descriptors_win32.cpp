// The descriptor calls of compat/host_descriptors.h for the Windows runtime.

#include "compat/host_descriptors.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace compat::host {

int set_binary_mode(int fd) { return _setmode(fd, _O_BINARY) == -1 ? -1 : 0; }

namespace {

// The identity of the disk file behind `fd`: false for anything but a regular file.
bool disk_file_identity(int fd, BY_HANDLE_FILE_INFORMATION* identity) {
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  if (handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_DISK) return false;
  if (!GetFileInformationByHandle(handle, identity)) return false;
  return (identity->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace

// The runtime's stat reports no inode numbers; the volume and file index identify a file.
bool same_regular_file(int a, int b) {
  BY_HANDLE_FILE_INFORMATION first, second;
  if (!disk_file_identity(a, &first) || !disk_file_identity(b, &second)) return false;
  return first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
         first.nFileIndexHigh == second.nFileIndexHigh &&
         first.nFileIndexLow == second.nFileIndexLow;
}

}  // namespace compat::host
