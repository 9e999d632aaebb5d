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

void StoreResultWindowRect(int left, int top, int right, int bottom, AppSettings* settings) {
  settings->left = left;
  settings->top = top;
  settings->height = bottom - top;
  settings->width = right - left;
}

}  // namespace tarnu
