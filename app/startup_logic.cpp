#include "app/startup_logic.h"

namespace tarnu {

bool AcceptWinsockVersion(std::uint16_t version) { return version == 0x0101; }

MutexOutcome ClassifyMutexResult(bool got_handle, unsigned long last_error) {
  if (last_error == kErrorAlreadyExists) return MutexOutcome::kAlreadyRunning;
  if (got_handle && last_error == 0) return MutexOutcome::kPassed;
  return MutexOutcome::kFailed;
}

CheckTimerPlan PlanCheckTimer(const AppSettings& settings) {
  CheckTimerPlan plan;
  if (settings.periodic_check != 1) return plan;
  plan.start = true;
  std::int64_t ms = static_cast<std::int64_t>(settings.interval) * 60000;
  if (ms < 60000) ms = 60000;
  if (ms > kLongestTimerMs) ms = kLongestTimerMs;
  plan.period_ms = static_cast<std::uint32_t>(ms);
  plan.check_now = settings.no_check_at_start == 0;
  return plan;
}

std::optional<WindowRect> StoredResultWindowRect(const AppSettings& settings) {
  if (settings.no_position_restore == 1) return std::nullopt;
  if (settings.height == 0 || settings.width == 0) return std::nullopt;
  return WindowRect{settings.left, settings.top, settings.width, settings.height};
}

namespace {

// One axis: the length cut to the room, the start moved inside it.
void FitAxis(int room_start, int room_length, int* start, int* length) {
  if (room_length <= 0) return;
  if (*length > room_length) *length = room_length;
  const std::int64_t last_start = static_cast<std::int64_t>(room_start) + room_length - *length;
  if (*start > last_start) *start = static_cast<int>(last_start);
  if (*start < room_start) *start = room_start;
}

}  // namespace

WindowRect FitIntoWorkArea(const WindowRect& window, const WindowRect& work) {
  WindowRect fitted = window;
  FitAxis(work.left, work.width, &fitted.left, &fitted.width);
  FitAxis(work.top, work.height, &fitted.top, &fitted.height);
  return fitted;
}

void StoreResultWindowRect(int left, int top, int right, int bottom, AppSettings* settings) {
  settings->left = left;
  settings->top = top;
  settings->height = bottom - top;
  settings->width = right - left;
}

}  // namespace tarnu
