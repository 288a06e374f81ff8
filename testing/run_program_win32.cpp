// Runs a program on the Windows host: CreateProcess with three pipes (or no handle for a
// closed stream), one thread feeding standard input and one draining standard error while
// this one drains standard output, so that no pipe can fill up and stall. Arguments, paths
// and the environment are UTF-8 here and go to the host as UTF-16, through the host's own
// conversion rather than the code under test.
#include "testing/run_program.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include <gtest/gtest.h>

namespace orva_testing {
namespace {

std::wstring wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                 static_cast<int>(utf8.size()), nullptr, 0);
  if (size <= 0) ADD_FAILURE() << "not UTF-8: " << utf8;
  std::wstring text(static_cast<size_t>(size > 0 ? size : 0), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), size);
  return text;
}

// Quotes one argument so that the runtime's command-line parser gives it back unchanged.
std::string quote_argument(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) return arg;
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  return quoted + "\"";
}

// Build paths come from the Unix side of Wine; its drive Z: is the Unix root.
std::string native_path(const std::string& path) {
  if (path.empty() || path[0] != '/') return path;
  std::string native = "Z:";
  native.append(path);
  return native;
}

std::vector<std::wstring> environment_for(const RunOptions& options) {
  std::vector<std::wstring> env;
  if (options.env) {
    for (const std::string& e : *options.env) env.push_back(wide(e));
  } else {
    wchar_t* block = GetEnvironmentStringsW();
    for (const wchar_t* p = block; *p != L'\0'; p += std::wcslen(p) + 1) env.emplace_back(p);
    FreeEnvironmentStringsW(block);
  }
  for (const std::string& extra : options.extra_env) {
    const std::wstring name = wide(extra.substr(0, extra.find('=') + 1));
    std::erase_if(env, [&](const std::wstring& e) { return e.compare(0, name.size(), name) == 0; });
    env.push_back(wide(extra));
  }
  return env;
}

std::wstring environment_block(const std::vector<std::wstring>& env) {
  std::wstring block;
  for (const std::wstring& e : env) {
    block.append(e);
    block.push_back(L'\0');
  }
  block.push_back(L'\0');
  return block;
}

void read_all(HANDLE from, std::string* into) {
  char buffer[65536];
  DWORD n = 0;
  while (ReadFile(from, buffer, sizeof buffer, &n, nullptr) && n > 0) into->append(buffer, n);
}

void write_all(HANDLE to, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD n = 0;
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 65536));
    if (!WriteFile(to, bytes.data() + done, chunk, &n, nullptr)) break;
    done += n;
  }
  CloseHandle(to);
}

bool make_pipe(HANDLE* read_end, HANDLE* write_end, bool child_reads) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  if (!CreatePipe(read_end, write_end, &inherit, 0)) return false;
  // Only the child's end is inherited.
  SetHandleInformation(child_reads ? *write_end : *read_end, HANDLE_FLAG_INHERIT, 0);
  return true;
}

HANDLE open_full_device() {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  return CreateFileW(L"Z:\\dev\\full", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                     OPEN_EXISTING, 0, nullptr);
}

HANDLE open_for_reading(const std::string& path) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  return CreateFileW(wide(path).c_str(), GENERIC_READ,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

HANDLE open_for_append(const std::string& path) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  return CreateFileW(wide(path).c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                     FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_ALWAYS,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

RunResult run_program(const std::string& program, const RunOptions& options) {
  RunResult result;
  const std::string application = native_path(program);
  std::string command_line = quote_argument(options.argv0.empty() ? application : options.argv0);
  for (const std::string& arg : options.args) {
    command_line.push_back(' ');
    command_line.append(quote_argument(arg));
  }
  std::wstring env = environment_block(environment_for(options));

  HANDLE in_read = nullptr, in_write = nullptr, out_read = nullptr, out_write = nullptr;
  HANDLE err_read = nullptr, err_write = nullptr;
  if (!make_pipe(&in_read, &in_write, true) || !make_pipe(&out_read, &out_write, false) ||
      !make_pipe(&err_read, &err_write, false)) {
    ADD_FAILURE() << "CreatePipe failed";
    return result;
  }
  HANDLE child_out = out_write;
  if (options.stdout_mode == Stdout::Closed) child_out = INVALID_HANDLE_VALUE;
  if (options.stdout_mode == Stdout::DevFull) child_out = open_full_device();
  if (options.stdout_mode == Stdout::AppendToFile)
    child_out = open_for_append(native_path(options.stdout_file));
  if (options.stdout_mode == Stdout::ReaderGone) {
    CloseHandle(out_read);
    out_read = nullptr;
  }

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  HANDLE child_in = options.stdin_mode == Stdin::Pipe ? in_read : INVALID_HANDLE_VALUE;
  if (options.stdin_mode == Stdin::FromFile)
    child_in = open_for_reading(native_path(options.stdin_file));
  startup.hStdInput = child_in;
  startup.hStdOutput = child_out;
  startup.hStdError = err_write;
  PROCESS_INFORMATION process = {};
  std::wstring cwd = wide(native_path(options.cwd));
  std::wstring wide_command_line = wide(command_line);
  BOOL started = CreateProcessW(wide(application).c_str(), wide_command_line.data(), nullptr,
                                nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT, env.data(),
                                cwd.empty() ? nullptr : cwd.c_str(), &startup, &process);
  CloseHandle(in_read);
  CloseHandle(out_write);
  CloseHandle(err_write);
  if (child_out != out_write && child_out != INVALID_HANDLE_VALUE) CloseHandle(child_out);
  if (child_in != in_read && child_in != INVALID_HANDLE_VALUE) CloseHandle(child_in);
  if (!started) {
    ADD_FAILURE() << "cannot run " << program << " (error " << GetLastError() << ")";
    CloseHandle(in_write);
    if (out_read != nullptr) CloseHandle(out_read);
    CloseHandle(err_read);
    return result;
  }
  std::thread feeder(write_all, in_write, options.input);
  std::thread err_reader(read_all, err_read, &result.err);
  if (out_read != nullptr) read_all(out_read, &result.out);
  feeder.join();
  err_reader.join();
  if (out_read != nullptr) CloseHandle(out_read);
  CloseHandle(err_read);

  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  // A POSIX-style shell on this host sees the low eight bits, as on POSIX hosts.
  result.status = static_cast<int>(code & 0xFF);
  return result;
}

std::string as_text(const std::string& bytes) {
  std::string text;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
    text.push_back(bytes[i]);
  }
  return text;
}

bool running_as_root() { return false; }

// `struct stat` is the runtime's _stat64 record in this build.
int host_stat(const std::string& path, struct stat* status) {
  return _wstat64(wide(path).c_str(), status);
}

void make_hidden(const std::string& path) {
  std::wstring name = wide(path);
  DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      !SetFileAttributesW(name.c_str(), attributes | FILE_ATTRIBUTE_HIDDEN)) {
    ADD_FAILURE() << "cannot hide " << path;
  }
}

}  // namespace orva_testing
