/* The floor for cat's design: the file named by the argument (standard input without one)
 * copied to standard output by 4096-byte read and write calls and nothing else. */
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

enum { chunk = 4096 };

int main(int argc, char** argv) {
  static char buffer[chunk];
  int in = argc > 1 ? open(argv[1], O_RDONLY) : 0;
  if (in < 0) {
    perror(argv[1]);
    return 1;
  }
  ssize_t count;
  while ((count = read(in, buffer, chunk)) > 0) {
    for (ssize_t done = 0; done < count;) {
      ssize_t written = write(1, buffer + done, (size_t)(count - done));
      if (written <= 0) {
        perror("write");
        return 1;
      }
      done += written;
    }
  }
  return count < 0;
}
