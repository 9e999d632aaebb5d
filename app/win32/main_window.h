// The hidden main window: owns the host list, the settings, the tray icon,
// the result window and the two timers, and runs every command of the tray
// menu. It is what the check cycle sees of the program (CheckShell).
#ifndef TARNU_APP_WIN32_MAIN_WINDOW_H_
#define TARNU_APP_WIN32_MAIN_WINDOW_H_

#include <windows.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "app/check_cycle.h"
#include "app/network_watch.h"
#include "app/tray_state.h"
#include "app/win32/result_window.h"
#include "app/win32/tray_icon.h"
#include "model/app_settings.h"
#include "model/config_sync.h"
#include "model/host_entry.h"
#include "model/ini_file.h"

namespace tarnu::win32 {

// The window class of the hidden main window, so other programs (and the
// tests) can find it.
inline constexpr wchar_t kMainWindowClass[] = L"tarnuMainWindow";

class MainWindow : public CheckShell {
 public:
  MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;
  ~MainWindow() override;

  // Registers the window class and creates the window from its template;
  // the whole start-up from the system menu to the first check runs inside.
  bool Create();
  // The shut-down: stores the result window's rectangle, saves the settings,
  // destroys the result window, removes the icon, kills the timers and
  // destroys the window.
  void Destroy();

  HWND hwnd() const { return window_; }
  HWND result_hwnd() const { return result_.hwnd(); }

  // A quit request taken from the queue while a check pumped messages; the
  // message loop ends with it once the check is over.
  std::optional<int> pending_quit() const { return pending_quit_; }

  // CheckShell.
  void EnableTrayItem(int command_id, bool enabled) override;
  void SetTrayState(const TrayTip& tip, int picture) override;
  void ClearResultList() override;
  void ShowResultWindow() override;
  void InsertResultRow(int position, const ResultListRow& row) override;
  void InsertHostRows(int position, std::shared_ptr<const HostRows> rows) override;
  std::string GetTitle() override;
  void SetTitle(const std::string& title) override;
  void PumpMessages() override;
  bool WaitsAbandoned() override;
  void CheckFinished(const CheckReport& report) override;
  void ShowMessage(const std::string& text, MessageIcon icon) override;
  void RequestQuit(int exit_code) override;
  bool ConfirmCertificate(const std::string& question) override;
  void HostsChanged() override;

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  INT_PTR OnMessage(UINT message, WPARAM wparam, LPARAM lparam);
  void OnInit();
  void OnCommand(int id);
  void OnTimer(UINT_PTR id);
  void OnPowerBroadcast(WPARAM event);
  // tarnu.ini gets the result list's column widths when the user changed them.
  void SaveColumnWidths();
  void TrayTick();
  void TrayCallback(UINT icon_id, UINT mouse_message);
  bool ApplyTrayState(const TrayTip& tip, int picture);
  void AddTrayIcon();
  void StartCheckTimer(UINT period_ms);
  void StopCheckTimer();
  void ShowAboutBox();
  // The host list dialog; after OK the host list is replaced and saved.
  void EditHosts();
  // The basic settings dialog; after OK the settings are taken, the check
  // timer is re-armed and the settings file saved.
  void EditSettings();
  // Writes tarnu.pref; `edited` after a settings dialog's OK, when edits
  // made elsewhere meanwhile make the user choose.
  void SaveSettings(bool edited);
  HICON Picture(int id) const;
  bool IsDialogMessageOfProgram(MSG& msg) const;

  HWND window_ = nullptr;
  HostList hosts_;
  AppSettings settings_;
  ProgramOptions options_;  // tarnu.ini
  // tarnu.pref as last read or written here: saves take edits made
  // elsewhere meanwhile instead of undoing them.
  SharedConfigFile config_file_;
  CheckFlags flags_;
  CheckCycle cycle_;
  NetworkWatch network_;
  std::int32_t animation_counter_ = 0;
  TrayIcon tray_;
  // The tip the icon shows now, for an icon the shell lost and is given
  // again (the counts of the last check stay readable).
  std::string tray_tip_;
  HMENU tray_menu_ = nullptr;
  HICON default_icon_ = nullptr;
  HICON big_icon_ = nullptr;
  std::array<HICON, 5> pictures_ = {};  // 142, 143, 144, 145, 146
  ResultWindow result_;
  UINT_PTR check_timer_ = 0;
  bool icon_timer_ = false;
  std::optional<int> pending_quit_;
};

}  // namespace tarnu::win32

#endif  // TARNU_APP_WIN32_MAIN_WINDOW_H_
