// tarnu.exe: start-up, the message loop and shut-down of the program.
#include <winsock2.h>
// winsock2.h before windows.h; commctrl.h after it.
#include <windows.h>

#include <commctrl.h>

#include <new>

#include "app/resource_ids.h"
#include "app/startup_logic.h"
#include "app/win32/data_folder.h"
#include "app/win32/main_window.h"
#include "app/win32/wide_text.h"

namespace {

using tarnu::MessageIcon;
using tarnu::MutexOutcome;
using tarnu::win32::MainWindow;
using tarnu::win32::ShowMessageBox;

// Any fixed name of the program's own: every instance asks for the same.
constexpr wchar_t kSingleInstanceMutex[] = L"tarnu.single-instance.4b7e19c2";
constexpr int kStartFailed = 1;

int RunMessageLoop(MainWindow& main) {
  MSG msg;
  for (;;) {
    if (std::optional<int> quit = main.pending_quit()) return *quit;
    BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) return static_cast<int>(msg.wParam);
    if (got == -1) return -1;
    HWND result = main.result_hwnd();
    if (result != nullptr && IsDialogMessageW(result, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

// Start-up past the single-instance guard, the loop, and shut-down.
int RunProgram() {
  MainWindow* main = nullptr;
  try {
    main = new (std::nothrow) MainWindow;
  } catch (const std::bad_alloc&) {
    main = nullptr;
  }
  if (main == nullptr) {
    ShowMessageBox(nullptr, tarnu::kOutOfMemoryText);
    return kStartFailed;
  }
  int exit_code = kStartFailed;
  try {
    if (main->Create()) exit_code = RunMessageLoop(*main);
    main->Destroy();
  } catch (const std::bad_alloc&) {
    ShowMessageBox(nullptr, tarnu::kOutOfMemoryText);
    exit_code = -1;
  }
  delete main;
  return exit_code;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  tarnu::win32::InitProgramInfo(instance);
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  WSADATA winsock;
  int started = WSAStartup(MAKEWORD(1, 1), &winsock);
  if (started != 0 || !tarnu::AcceptWinsockVersion(winsock.wVersion)) {
    if (started == 0) WSACleanup();
    ShowMessageBox(nullptr, tarnu::win32::LoadStringCp932(IDS_WINSOCK_FAILED));
    return kStartFailed;
  }

  SetLastError(0);
  HANDLE mutex = CreateMutexW(nullptr, FALSE, kSingleInstanceMutex);
  DWORD error = GetLastError();
  MutexOutcome outcome = tarnu::ClassifyMutexResult(mutex != nullptr, error);
  if (outcome != MutexOutcome::kPassed) {
    if (mutex != nullptr) CloseHandle(mutex);
    if (outcome == MutexOutcome::kAlreadyRunning) {
      ShowMessageBox(nullptr, tarnu::kAlreadyRunningText);
    } else {
      ShowMessageBox(nullptr, tarnu::kMutexFailedText, MessageIcon::kStop);
    }
    WSACleanup();
    return kStartFailed;
  }

  // Before anything reads a file: the sign-in start runs in the system
  // folder, so the current directory alone does not say where they are.
  tarnu::win32::SetUpDataFolder();
  int exit_code = RunProgram();

  ReleaseMutex(mutex);
  CloseHandle(mutex);
  WSACleanup();
  return exit_code;
}
