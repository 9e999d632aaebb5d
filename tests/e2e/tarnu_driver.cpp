// tarnu-driver.exe: drives and inspects a running tarnu.exe from another
// process, the way a user's clicks and eyes would, for the tests under Wine.
//
//   wait-main MS              wait until the hidden main window exists
//   wait-gone MS              wait until it no longer exists
//   command ID                post a command to the main window
//   tray MOUSE-MESSAGE        post the tray icon's callback (e.g. 515 = double-click)
//   rows                      the result list, one row a line (see PrintRows)
//   wait-rows N MS            wait until the list holds N rows and no check runs
//   title | visible | rect    the result window's title, visibility, outer rectangle
//   move X Y W H              move the result window
//   work-area                 the work area of the result window's monitor (x y w h)
//   hide                      close the result window as its close box does
//   show-inactive             show the result window without giving it the focus
//   row-point ROW             a screen point on a row of the result list (x y)
//   dialog CAPTION MS [press [ID]]  wait for a dialog (message boxes are captioned
//                             "tarnu"), print its static texts, press OK (or button ID:
//                             6 Yes, 7 No)
//   tray-icon                 where the tray icon sits on the screen (x y)
//   tray-delete               remove tarnu's tray icon, as a restarted shell forgets it
//   tray-known                whether the shell knows tarnu's tray icon
//   popup-menu MS             wait for a popup menu; print its item count
//                             (-1 where it cannot be read), then its rectangle
//   power EVENT               send WM_POWERBROADCAST (4 suspend, 18 resume) to the main window
//   balloon MS                wait for the shell's balloon notification; print its text
//   notice                    the program's last notification: title, then text
//   cell-point ROW COLUMN     a screen point in a cell of the result list (x y)
//   tip MS                    wait for a tip of tarnu's own (not a balloon); print its text
//   tray-tip MS               wait for the shell's tip (the pointer over the tray icon);
//                             print its text
//   columns                   the result list's column widths
//   picture-size ROW          the size of a row's picture in the result list (w h)
//   column-width COLUMN W     give a column of the result list a new width
//
// The program's own dialogs, found by caption (message boxes by "tarnu"):
//   find CAPTION MS           wait until the dialog is shown
//   gone CAPTION MS           wait until no dialog has that caption
//   get CAPTION ID            a control's text
//   set CAPTION ID TEXT       set a control's text (as typing would: the
//                             dialog sees EN_CHANGE)
//   tick CAPTION ID 0|1       set a check box as a click would
//   choose CAPTION ID INDEX   select an item of a combo box as the user would
//   press CAPTION ID          click a button (posted: a dialog it opens
//                             does not block the driver)
//   state CAPTION ID          "enabled checked" of a control, each 0 or 1
//   focus CAPTION             the id of the control with the keyboard focus
//   list CAPTION ID           a report list's rows: state picture, then texts
//   select CAPTION ID ROW [0] select a row of a report list (0: unselect;
//                             row -1: every row)
//   list-point CAPTION ID ROW a screen point on that row (x y)
//   dialog-rect CAPTION       the dialog's outer rectangle (x y w h)
//   selection CAPTION ID A B  select characters A to B of an edit
//   resize CAPTION W H        give the dialog a new outer size
//   control-rect CAPTION ID   a control's place in the dialog's client area
//                             (x y w h), then the client size (w h)
//   windows                   every visible top-level window: class, then title
//   help-window MS            wait for the HTML help viewer; print its title
//                             and its parts
//   close-help                close the help viewer
//
// Texts are written as UTF-8 with backslash, tab, CR and LF escaped. Exit
// status 0 on success, 1 when the thing waited for did not come, 2 on usage.
#include <windows.h>
// commctrl.h needs windows.h first.
#include <commctrl.h>
#include <shellapi.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr wchar_t kMainClass[] = L"tarnuMainWindow";
constexpr int kResultList = 1015;

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                      nullptr, nullptr);
  return out;
}

std::string Field(const std::wstring& text) {
  std::string out;
  for (char c : Utf8(text)) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      default:
        out += c;
    }
  }
  return out;
}

void Print(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

HWND MainWindow() { return FindWindowW(kMainClass, nullptr); }

// The result window: the dialog owned by the main window that holds list 1015.
struct Search {
  HWND owner;
  HWND found;
};
BOOL CALLBACK FindResult(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  if (GetWindow(hwnd, GW_OWNER) == search->owner && GetDlgItem(hwnd, kResultList) != nullptr) {
    search->found = hwnd;
    return FALSE;
  }
  return TRUE;
}
HWND ResultWindow() {
  Search search = {MainWindow(), nullptr};
  if (search.owner == nullptr) return nullptr;
  EnumWindows(FindResult, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::wstring WindowText(HWND hwnd) {
  wchar_t buffer[1024] = {};
  GetWindowTextW(hwnd, buffer, 1024);
  return buffer;
}

// Memory inside the list's process, for the list-view messages that take
// pointers.
class RemoteBuffer {
 public:
  RemoteBuffer(HWND window, std::size_t size) : size_(size) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (process_) {
      memory_ = static_cast<char*>(
          VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    }
  }
  ~RemoteBuffer() {
    if (memory_) VirtualFreeEx(process_, memory_, 0, MEM_RELEASE);
    if (process_) CloseHandle(process_);
  }
  bool ok() const { return memory_ != nullptr; }
  char* at(std::size_t offset) const { return memory_ + offset; }
  bool Write(std::size_t offset, const void* data, std::size_t n) {
    return WriteProcessMemory(process_, memory_ + offset, data, n, nullptr);
  }
  bool Read(std::size_t offset, void* data, std::size_t n) {
    return ReadProcessMemory(process_, memory_ + offset, data, n, nullptr);
  }

 private:
  HANDLE process_ = nullptr;
  char* memory_ = nullptr;
  std::size_t size_;
};

constexpr int kTextChars = 2048;

// One row: state picture, small picture, then the six column texts.
bool ReadRow(HWND list, int index, std::string* line) {
  RemoteBuffer remote(list, sizeof(LVITEMW) + kTextChars * sizeof(wchar_t));
  if (!remote.ok()) return false;
  LVITEMW item = {};
  item.mask = LVIF_IMAGE | LVIF_STATE;
  item.iItem = index;
  item.stateMask = LVIS_STATEIMAGEMASK;
  remote.Write(0, &item, sizeof(item));
  SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(remote.at(0)));
  remote.Read(0, &item, sizeof(item));
  *line =
      std::to_string((item.state & LVIS_STATEIMAGEMASK) >> 12) + "\t" + std::to_string(item.iImage);
  for (int column = 0; column < 6; ++column) {
    LVITEMW text = {};
    text.iSubItem = column;
    text.cchTextMax = kTextChars;
    text.pszText = reinterpret_cast<LPWSTR>(remote.at(sizeof(LVITEMW)));
    remote.Write(0, &text, sizeof(text));
    LRESULT n = SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(index),
                             reinterpret_cast<LPARAM>(remote.at(0)));
    std::wstring value(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) remote.Read(sizeof(LVITEMW), value.data(), value.size() * sizeof(wchar_t));
    *line += "\t" + Field(value);
  }
  return true;
}

HWND ResultList() {
  HWND window = ResultWindow();
  return window ? GetDlgItem(window, kResultList) : nullptr;
}

int PrintRows() {
  HWND list = ResultList();
  if (list == nullptr) return 1;
  int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    std::string line;
    if (!ReadRow(list, i, &line)) return 1;
    Print(line);
  }
  return 0;
}

template <typename Ready>
bool WaitFor(int ms, Ready ready) {
  DWORD start = GetTickCount();
  for (;;) {
    if (ready()) return true;
    if (static_cast<int>(GetTickCount() - start) >= ms) return false;
    Sleep(50);
  }
}

// A visible dialog of tarnu with the given caption (message boxes are
// captioned with the program name).
struct DialogSearch {
  std::wstring caption;
  HWND found;
};
BOOL CALLBACK FindDialog(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<DialogSearch*>(param);
  wchar_t cls[64] = {};
  GetClassNameW(hwnd, cls, 64);
  if (std::wcscmp(cls, L"#32770") == 0 && IsWindowVisible(hwnd) &&
      WindowText(hwnd) == search->caption) {
    search->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK PrintStatic(HWND hwnd, LPARAM) {
  wchar_t cls[64] = {};
  GetClassNameW(hwnd, cls, 64);
  bool picture = (GetWindowLongPtrW(hwnd, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
  if (_wcsicmp(cls, L"Static") == 0 && !picture) {
    std::wstring text = WindowText(hwnd);
    if (!text.empty()) Print(Field(text));
  }
  return TRUE;
}

BOOL CALLBACK FindPopupMenu(HWND hwnd, LPARAM param) {
  wchar_t cls[64] = {};
  GetClassNameW(hwnd, cls, 64);
  if (std::wcscmp(cls, L"#32768") == 0 && IsWindowVisible(hwnd)) {
    *reinterpret_cast<HWND*>(param) = hwnd;
    return FALSE;
  }
  return TRUE;
}

// The shell shows a balloon notification as a balloon-style tooltip.
BOOL CALLBACK FindBalloon(HWND hwnd, LPARAM param) {
  wchar_t cls[64] = {};
  GetClassNameW(hwnd, cls, 64);
  if (_wcsicmp(cls, TOOLTIPS_CLASSW) == 0 && IsWindowVisible(hwnd) &&
      (GetWindowLongPtrW(hwnd, GWL_STYLE) & TTS_BALLOON)) {
    *reinterpret_cast<HWND*>(param) = hwnd;
    return FALSE;
  }
  return TRUE;
}

int Usage();

BOOL CALLBACK PrintTopWindow(HWND hwnd, LPARAM) {
  if (!IsWindowVisible(hwnd)) return TRUE;
  wchar_t cls[128] = {};
  GetClassNameW(hwnd, cls, 128);
  Print(Field(cls) + "\t" + Field(WindowText(hwnd)));
  return TRUE;
}

BOOL CALLBACK FindHelpViewer(HWND hwnd, LPARAM param) {
  wchar_t cls[64] = {};
  GetClassNameW(hwnd, cls, 64);
  if (std::wcscmp(cls, L"HH Parent") == 0 && IsWindowVisible(hwnd)) {
    *reinterpret_cast<HWND*>(param) = hwnd;
    return FALSE;
  }
  return TRUE;
}

// The viewer's parts; of its contents tree, the item selected now.
BOOL CALLBACK PrintHelpChild(HWND hwnd, LPARAM) {
  wchar_t cls[64] = {};
  GetClassNameW(hwnd, cls, 64);
  std::string line = Field(cls) + "\t" + Field(WindowText(hwnd));
  if (std::wcscmp(cls, L"SysTreeView32") == 0) {
    HTREEITEM selected =
        reinterpret_cast<HTREEITEM>(SendMessageW(hwnd, TVM_GETNEXTITEM, TVGN_CARET, 0));
    RemoteBuffer remote(hwnd, sizeof(TVITEMW) + 256 * sizeof(wchar_t));
    if (selected != nullptr && remote.ok()) {
      TVITEMW item = {};
      item.mask = TVIF_TEXT;
      item.hItem = selected;
      item.pszText = reinterpret_cast<LPWSTR>(remote.at(sizeof(TVITEMW)));
      item.cchTextMax = 256;
      remote.Write(0, &item, sizeof(item));
      SendMessageW(hwnd, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(remote.at(0)));
      wchar_t text[257] = {};
      remote.Read(sizeof(TVITEMW), text, 256 * sizeof(wchar_t));
      line += "\tselected: " + Field(text);
    }
  }
  Print(line);
  return TRUE;
}

HWND FindShownDialog(const std::wstring& caption) {
  DialogSearch search = {caption, nullptr};
  EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// One row of any report list: state picture, then every column's text.
bool ReadListRow(HWND list, int index, int columns, std::string* line) {
  RemoteBuffer remote(list, sizeof(LVITEMW) + kTextChars * sizeof(wchar_t));
  if (!remote.ok()) return false;
  LVITEMW item = {};
  item.mask = LVIF_STATE;
  item.iItem = index;
  item.stateMask = LVIS_STATEIMAGEMASK;
  remote.Write(0, &item, sizeof(item));
  SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(remote.at(0)));
  remote.Read(0, &item, sizeof(item));
  *line = std::to_string((item.state & LVIS_STATEIMAGEMASK) >> 12);
  for (int column = 0; column < columns; ++column) {
    LVITEMW text = {};
    text.iSubItem = column;
    text.cchTextMax = kTextChars;
    text.pszText = reinterpret_cast<LPWSTR>(remote.at(sizeof(LVITEMW)));
    remote.Write(0, &text, sizeof(text));
    LRESULT n = SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(index),
                             reinterpret_cast<LPARAM>(remote.at(0)));
    std::wstring value(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) remote.Read(sizeof(LVITEMW), value.data(), value.size() * sizeof(wchar_t));
    *line += "\t" + Field(value);
  }
  return true;
}

int DialogVerb(const std::wstring& verb, int argc, wchar_t** argv) {
  auto arg = [&](int i) { return i < argc ? _wtoi(argv[i]) : 0; };
  if (argc < 3) return Usage();
  const std::wstring caption = argv[2];
  if (verb == L"find") {
    return WaitFor(arg(3), [&] { return FindShownDialog(caption) != nullptr; }) ? 0 : 1;
  }
  if (verb == L"gone") {
    return WaitFor(arg(3), [&] { return FindShownDialog(caption) == nullptr; }) ? 0 : 1;
  }
  HWND dialog = FindShownDialog(caption);
  if (dialog == nullptr) return 1;
  if (verb == L"dialog-rect") {
    RECT rect;
    if (!GetWindowRect(dialog, &rect)) return 1;
    Print(std::to_string(rect.left) + " " + std::to_string(rect.top) + " " +
          std::to_string(rect.right - rect.left) + " " + std::to_string(rect.bottom - rect.top));
    return 0;
  }
  if (verb == L"resize") {
    return SetWindowPos(dialog, nullptr, 0, 0, arg(3), arg(4),
                        SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE)
               ? 0
               : 1;
  }
  if (verb == L"focus") {
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    DWORD thread = GetWindowThreadProcessId(dialog, nullptr);
    if (!GetGUIThreadInfo(thread, &info) || info.hwndFocus == nullptr) return 1;
    Print(std::to_string(GetDlgCtrlID(info.hwndFocus)));
    return 0;
  }
  if (argc < 4) return Usage();
  const int id = arg(3);
  HWND control = GetDlgItem(dialog, id);
  if (control == nullptr) return 1;
  if (verb == L"get") {
    // WM_GETTEXT: GetWindowText does not ask a control of another process.
    wchar_t buffer[4096] = {};
    SendMessageW(control, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer));
    Print(Field(buffer));
    return 0;
  }
  if (verb == L"set") {
    if (argc < 5) return Usage();
    return SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[4])) ? 0 : 1;
  }
  if (verb == L"tick") {
    SendMessageW(control, BM_SETCHECK, arg(4) ? BST_CHECKED : BST_UNCHECKED, 0);
    return PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                        reinterpret_cast<LPARAM>(control))
               ? 0
               : 1;
  }
  if (verb == L"choose") {
    SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(arg(4)), 0);
    return PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
                        reinterpret_cast<LPARAM>(control))
               ? 0
               : 1;
  }
  if (verb == L"press") {
    return PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                        reinterpret_cast<LPARAM>(control))
               ? 0
               : 1;
  }
  if (verb == L"state") {
    bool checked = SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
    Print(std::string(IsWindowEnabled(control) ? "1" : "0") + " " + (checked ? "1" : "0"));
    return 0;
  }
  if (verb == L"list") {
    HWND header = reinterpret_cast<HWND>(SendMessageW(control, LVM_GETHEADER, 0, 0));
    int columns = header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 1;
    int count = static_cast<int>(SendMessageW(control, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
      std::string line;
      if (!ReadListRow(control, i, columns, &line)) return 1;
      Print(line);
    }
    return 0;
  }
  if (verb == L"select") {
    RemoteBuffer remote(control, sizeof(LVITEMW));
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = argc > 5 && arg(5) == 0 ? 0 : LVIS_SELECTED | LVIS_FOCUSED;
    remote.Write(0, &item, sizeof(item));
    return SendMessageW(control, LVM_SETITEMSTATE, static_cast<WPARAM>(arg(4)),
                        reinterpret_cast<LPARAM>(remote.at(0)))
               ? 0
               : 1;
  }
  if (verb == L"list-point") {
    RemoteBuffer remote(control, sizeof(RECT));
    RECT rect = {};
    rect.left = LVIR_BOUNDS;
    remote.Write(0, &rect, sizeof(rect));
    if (!SendMessageW(control, LVM_GETITEMRECT, static_cast<WPARAM>(arg(4)),
                      reinterpret_cast<LPARAM>(remote.at(0)))) {
      return 1;
    }
    remote.Read(0, &rect, sizeof(rect));
    POINT point = {rect.left + 60, (rect.top + rect.bottom) / 2};
    ClientToScreen(control, &point);
    Print(std::to_string(point.x) + " " + std::to_string(point.y));
    return 0;
  }
  if (verb == L"control-rect") {
    RECT rect, client;
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    GetClientRect(dialog, &client);
    Print(std::to_string(rect.left) + " " + std::to_string(rect.top) + " " +
          std::to_string(rect.right - rect.left) + " " + std::to_string(rect.bottom - rect.top));
    Print(std::to_string(client.right) + " " + std::to_string(client.bottom));
    return 0;
  }
  if (verb == L"selection") {
    SendMessageW(control, EM_SETSEL, arg(4), arg(5));
    return 0;
  }
  return Usage();
}

// A tip window of the given process, shown, not a balloon.
struct TipSearch {
  DWORD pid;
  HWND found;
};
BOOL CALLBACK FindTip(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<TipSearch*>(param);
  wchar_t cls[64] = {};
  GetClassNameW(hwnd, cls, 64);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid == search->pid && _wcsicmp(cls, TOOLTIPS_CLASSW) == 0 && IsWindowVisible(hwnd) &&
      !(GetWindowLongPtrW(hwnd, GWL_STYLE) & TTS_BALLOON)) {
    search->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

int Usage() {
  std::fputs("usage: tarnu-driver VERB ARGS (see the source)\n", stderr);
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  _setmode(_fileno(stdout), _O_BINARY);  // lines end in LF alone
  if (argc < 2) return Usage();
  std::wstring verb = argv[1];
  auto arg = [&](int i) { return i < argc ? _wtoi(argv[i]) : 0; };

  if (verb == L"wait-main") {
    return WaitFor(arg(2), [] { return MainWindow() != nullptr && ResultWindow() != nullptr; }) ? 0
                                                                                                : 1;
  }
  if (verb == L"wait-gone") return WaitFor(arg(2), [] { return MainWindow() == nullptr; }) ? 0 : 1;
  if (verb == L"command" || verb == L"tray") {
    HWND main = MainWindow();
    if (main == nullptr) return 1;
    BOOL posted = verb == L"command" ? PostMessageW(main, WM_COMMAND, arg(2), 0)
                                     : PostMessageW(main, WM_USER + 100, 123456, arg(2));
    return posted ? 0 : 1;
  }
  if (verb == L"rows") return PrintRows();
  if (verb == L"windows") {
    EnumWindows(PrintTopWindow, 0);
    return 0;
  }
  if (verb == L"close-help") {
    HWND viewer = nullptr;
    EnumWindows(FindHelpViewer, reinterpret_cast<LPARAM>(&viewer));
    return viewer && PostMessageW(viewer, WM_CLOSE, 0, 0) ? 0 : 1;
  }
  if (verb == L"help-window") {
    HWND viewer = nullptr;
    bool found = WaitFor(arg(2), [&viewer] {
      viewer = nullptr;
      EnumWindows(FindHelpViewer, reinterpret_cast<LPARAM>(&viewer));
      return viewer != nullptr;
    });
    if (!found) return 1;
    Print(Field(WindowText(viewer)));
    EnumChildWindows(viewer, PrintHelpChild, 0);
    return 0;
  }
  for (const wchar_t* dialog_verb :
       {L"find", L"gone", L"get", L"set", L"tick", L"choose", L"press", L"state", L"focus", L"list",
        L"select", L"list-point", L"dialog-rect", L"selection", L"resize", L"control-rect"}) {
    if (verb == dialog_verb) return DialogVerb(verb, argc, argv);
  }
  if (verb == L"wait-rows") {
    int want = arg(2);
    bool ok = WaitFor(arg(3), [want] {
      HWND window = ResultWindow();
      HWND list = ResultList();
      if (window == nullptr || list == nullptr) return false;
      if (WindowText(window).find(L"(") != std::wstring::npos) return false;  // still checking
      return SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == want;
    });
    return ok ? 0 : 1;
  }
  HWND window = ResultWindow();
  if (verb == L"title") {
    if (window == nullptr) return 1;
    Print(Field(WindowText(window)));
    return 0;
  }
  if (verb == L"visible") {
    if (window == nullptr) return 1;
    Print(IsWindowVisible(window) ? "1" : "0");
    return 0;
  }
  if (verb == L"rect") {
    RECT rect;
    if (window == nullptr || !GetWindowRect(window, &rect)) return 1;
    Print(std::to_string(rect.left) + " " + std::to_string(rect.top) + " " +
          std::to_string(rect.right - rect.left) + " " + std::to_string(rect.bottom - rect.top));
    return 0;
  }
  if (verb == L"show-inactive") {
    return window && (ShowWindow(window, SW_SHOWNOACTIVATE), IsWindowVisible(window)) ? 0 : 1;
  }
  if (verb == L"hide") {
    return window && PostMessageW(window, WM_COMMAND, IDCANCEL, 0) ? 0 : 1;
  }
  if (verb == L"move") {
    if (window == nullptr) return 1;
    return SetWindowPos(window, nullptr, arg(2), arg(3), arg(4), arg(5),
                        SWP_NOZORDER | SWP_NOACTIVATE)
               ? 0
               : 1;
  }
  if (verb == L"work-area") {
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    if (window == nullptr ||
        !GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor)) {
      return 1;
    }
    const RECT& area = monitor.rcWork;
    Print(std::to_string(area.left) + " " + std::to_string(area.top) + " " +
          std::to_string(area.right - area.left) + " " + std::to_string(area.bottom - area.top));
    return 0;
  }
  if (verb == L"row-point") {
    // The screen point in the middle of the subject cell of a row.
    HWND list = ResultList();
    if (list == nullptr) return 1;
    RemoteBuffer remote(list, sizeof(RECT));
    RECT rect = {};
    rect.left = LVIR_BOUNDS;
    remote.Write(0, &rect, sizeof(rect));
    if (!SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(arg(2)),
                      reinterpret_cast<LPARAM>(remote.at(0)))) {
      return 1;
    }
    remote.Read(0, &rect, sizeof(rect));
    POINT point = {rect.left + 150, (rect.top + rect.bottom) / 2};
    ClientToScreen(list, &point);
    Print(std::to_string(point.x) + " " + std::to_string(point.y));
    return 0;
  }
  if (verb == L"dialog") {
    if (argc < 4) return Usage();
    DialogSearch search = {argv[2], nullptr};
    bool found = WaitFor(arg(3), [&search] {
      search.found = nullptr;
      EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&search));
      return search.found != nullptr;
    });
    if (!found) return 1;
    EnumChildWindows(search.found, PrintStatic, 0);
    if (argc > 4 && std::wstring(argv[4]) == L"press") {
      int button = argc > 5 ? arg(5) : IDOK;
      PostMessageW(search.found, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(search.found, button)));
    }
    return 0;
  }
  if (verb == L"popup-menu") {
    HWND menu = nullptr;
    bool found = WaitFor(arg(2), [&menu] {
      menu = nullptr;
      EnumWindows(FindPopupMenu, reinterpret_cast<LPARAM>(&menu));
      return menu != nullptr;
    });
    if (!found) return 1;
    HMENU handle = reinterpret_cast<HMENU>(SendMessageW(menu, 0x01E1 /* MN_GETHMENU */, 0, 0));
    Print(std::to_string(handle ? GetMenuItemCount(handle) : -1));
    // Where it is: menus of another process cannot be read under Wine, so
    // a test clicks its items instead.
    RECT rect = {};
    GetWindowRect(menu, &rect);
    Print(std::to_string(rect.left) + " " + std::to_string(rect.top) + " " +
          std::to_string(rect.right - rect.left) + " " + std::to_string(rect.bottom - rect.top));
    return 0;
  }
  if (verb == L"tray-delete" || verb == L"tray-known") {
    // A change of nothing succeeds exactly when the shell knows the icon.
    NOTIFYICONDATAW record = {};
    record.cbSize = sizeof(record);
    record.hWnd = MainWindow();
    record.uID = 123456;
    DWORD message = verb == L"tray-delete" ? NIM_DELETE : NIM_MODIFY;
    return record.hWnd && Shell_NotifyIconW(message, &record) ? 0 : 1;
  }
  if (verb == L"tray-icon") {
    // Wine's taskbar paints the notification icons itself, right to left
    // from its right edge, each a small icon with a 2-pixel border; ours is
    // the only one in the test desktop.
    HWND taskbar = FindWindowW(L"Shell_TrayWnd", nullptr);
    RECT bar;
    if (taskbar == nullptr || !GetWindowRect(taskbar, &bar)) return 1;
    int cell = GetSystemMetrics(SM_CXSMICON) + 4;
    Print(std::to_string(bar.right - cell / 2) + " " + std::to_string((bar.top + bar.bottom) / 2));
    return 0;
  }
  if (verb == L"cell-point") {
    HWND list = ResultList();
    if (list == nullptr) return 1;
    RemoteBuffer remote(list, sizeof(RECT));
    RECT rect = {};
    rect.top = arg(3);  // the subitem
    rect.left = arg(3) == 0 ? LVIR_LABEL : LVIR_BOUNDS;
    remote.Write(0, &rect, sizeof(rect));
    UINT message = arg(3) == 0 ? LVM_GETITEMRECT : LVM_GETSUBITEMRECT;
    if (!SendMessageW(list, message, static_cast<WPARAM>(arg(2)),
                      reinterpret_cast<LPARAM>(remote.at(0)))) {
      return 1;
    }
    remote.Read(0, &rect, sizeof(rect));
    POINT point = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    ClientToScreen(list, &point);
    Print(std::to_string(point.x) + " " + std::to_string(point.y));
    return 0;
  }
  if (verb == L"tip") {
    HWND main = MainWindow();
    DWORD pid = 0;
    if (main == nullptr || !GetWindowThreadProcessId(main, &pid)) return 1;
    TipSearch search = {pid, nullptr};
    bool found = WaitFor(arg(2), [&search] {
      search.found = nullptr;
      EnumWindows(FindTip, reinterpret_cast<LPARAM>(&search));
      return search.found != nullptr;
    });
    if (!found) return 1;
    wchar_t text[2048] = {};
    SendMessageW(search.found, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(text));
    Print(Field(text));
    return 0;
  }
  if (verb == L"tray-tip") {
    // The shell keeps the icon's tip in a tooltip of its own process.
    HWND taskbar = FindWindowW(L"Shell_TrayWnd", nullptr);
    DWORD pid = 0;
    if (taskbar == nullptr || !GetWindowThreadProcessId(taskbar, &pid)) return 1;
    TipSearch search = {pid, nullptr};
    bool found = WaitFor(arg(2), [&search] {
      search.found = nullptr;
      EnumWindows(FindTip, reinterpret_cast<LPARAM>(&search));
      return search.found != nullptr;
    });
    if (!found) return 1;
    wchar_t text[256] = {};
    SendMessageW(search.found, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text));
    Print(Field(text));
    return 0;
  }
  if (verb == L"columns") {
    HWND list = ResultList();
    if (list == nullptr) return 1;
    std::string widths;
    for (int i = 0; i < 6; ++i) {
      if (i > 0) widths += " ";
      widths += std::to_string(SendMessageW(list, LVM_GETCOLUMNWIDTH, i, 0));
    }
    Print(widths);
    return 0;
  }
  if (verb == L"picture-size") {
    HWND list = ResultList();
    if (list == nullptr) return 1;
    RemoteBuffer remote(list, sizeof(RECT));
    RECT rect = {};
    rect.left = LVIR_ICON;
    remote.Write(0, &rect, sizeof(rect));
    if (!SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(arg(2)),
                      reinterpret_cast<LPARAM>(remote.at(0)))) {
      return 1;
    }
    remote.Read(0, &rect, sizeof(rect));
    Print(std::to_string(rect.right - rect.left) + " " + std::to_string(rect.bottom - rect.top));
    return 0;
  }
  if (verb == L"column-width") {
    HWND list = ResultList();
    return list && SendMessageW(list, LVM_SETCOLUMNWIDTH, arg(2), MAKELPARAM(arg(3), 0)) ? 0 : 1;
  }
  if (verb == L"power") {
    HWND main = MainWindow();
    return main && PostMessageW(main, WM_POWERBROADCAST, arg(2), 0) ? 0 : 1;
  }
  if (verb == L"balloon") {
    HWND balloon = nullptr;
    bool found = WaitFor(arg(2), [&balloon] {
      balloon = nullptr;
      EnumWindows(FindBalloon, reinterpret_cast<LPARAM>(&balloon));
      return balloon != nullptr;
    });
    if (!found) return 1;
    // The tooltip hands out the text it shows; WM_GETTEXT is carried across
    // processes by the system. (Wine's shell answers no TTM_GETTITLE.)
    wchar_t text[1024] = {};
    SendMessageW(balloon, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
    Print(Field(text));
    return 0;
  }
  if (verb == L"notice") {
    HWND main = MainWindow();
    HWND notice = main ? GetDlgItem(main, 1100) : nullptr;
    if (notice == nullptr) return 1;
    wchar_t text[1024] = {};
    SendMessageW(notice, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
    Print(Field(text));
    return 0;
  }
  return Usage();
}
