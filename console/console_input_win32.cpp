// Types a line into this program's console and has cat read it: key events go into the
// console's input buffer (WriteConsoleInputW), then cat starts with that console as its
// standard input and a file as its standard output. Deterministic, unlike typing through
// a terminal. Run at a console (under Wine, in a pseudo-terminal):
//   console_input.exe CAT.EXE OUTPUT-FILE
// Exit status 0 when cat ended by itself with status 0 and the file holds exactly the
// UTF-8 of the typed line and its line end; 1 otherwise, with what went wrong.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// The line: ASCII, Latin, CJK and a character outside the Basic Multilingual Plane, which
// the console takes as two keys, one for each surrogate.
const wchar_t typed_line[] = L"abc \u00e9 \u65e5\u672c \U0001F600";
const char expected[] = "abc \xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x98\x80\r\n";

void press(std::vector<INPUT_RECORD>* keys, wchar_t c, WORD virtual_key) {
  for (BOOL down : {TRUE, FALSE}) {
    INPUT_RECORD key{};
    key.EventType = KEY_EVENT;
    key.Event.KeyEvent.bKeyDown = down;
    key.Event.KeyEvent.wRepeatCount = 1;
    key.Event.KeyEvent.wVirtualKeyCode = virtual_key;
    key.Event.KeyEvent.uChar.UnicodeChar = c;
    keys->push_back(key);
  }
}

// The line, Enter, then Ctrl-Z and Enter: the end of the input.
bool type_input(HANDLE console) {
  std::vector<INPUT_RECORD> keys;
  for (const wchar_t* c = typed_line; *c != L'\0'; ++c) press(&keys, *c, 0);
  press(&keys, L'\r', VK_RETURN);
  press(&keys, 0x1A, 'Z');
  press(&keys, L'\r', VK_RETURN);
  DWORD written = 0;
  return WriteConsoleInputW(console, keys.data(), static_cast<DWORD>(keys.size()), &written) &&
         written == keys.size();
}

int fail(const char* what) {
  std::printf("console input: %s (error %lu)\n", what, GetLastError());
  return 1;
}

std::string contents(const wchar_t* path) {
  std::string bytes;
  FILE* file = _wfopen(path, L"rb");
  if (file == nullptr) return bytes;
  char buffer[256];
  std::size_t count;
  while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, count);
  std::fclose(file);
  return bytes;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return fail("usage: console_input.exe CAT.EXE OUTPUT-FILE");
  HANDLE console = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  if (!GetConsoleMode(console, &mode)) return fail("standard input is no console");
  if (!type_input(console)) return fail("cannot type into the console");

  SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
  HANDLE output = CreateFileW(argv[2], GENERIC_WRITE, 0, &inherited, CREATE_ALWAYS, 0, nullptr);
  if (output == INVALID_HANDLE_VALUE) return fail("cannot create the output file");
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = console;
  startup.hStdOutput = output;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  std::wstring command = L"\"" + std::wstring(argv[1]) + L"\"";
  PROCESS_INFORMATION cat{};
  if (!CreateProcessW(argv[1], command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &cat)) {
    return fail("cannot start cat");
  }
  CloseHandle(output);
  if (WaitForSingleObject(cat.hProcess, 30000) != WAIT_OBJECT_0) {
    TerminateProcess(cat.hProcess, 9);
    return fail("cat did not end: Ctrl-Z at the start of a line must end its input");
  }
  DWORD status = 1;
  GetExitCodeProcess(cat.hProcess, &status);
  if (status != 0) return fail("cat did not exit with status 0");
  std::string got = contents(argv[2]);
  if (got != expected) {
    std::printf("console input: cat wrote %zu bytes:", got.size());
    for (char c : got) std::printf(" %02x", static_cast<unsigned char>(c));
    std::printf("\n");
    return 1;
  }
  std::printf("console input: the typed line reached cat whole\n");
  return 0;
}
