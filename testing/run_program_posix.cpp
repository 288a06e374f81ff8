// Runs a program on POSIX hosts: fork, arrange the descriptors, exec; then feed standard
// input and drain both output pipes with poll so that no pipe can fill up and stall.
#include "testing/run_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <gtest/gtest.h>

namespace orva_testing {
namespace {

struct Pipe {
  int read_end = -1;
  int write_end = -1;
};

Pipe make_pipe() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return {};
  return {fds[0], fds[1]};
}

void close_fd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

std::vector<std::string> environment_for(const RunOptions& options) {
  std::vector<std::string> env;
  if (options.env) {
    env = *options.env;
  } else {
    for (char** p = environ; *p != nullptr; ++p) env.emplace_back(*p);
  }
  for (const std::string& extra : options.extra_env) {
    const std::string name = extra.substr(0, extra.find('=') + 1);
    std::erase_if(env, [&](const std::string& e) { return e.compare(0, name.size(), name) == 0; });
    env.push_back(extra);
  }
  return env;
}

// Only async-signal-safe calls from here on: these run in the forked child.

// Opens `path` with `flags` onto descriptor `fd`, or ends the child.
void open_onto(int fd, const char* path, int flags) {
  int file = open(path, flags, 0666);
  if (file < 0) _exit(126);
  if (file != fd) {
    dup2(file, fd);
    close(file);
  }
}

[[noreturn]] void exec_child(const std::string& program, const RunOptions& options, char** argv,
                             char** envp, Pipe in, Pipe out, Pipe err) {
  if (options.stdin_mode == Stdin::Pipe) {
    dup2(in.read_end, 0);
  } else if (options.stdin_mode == Stdin::FromFile) {
    open_onto(0, options.stdin_file.c_str(), O_RDONLY);
  } else {
    close(0);
  }
  if (options.stdout_mode == Stdout::Pipe || options.stdout_mode == Stdout::ReaderGone) {
    dup2(out.write_end, 1);
  } else if (options.stdout_mode == Stdout::DevFull) {
    open_onto(1, "/dev/full", O_WRONLY);
  } else if (options.stdout_mode == Stdout::AppendToFile) {
    open_onto(1, options.stdout_file.c_str(), O_WRONLY | O_APPEND | O_CREAT);
  } else {
    close(1);
  }
  dup2(err.write_end, 2);
  if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) _exit(126);
  if (options.umask) umask(static_cast<mode_t>(*options.umask));
  signal(SIGPIPE, options.stdout_mode == Stdout::ReaderGone ? SIG_IGN : SIG_DFL);
  execve(program.c_str(), argv, envp);
  _exit(127);
}

void feed_and_drain(const std::string& input, Pipe& in, Pipe& out, Pipe& err, RunResult& result) {
  size_t written = 0;
  if (input.empty()) close_fd(in.write_end);
  // Writes must never block: a program that writes while it reads would otherwise wait on
  // us while we wait on it.
  if (in.write_end >= 0) fcntl(in.write_end, F_SETFL, fcntl(in.write_end, F_GETFL) | O_NONBLOCK);
  while (in.write_end >= 0 || out.read_end >= 0 || err.read_end >= 0) {
    pollfd fds[3] = {
        {in.write_end, POLLOUT, 0}, {out.read_end, POLLIN, 0}, {err.read_end, POLLIN, 0}};
    if (poll(fds, 3, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[0].revents != 0) {
      ssize_t n = write(in.write_end, input.data() + written, input.size() - written);
      if (n > 0) written += static_cast<size_t>(n);
      bool failed = n < 0 && errno != EAGAIN && errno != EINTR;
      if (failed || written == input.size()) close_fd(in.write_end);
    }
    char buffer[65536];
    for (int i = 1; i < 3; ++i) {
      if (fds[i].revents == 0) continue;
      int& fd = i == 1 ? out.read_end : err.read_end;
      ssize_t n = read(fd, buffer, sizeof buffer);
      if (n <= 0) {
        close_fd(fd);
      } else {
        (i == 1 ? result.out : result.err).append(buffer, static_cast<size_t>(n));
      }
    }
  }
}

}  // namespace

RunResult run_program(const std::string& program, const RunOptions& options) {
  RunResult result;
  std::vector<std::string> env = environment_for(options);
  std::vector<char*> argv;
  std::string argv0 = options.argv0.empty() ? program : options.argv0;
  argv.push_back(argv0.data());
  std::vector<std::string> args = options.args;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  envp.reserve(env.size() + 1);
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  Pipe in = make_pipe(), out = make_pipe(), err = make_pipe();
  if (in.read_end < 0 || out.read_end < 0 || err.read_end < 0) {
    ADD_FAILURE() << "pipe: " << std::strerror(errno);
    return result;
  }
  // A program that stops reading its input early must not kill the test with SIGPIPE.
  signal(SIGPIPE, SIG_IGN);
  if (options.stdout_mode == Stdout::ReaderGone) close_fd(out.read_end);
  pid_t pid = fork();
  if (pid == 0) exec_child(program, options, argv.data(), envp.data(), in, out, err);
  close_fd(in.read_end);
  close_fd(out.write_end);
  close_fd(err.write_end);
  if (pid < 0) {
    ADD_FAILURE() << "fork: " << std::strerror(errno);
  } else {
    feed_and_drain(options.input, in, out, err, result);
  }
  close_fd(in.write_end);
  close_fd(out.read_end);
  close_fd(err.read_end);
  if (pid < 0) return result;

  int wstatus = 0;
  while (waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(wstatus)) {
    result.status = WEXITSTATUS(wstatus);
    if (result.status == 127 && result.err.empty()) ADD_FAILURE() << "cannot run " << program;
  } else if (WIFSIGNALED(wstatus)) {
    result.term_signal = WTERMSIG(wstatus);
  }
  return result;
}

std::string as_text(const std::string& bytes) { return bytes; }

bool running_as_root() { return geteuid() == 0; }

int host_stat(const std::string& path, struct stat* status) { return stat(path.c_str(), status); }

void make_hidden(const std::string& /*path*/) {}

}  // namespace orva_testing
