// The decisions of start-up and shut-down that do not need a window: the
// single-instance guard's outcome, the check timer, and where the result
// window goes.
#ifndef TARNU_APP_STARTUP_LOGIC_H_
#define TARNU_APP_STARTUP_LOGIC_H_

#include <cstdint>
#include <optional>

#include "model/app_settings.h"

namespace tarnu {

// Texts of start-up.
inline constexpr char kAlreadyRunningText[] = "既に起動されています";
inline constexpr char kMutexFailedText[] = "ミューテックス作成に失敗";
inline constexpr char kOutOfMemoryText[] = "メモリが足りません";
inline constexpr char kMenuLoadFailedText[] = "メニュー読み込みに失敗しました";
inline constexpr char kHelpMissingText[] =
    "ヘルプファイルが見つからないか、またはディレクトリが違います";
inline constexpr char kHelpFile[] = "tarnu.chm";
inline constexpr char kHelpWelcomeTopic[] = "youkoso.htm";
inline constexpr char kHelpResultTopic[] = "mailget.htm";

// Winsock start-up accepts version 1.1 only.
bool AcceptWinsockVersion(std::uint16_t version);

enum class MutexOutcome { kPassed, kAlreadyRunning, kFailed };

// What creating the single-instance mutex came to, from whether a handle
// came back and the thread's last error after the call.
inline constexpr unsigned long kErrorAlreadyExists = 183;
MutexOutcome ClassifyMutexResult(bool got_handle, unsigned long last_error);

// Timer ids of the main window.
inline constexpr unsigned kCheckTimerId = 1;
inline constexpr unsigned kIconTimerId = 2;
inline constexpr unsigned kIconTimerMs = 2000;

struct CheckTimerPlan {
  bool start = false;  // run the periodic check timer
  std::uint32_t period_ms = 0;
  bool check_now = false;  // post the first check at start-up
};

// The check timer from the settings: only with periodic checking on; the
// period is the interval in minutes times 60000 ms, kept within one minute
// and the longest period a window timer takes, so that a damaged or
// hand-edited interval of 0 or less cannot make the program poll its servers
// without pause, nor a huge one wrap around to a short period.
CheckTimerPlan PlanCheckTimer(const AppSettings& settings);
inline constexpr std::uint32_t kLongestTimerMs = 0x7FFFFFFF;

struct WindowRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

// Where the result window goes at start-up: the stored rectangle unless the
// settings forbid restoring it or its width or height is 0 (never stored).
std::optional<WindowRect> StoredResultWindowRect(const AppSettings& settings);

// The window moved and, where it must be, shrunk so that it lies wholly
// inside `work` (the work area of its monitor): a rectangle stored on a
// larger screen, or a template taller than a small one, never leaves the
// frame or the list's last rows out of reach.
WindowRect FitIntoWorkArea(const WindowRect& window, const WindowRect& work);

// Stores the result window's screen rectangle at exit (height before width,
// as the settings keep them).
void StoreResultWindowRect(int left, int top, int right, int bottom, AppSettings* settings);

}  // namespace tarnu

#endif  // TARNU_APP_STARTUP_LOGIC_H_
