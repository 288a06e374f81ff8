// What every Windows tool carries, read back through the Windows API: the version resource
// field by field, as a file's Properties page reads it, and the application manifest, both
// as resource 1 and as the activation context that the system builds from it.
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "testing/run_program.h"

namespace {

struct ToolRow {
  const char* path;  // the built executable, UTF-8
  const char* name;  // its file name without .exe
  const char* description;
};

constexpr ToolRow tools[] = {
    {ORVA_TOOL_ORVA_SDKVERSION, "orva-sdkversion",
     "Prints the facts fixed into the ORVA Application SDK when it was built"},
    {ORVA_TOOL_MKDIR, "mkdir", "Creates directories"},
    {ORVA_TOOL_CAT, "cat", "Copies files to standard output"},
    {ORVA_TOOL_REALPATH, "realpath", "Prints the absolute form of paths"},
};

std::wstring wide(const std::string& utf8) {
  int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring text(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), length);
  return text;
}

// The fields hold ASCII; anything else shows as '?' and fails the comparison.
std::string narrow(const wchar_t* text) {
  std::string result;
  for (; *text != L'\0'; ++text) result += *text < 0x80 ? static_cast<char>(*text) : '?';
  return result;
}

// The revision the build gave orva-sdkversion: its -v report without the trailing space.
std::string built_revision() {
  std::string out = orva_testing::Program{ORVA_TOOL_ORVA_SDKVERSION}.run({"-v"}).out;
  return out.substr(0, out.find(' '));
}

// The whole version resource of `path`; empty when it has none.
std::vector<char> version_block(const std::wstring& path) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  std::vector<char> block(size);
  if (size == 0 || !GetFileVersionInfoW(path.c_str(), 0, size, block.data())) block.clear();
  return block;
}

// The value at `sub_block` of a version resource, or null.
const void* query(std::vector<char>& block, const std::wstring& sub_block, UINT* length) {
  void* value = nullptr;
  if (block.empty() || !VerQueryValueW(block.data(), sub_block.c_str(), &value, length)) return nullptr;
  return value;
}

// A text field of the U.S. English, UTF-16 string table, or "<missing>".
std::string string_field(std::vector<char>& block, const wchar_t* name) {
  UINT length = 0;
  const void* value = query(block, std::wstring(L"\\StringFileInfo\\040904b0\\") + name, &length);
  return value == nullptr ? "<missing>" : narrow(static_cast<const wchar_t*>(value));
}

TEST(ToolResources, VersionResourceNamesTheProductTheToolAndTheBuild) {
  const std::string revision = built_revision();
  ASSERT_EQ(revision.size(), 8u) << revision;
  const DWORD version_ms = MAKELONG(ORVA_VERSION_MINOR, ORVA_VERSION_MAJOR);
  const DWORD version_ls = MAKELONG(0, ORVA_VERSION_PATCH);
  for (const ToolRow& tool : tools) {
    SCOPED_TRACE(tool.name);
    std::vector<char> block = version_block(wide(tool.path));
    ASSERT_FALSE(block.empty()) << "no version resource, error " << GetLastError();

    UINT length = 0;
    auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(query(block, L"\\", &length));
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, version_ms);
    EXPECT_EQ(fixed->dwFileVersionLS, version_ls);
    EXPECT_EQ(fixed->dwProductVersionMS, version_ms);
    EXPECT_EQ(fixed->dwProductVersionLS, version_ls);
    EXPECT_EQ(fixed->dwFileFlags & fixed->dwFileFlagsMask, 0u) << "debug, pre-release or patched";
    EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS_NT_WINDOWS32));
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

    // One translation, which the string table's name must match: U.S. English, UTF-16.
    auto* translation = static_cast<const WORD*>(query(block, L"\\VarFileInfo\\Translation", &length));
    ASSERT_NE(translation, nullptr);
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 1200);

    EXPECT_EQ(string_field(block, L"ProductName"), "ORVA Application SDK");
    EXPECT_EQ(string_field(block, L"ProductVersion"), ORVA_VERSION);
    EXPECT_EQ(string_field(block, L"FileVersion"), ORVA_VERSION);
    EXPECT_EQ(string_field(block, L"FileDescription"), tool.description);
    EXPECT_EQ(string_field(block, L"InternalName"), tool.name);
    EXPECT_EQ(string_field(block, L"OriginalFilename"), std::string(tool.name) + ".exe");
    EXPECT_EQ(string_field(block, L"Comments"), revision);
  }
}

// Resource 1 of type RT_MANIFEST, read from the file as data; empty when there is none.
std::string manifest_text(const std::wstring& path) {
  HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (module == nullptr) return "";
  std::string text;
  HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  HGLOBAL loaded = resource == nullptr ? nullptr : LoadResource(module, resource);
  const void* data = loaded == nullptr ? nullptr : LockResource(loaded);
  if (data != nullptr) text.assign(static_cast<const char*>(data), SizeofResource(module, resource));
  FreeLibrary(module);
  return text;
}

// The activation context the system builds from the executable's manifest, as the loader
// does when it starts the program.
HANDLE manifest_context(const std::wstring& path) {
  ACTCTXW request = {};
  request.cbSize = sizeof request;
  request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
  request.lpSource = path.c_str();
  request.lpResourceName = MAKEINTRESOURCEW(1);
  return CreateActCtxW(&request);
}

// The value of a windowsSettings element of the 2016 namespace, or "<missing>".
std::string window_setting(HANDLE context, const wchar_t* name) {
  wchar_t value[64] = {};
  SIZE_T written = 0;
  if (!QueryActCtxSettingsW(0, context, L"http://schemas.microsoft.com/SMI/2016/WindowsSettings",
                            name, value, sizeof value / sizeof value[0], &written)) {
    return "<missing>";
  }
  return narrow(value);
}

// True when the compatibility section read from the manifest declares `os`. Searched by bytes:
// the record of one element grew in later Windows versions.
bool declares_os(HANDLE context, const GUID& os) {
  std::vector<unsigned char> info(4096);
  SIZE_T written = 0;
  if (!QueryActCtxW(0, context, nullptr, CompatibilityInformationInActivationContext, info.data(),
                    info.size(), &written)) {
    return false;
  }
  for (SIZE_T at = 0; at + sizeof os <= written; ++at) {
    if (std::memcmp(info.data() + at, &os, sizeof os) == 0) return true;
  }
  return false;
}

struct OsRow {
  const char* name;
  GUID id;
};

constexpr OsRow supported_os[] = {
    {"Windows 7", {0x35138b9a, 0x5d96, 0x4fbd, {0x8e, 0x2d, 0xa2, 0x44, 0x02, 0x25, 0xf9, 0x3a}}},
    {"Windows 8", {0x4a2f28e3, 0x53b9, 0x4441, {0xba, 0x9c, 0xd6, 0x9d, 0x4a, 0x4a, 0x6e, 0x38}}},
    {"Windows 8.1", {0x1f676c76, 0x80e1, 0x4239, {0x95, 0xbb, 0x83, 0xd0, 0xf6, 0xd0, 0xda, 0x78}}},
    {"Windows 10 and 11", {0x8e0f7a12, 0xbfb3, 0x4fe8, {0xb9, 0xa5, 0x48, 0xfd, 0x50, 0xa1, 0x5a, 0x9a}}},
};

TEST(ToolResources, ManifestDeclaresTheSupportedSystemsAsInvokerAndLongPaths) {
  for (const ToolRow& tool : tools) {
    SCOPED_TRACE(tool.name);
    const std::wstring path = wide(tool.path);
    const std::string text = manifest_text(path);
    ASSERT_FALSE(text.empty()) << "no manifest resource 1";
    // The process keeps the system's ANSI code page: names never pass through it anyway.
    EXPECT_EQ(text.find("activeCodePage"), std::string::npos);

    HANDLE context = manifest_context(path);
    ASSERT_NE(context, INVALID_HANDLE_VALUE) << "the manifest does not parse, error " << GetLastError();
    for (const OsRow& os : supported_os) EXPECT_TRUE(declares_os(context, os.id)) << os.name;

    ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION run_level = {};
    SIZE_T written = 0;
    ASSERT_TRUE(QueryActCtxW(0, context, nullptr, RunlevelInformationInActivationContext, &run_level,
                             sizeof run_level, &written));
    EXPECT_EQ(run_level.RunLevel, ACTCTX_RUN_LEVEL_AS_INVOKER);
    EXPECT_EQ(run_level.UiAccess, 0u);

    EXPECT_EQ(window_setting(context, L"longPathAware"), "true");
    ReleaseActCtx(context);
  }
}

}  // namespace
