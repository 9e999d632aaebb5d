#include "app/win32/main_window.h"

#include <commctrl.h>

#include <cwchar>
#include <new>

#include "app/check_report.h"
#include "app/new_mail_notice.h"
#include "app/resource_ids.h"
#include "app/startup_logic.h"
#include "app/tray_logic.h"
#include "app/win32/host_dialogs.h"
#include "app/win32/html_help.h"
#include "app/win32/network_state.h"
#include "app/win32/run_key.h"
#include "app/win32/settings_dialog.h"
#include "app/win32/wide_text.h"
#include "model/history_file.h"
#include "ui/settings_form.h"

namespace tarnu::win32 {
namespace {

// The help command a dialog framework sends for F1 and Help buttons.
constexpr int kFrameworkHelpCommand = 57670;

constexpr char kSignInFailedText[] = "サインイン時の起動を設定できませんでした";
constexpr char kIniSaveFailedText[] = "tarnu.ini を保存できませんでした";

constexpr int kPictureIds[] = {IDI_CHECKING_1, IDI_CHECKING_2, IDI_CHECKING_3, IDI_NEW_MAIL_1,
                               IDI_NEW_MAIL_2};

HICON LoadPicture(int id, bool large) {
  HICON icon = nullptr;
  // The size the shell wants at the current scaling, from the multi-size
  // icon resource.
  if (SUCCEEDED(LoadIconMetric(Program().instance, MAKEINTRESOURCEW(id),
                               large ? LIM_LARGE : LIM_SMALL, &icon))) {
    return icon;
  }
  int cx = GetSystemMetrics(large ? SM_CXICON : SM_CXSMICON);
  int cy = GetSystemMetrics(large ? SM_CYICON : SM_CYSMICON);
  return static_cast<HICON>(
      LoadImageW(Program().instance, MAKEINTRESOURCEW(id), IMAGE_ICON, cx, cy, LR_DEFAULTCOLOR));
}

INT_PTR CALLBACK AboutProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      SetForegroundWindow(hwnd);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
        EndDialog(hwnd, LOWORD(wparam));
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

MainWindow::MainWindow() : cycle_(&hosts_, &settings_, &flags_, this) {}

MainWindow::~MainWindow() {
  Destroy();
  for (HICON& icon : pictures_) {
    if (icon) DestroyIcon(icon);
  }
  if (default_icon_) DestroyIcon(default_icon_);
  if (big_icon_) DestroyIcon(big_icon_);
}

bool MainWindow::Create() {
  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = DefDlgProcW;
  window_class.cbWndExtra = DLGWINDOWEXTRA;
  window_class.hInstance = Program().instance;
  window_class.hIcon = LoadIconW(Program().instance, MAKEINTRESOURCEW(IDI_TARNU));
  window_class.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  window_class.lpszClassName = kMainWindowClass;
  RegisterClassExW(&window_class);
  CreateDialogParamW(Program().instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, DialogProc,
                     reinterpret_cast<LPARAM>(this));
  return window_ != nullptr;
}

void MainWindow::OnInit() {
  // The About item of the system menu.
  std::string about = LoadStringCp932(IDS_ABOUT_ITEM);
  HMENU system_menu = GetSystemMenu(window_, FALSE);
  if (system_menu != nullptr && !about.empty()) {
    AppendMenuW(system_menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(system_menu, MF_STRING, IDM_ABOUT, WideFromCp932(about).c_str());
  }

  default_icon_ = LoadPicture(IDI_TARNU, false);
  big_icon_ = LoadPicture(IDI_TARNU, true);
  SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big_icon_));
  SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(default_icon_));

  animation_counter_ = 0;
  flags_ = CheckFlags();
  for (std::size_t i = 0; i < pictures_.size(); ++i)
    pictures_[i] = LoadPicture(kPictureIds[i], false);

  ShowWindow(window_, SW_HIDE);

  config_file_.Load(&settings_, &hosts_, this);
  if (settings_.no_history_at_start != 1) LoadHistoryFile(&hosts_, this);
  LoadProgramOptions(kResultColumns, &options_);
  ApplySignInChoice(options_.start_at_sign_in, true);

  result_.set_stored_columns(options_.result_columns);
  result_.Create(window_, &settings_, this, [this] { flags_.new_mail = false; });

  tray_menu_ = LoadMenuW(Program().instance, MAKEINTRESOURCEW(IDR_TRAY_MENU));
  if (tray_menu_ == nullptr) {
    ShowMessage(kMenuLoadFailedText, MessageIcon::kExclamation);
    PostQuitMessage(0);
  }

  AddTrayIcon();
  icon_timer_ = SetTimer(window_, kIconTimerId, kIconTimerMs, nullptr) != 0;

  CheckTimerPlan plan = PlanCheckTimer(settings_);
  if (plan.start) StartCheckTimer(plan.period_ms);
  if (plan.check_now) PostMessageW(window_, WM_COMMAND, IDM_CHECK, 0);
  // Nothing to watch yet: lead a new user to the one thing to do first.
  if (hosts_.empty()) PostMessageW(window_, WM_COMMAND, IDM_HOSTS, 0);
}

void MainWindow::Destroy() {
  if (window_ == nullptr) return;
  if (result_.hwnd() != nullptr) {
    RECT rect = result_.StoredRect();
    StoreResultWindowRect(rect.left, rect.top, rect.right, rect.bottom, &settings_);
    SaveSettings(false);
    SaveColumnWidths();
  }
  result_.Destroy();
  tray_.Remove();
  if (icon_timer_) KillTimer(window_, kIconTimerId);
  icon_timer_ = false;
  StopCheckTimer();
  HWND window = window_;
  window_ = nullptr;
  DestroyWindow(window);
  if (tray_menu_) DestroyMenu(tray_menu_);
  tray_menu_ = nullptr;
}

void MainWindow::StartCheckTimer(UINT period_ms) {
  if (check_timer_ != 0) KillTimer(window_, check_timer_);
  check_timer_ = SetTimer(window_, kCheckTimerId, period_ms, nullptr);
}

void MainWindow::StopCheckTimer() {
  if (check_timer_ == 0) return;
  KillTimer(window_, check_timer_);
  check_timer_ = 0;
}

HICON MainWindow::Picture(int id) const {
  if (id == kPictureDefault) return default_icon_;
  for (std::size_t i = 0; i < pictures_.size(); ++i) {
    if (kPictureIds[i] == id) return pictures_[i];
  }
  return nullptr;
}

void MainWindow::AddTrayIcon() {
  if (tray_tip_.empty()) tray_tip_ = FormatTrayTip(Program().name, {TipChange::kReset, ""});
  tray_.Add(window_, default_icon_, tray_tip_);
}

bool MainWindow::ApplyTrayState(const TrayTip& tip, int picture) {
  const bool change_tip = tip.change != TipChange::kNone;
  const bool change_picture = picture != kPictureUnchanged;
  if (!change_tip && !change_picture) return true;
  if (change_tip) tray_tip_ = FormatTrayTip(Program().name, tip);
  return tray_.Modify(change_picture ? Picture(picture) : nullptr,
                      change_tip ? &tray_tip_ : nullptr);
}

void MainWindow::TrayTick() {
  int picture = ChooseTrayPicture(flags_, &animation_counter_);
  // A refusal means the shell forgot the icon (a restarted desktop).
  if (!ApplyTrayState(TrayTip(), picture)) AddTrayIcon();
  // The same tick watches the network for the checks after a wake-up; only
  // periodic checking has any, so without it the network is not looked at.
  const bool periodic = PlanCheckTimer(settings_).start;
  if (network_.Tick(GetTickCount64(), !periodic || NetworkIsUp(), cycle_.running(), periodic)) {
    PostMessageW(window_, WM_COMMAND, IDM_CHECK, 0);
  }
}

void MainWindow::OnPowerBroadcast(WPARAM event) {
  switch (event) {
    case PBT_APMSUSPEND:
      network_.Suspending(cycle_.running());
      break;
    case PBT_APMRESUMECRITICAL:
    case PBT_APMRESUMESUSPEND:
    case PBT_APMRESUMEAUTOMATIC:
      network_.Resumed(GetTickCount64(), PlanCheckTimer(settings_).start);
      break;
    default:
      break;
  }
}

void MainWindow::TrayCallback(UINT icon_id, UINT mouse_message) {
  if (icon_id != kTrayIconId) return;
  if (mouse_message == WM_LBUTTONDBLCLK || mouse_message == NIN_BALLOONUSERCLICK) {
    PostMessageW(window_, WM_COMMAND, IDM_SHOW_RESULTS, 0);
  } else if (mouse_message == WM_RBUTTONDOWN && !flags_.checking) {
    HMENU popup = tray_menu_ ? GetSubMenu(tray_menu_, 0) : nullptr;
    if (popup == nullptr) return;
    POINT cursor;
    GetCursorPos(&cursor);
    SetForegroundWindow(window_);
    TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, window_, nullptr);
    // Lets the menu close when the user clicks elsewhere.
    PostMessageW(window_, WM_NULL, 0, 0);
  }
}

void MainWindow::ShowAboutBox() {
  DialogBoxParamW(Program().instance, MAKEINTRESOURCEW(IDD_ABOUT), window_, AboutProc, 0);
}

void MainWindow::EditHosts() {
  HostListDialog dialog(hosts_, this);
  if (!dialog.Run(window_)) return;
  if (dialog.form().Commit(&hosts_, this)) SaveSettings(true);
}

void MainWindow::SaveSettings(bool edited) {
  config_file_.Save(&settings_, &hosts_, this, edited, [this] {
    int answer = MessageBoxW(window_, WideFromCp932(kSettingsChangedQuestion).c_str(),
                             Program().wide_name.c_str(), MB_YESNO | MB_ICONQUESTION);
    return answer == IDYES ? ConflictChoice::kKeepMine : ConflictChoice::kTakeFile;
  });
}

void MainWindow::SaveColumnWidths() {
  if (std::optional<std::vector<int>> widths = result_.ColumnsToStore()) {
    options_.result_columns = *widths;
    // At exit nobody is left to tell; the widths are a convenience.
    SaveProgramOptions(options_);
  }
}

void MainWindow::EditSettings() {
  SettingsDialog dialog(settings_, {options_.notify_new_mail, StartsAtSignIn()});
  if (!dialog.Run(window_)) return;
  StoreSettingsForm(dialog.form(), &settings_);
  SaveSettings(true);
  const DesktopSwitches& switches = dialog.switches();
  options_.notify_new_mail = switches.notify_new_mail;
  options_.start_at_sign_in = switches.start_at_sign_in;
  if (!ApplySignInChoice(options_.start_at_sign_in, false)) {
    ShowMessage(kSignInFailedText, MessageIcon::kExclamation);
  }
  if (!SaveProgramOptions(options_)) ShowMessage(kIniSaveFailedText, MessageIcon::kExclamation);
  // The interval counts from now, with the settings as saved (the user may
  // have taken the file's instead, when it changed meanwhile).
  CheckTimerPlan plan = PlanCheckTimer(settings_);
  if (plan.start) {
    StartCheckTimer(plan.period_ms);
  } else {
    StopCheckTimer();
  }
}

void MainWindow::OnCommand(int id) {
  switch (id) {
    case IDM_CHECK:
      cycle_.RunCheck();
      break;
    case IDM_SETTINGS:
      EnableTrayItem(IDM_SETTINGS, false);
      EditSettings();
      EnableTrayItem(IDM_SETTINGS, true);
      break;
    case IDM_HOSTS:
      EnableTrayItem(IDM_HOSTS, false);
      EditHosts();
      EnableTrayItem(IDM_HOSTS, true);
      break;
    case IDC_TEST_HOSTS:
      EditHosts();
      break;
    case IDC_TEST_CHECK:
      PostMessageW(window_, WM_COMMAND, IDM_CHECK, 0);
      break;
    case IDM_SHOW_RESULTS:
      flags_.new_mail = false;
      ShowResultWindow();
      break;
    case IDM_ABOUT:
      EnableTrayItem(IDM_ABOUT, false);
      ShowAboutBox();
      EnableTrayItem(IDM_ABOUT, true);
      break;
    case IDM_HELP:
      ShowHelpTopic(nullptr, kHelpWelcomeTopic);
      break;
    case kFrameworkHelpCommand:
      if (!ShowHelpTopic(window_, kHelpWelcomeTopic))
        ShowMessage(kHelpMissingText, MessageIcon::kExclamation);
      break;
    case IDM_EXIT:
      PostQuitMessage(0);
      break;
    default:
      break;
  }
}

void MainWindow::OnTimer(UINT_PTR id) {
  if (id == kIconTimerId) {
    TrayTick();
  } else if (id == kCheckTimerId) {
    // Right after a wake-up the check waits for the network instead.
    if (network_.TimerCheckAllowed()) PostMessageW(window_, WM_COMMAND, IDM_CHECK, 0);
  }
}

INT_PTR MainWindow::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case kTrayCallbackMessage:
      TrayCallback(static_cast<UINT>(wparam), static_cast<UINT>(LOWORD(lparam)));
      SetWindowLongPtrW(window_, DWLP_MSGRESULT, 0);
      return TRUE;
    case WM_TIMER:
      OnTimer(wparam);
      return FALSE;  // and on to the default handling
    case WM_POWERBROADCAST:
      OnPowerBroadcast(wparam);
      SetWindowLongPtrW(window_, DWLP_MSGRESULT, TRUE);
      return TRUE;
    case WM_COMMAND:
      OnCommand(LOWORD(wparam));
      return TRUE;
    case WM_SYSCOMMAND:
      if ((wparam & 0xFFF0) == IDM_ABOUT) {
        ShowAboutBox();
        return TRUE;
      }
      return FALSE;
    case WM_HELP:
      ShowHelpTopic(window_, kHelpWelcomeTopic);
      return TRUE;
    case WM_CLOSE:
      // Asked to close from outside (the window is never shown): end the
      // program the regular way, so the settings are saved.
      PostQuitMessage(0);
      return TRUE;
    case WM_ENDSESSION:
      // The session ends without a message loop to come back to: save now.
      if (wparam && result_.hwnd() != nullptr) {
        RECT rect = result_.StoredRect();
        StoreResultWindowRect(rect.left, rect.top, rect.right, rect.bottom, &settings_);
        SaveSettings(false);
        SaveColumnWidths();
        tray_.Remove();
      }
      return FALSE;
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK MainWindow::DialogProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  MainWindow* self;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<MainWindow*>(lparam);
    SetWindowLongPtrW(hwnd, DWLP_USER, lparam);
    self->window_ = hwnd;
  } else {
    self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (self == nullptr || self->window_ != hwnd) return FALSE;
  }
  try {
    if (message == WM_INITDIALOG) {
      self->OnInit();
      return FALSE;  // the window stays hidden and takes no focus
    }
    return self->OnMessage(message, wparam, lparam);
  } catch (const std::bad_alloc&) {
    ShowMessageBox(hwnd, kOutOfMemoryText);
    PostQuitMessage(-1);
    return FALSE;
  }
}

// CheckShell.

void MainWindow::EnableTrayItem(int command_id, bool enabled) {
  HMENU popup = tray_menu_ ? GetSubMenu(tray_menu_, 0) : nullptr;
  if (popup == nullptr) return;
  EnableMenuItem(popup, static_cast<UINT>(command_id),
                 MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED | MF_DISABLED));
}

void MainWindow::SetTrayState(const TrayTip& tip, int picture) { ApplyTrayState(tip, picture); }

void MainWindow::ClearResultList() { result_.Clear(); }

void MainWindow::ShowResultWindow() { result_.Show(); }

void MainWindow::InsertResultRow(int position, const ResultListRow& row) {
  result_.InsertRow(position, row);
}

void MainWindow::InsertHostRows(int position, std::shared_ptr<const HostRows> rows) {
  result_.InsertRows(position, std::move(rows));
}

std::string MainWindow::GetTitle() { return result_.GetTitle(); }

void MainWindow::SetTitle(const std::string& title) { result_.SetTitle(title); }

void MainWindow::PumpMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // Keep the first quit request for the message loop; the check goes on.
      if (!pending_quit_) pending_quit_ = static_cast<int>(msg.wParam);
      continue;
    }
    // Keyboard navigation for whichever of the program's windows the
    // message is for: the result window, or a dialog open meanwhile.
    if (IsDialogMessageOfProgram(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

bool MainWindow::IsDialogMessageOfProgram(MSG& msg) const {
  HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
  if (root == nullptr) return false;
  wchar_t window_class[16] = {};
  GetClassNameW(root, window_class, 16);
  const bool dialog = root == result_.hwnd() || std::wcscmp(window_class, L"#32770") == 0;
  return dialog && IsDialogMessageW(root, &msg);
}

void MainWindow::ShowMessage(const std::string& text, MessageIcon icon) {
  ShowMessageBox(window_, text, icon);
}

void MainWindow::RequestQuit(int exit_code) { PostQuitMessage(exit_code); }

bool MainWindow::ConfirmCertificate(const std::string& question) {
  // "No" is the default: a stray Enter must not trust a certificate.
  return MessageBoxW(window_, WideFromCp932(question).c_str(), Program().wide_name.c_str(),
                     MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2 | MB_SETFOREGROUND) == IDYES;
}

void MainWindow::HostsChanged() { SaveSettings(true); }

bool MainWindow::WaitsAbandoned() { return network_.WaitsAbandoned(); }

void MainWindow::CheckFinished(const CheckReport& report) {
  network_.CheckFinished();
  ApplyTrayState(AfterCheckTip(report), kPictureUnchanged);
  if (std::optional<NewMailNotice> notice = NewMailNoticeFor(report, options_.notify_new_mail)) {
    std::wstring title(notice->title.begin(), notice->title.end());
    std::wstring text(notice->text.begin(), notice->text.end());
    tray_.ShowBalloon(title, text);
    SetDlgItemTextW(window_, IDC_LAST_NOTICE, (title + L"\n" + text).c_str());
  }
}

}  // namespace tarnu::win32
