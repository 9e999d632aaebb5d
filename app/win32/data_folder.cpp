#include "app/win32/data_folder.h"

#include <windows.h>
// shlobj.h needs windows.h first.
#include <knownfolders.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "app/data_location.h"
#include "app/win32/wide_text.h"
#include "model/config_file.h"
#include "model/data_files.h"
#include "model/history_file.h"

namespace tarnu::win32 {
namespace {

std::wstring WithSeparator(std::wstring path) {
  if (!path.empty() && path.back() != L'\\' && path.back() != L'/') path += L'\\';
  return path;
}

bool IsFile(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool HoldsFiles(const std::wstring& directory) {
  if (directory.empty()) return false;
  return IsFile(directory + WideFromCp932(kConfigFileName)) ||
         IsFile(directory + WideFromCp932(kHistoryFileName));
}

// Whether a file can be made in `directory`: the only sure test. The probe
// has a name of its own and goes when its handle closes.
bool IsWritable(const std::wstring& directory) {
  std::wstring probe = directory + L"tarnu-write-test-" + std::to_wstring(GetCurrentProcessId()) +
                       L"-" + std::to_wstring(GetTickCount()) + L".tmp";
  HANDLE h = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

std::wstring CurrentDirectory() {
  DWORD length = GetCurrentDirectoryW(0, nullptr);
  if (length == 0) return std::wstring();
  std::vector<wchar_t> buffer(length + 1);
  DWORD got = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
  if (got == 0 || got >= buffer.size()) return std::wstring();
  return WithSeparator(std::wstring(buffer.data(), got));
}

std::wstring ApplicationData() {
  PWSTR path = nullptr;
  std::wstring folder;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &path)) && path) {
    folder = WithSeparator(path) + L"tarnu\\";
  }
  CoTaskMemFree(path);
  return folder;
}

// The files are opened through the ANSI API: a folder whose name the ANSI
// code page cannot spell is reached by its short name, which it always can.
bool AnsiPath(const std::wstring& path, std::string* out) {
  BOOL lossy = FALSE;
  int n = WideCharToMultiByte(CP_ACP, 0, path.c_str(), static_cast<int>(path.size()), nullptr, 0,
                              nullptr, &lossy);
  if (n <= 0 && !path.empty()) return false;
  std::string narrow(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, path.c_str(), static_cast<int>(path.size()), narrow.data(), n,
                      nullptr, &lossy);
  *out = narrow;
  return !lossy;
}

std::string DirectoryForFiles(const std::wstring& directory) {
  std::string narrow;
  if (AnsiPath(directory, &narrow)) return narrow;
  DWORD length = GetShortPathNameW(directory.c_str(), nullptr, 0);
  if (length > 0) {
    std::vector<wchar_t> buffer(length + 1);
    DWORD got = GetShortPathNameW(directory.c_str(), buffer.data(), length + 1);
    std::string short_name;
    if (got > 0 && got <= length && AnsiPath(std::wstring(buffer.data(), got), &short_name)) {
      return short_name;
    }
  }
  return narrow;
}

}  // namespace

void SetUpDataFolder() {
  const std::wstring program = Program().directory;
  const std::wstring current = CurrentDirectory();
  const std::wstring application_data = ApplicationData();

  // The choice works on the wide names written as UTF-8; only the chosen one
  // is turned into a name for the files.
  auto utf8 = [](const std::wstring& wide) {
    if (wide.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), static_cast<int>(wide.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), static_cast<int>(wide.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
  };
  DataLocationFacts facts;
  facts.program_directory = utf8(program);
  facts.program_directory_writable = IsWritable(program);
  facts.files_beside_program = HoldsFiles(program);
  facts.current_directory = utf8(current);
  facts.files_in_current_directory = !current.empty() && HoldsFiles(current);
  facts.application_data = utf8(application_data);
  facts.files_in_application_data = HoldsFiles(application_data);

  DataLocation location = ChooseDataLocation(facts);
  std::wstring chosen = location.place == DataPlace::kCurrentDirectory  ? current
                        : location.place == DataPlace::kApplicationData ? application_data
                                                                        : program;
  if (location.create) {
    // The parent (the roaming application data folder) exists for every
    // user; only our own folder is made.
    CreateDirectoryW(chosen.c_str(), nullptr);
  }
  SetDataDirectory(DirectoryForFiles(chosen));
}

}  // namespace tarnu::win32
