#include "app/startup_logic.h"

#include <gtest/gtest.h>

#include <climits>

namespace tarnu {
namespace {

TEST(ClassifyMutexResult, ThreeOutcomes) {
  struct Case {
    bool handle;
    unsigned long error;
    MutexOutcome outcome;
  } cases[] = {
      {true, 0, MutexOutcome::kPassed},
      {true, 183, MutexOutcome::kAlreadyRunning},  // the usual second start
      {false, 183, MutexOutcome::kAlreadyRunning},
      {false, 0, MutexOutcome::kFailed},  // no handle at all
      {true, 5, MutexOutcome::kFailed},   // a handle but an error
      {false, 5, MutexOutcome::kFailed},  // access denied
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ClassifyMutexResult(c.handle, c.error), c.outcome) << c.handle << " " << c.error;
  }
}

TEST(AcceptWinsockVersion, OnlyOnePointOne) {
  EXPECT_TRUE(AcceptWinsockVersion(0x0101));
  for (std::uint16_t v : {0x0001, 0x0100, 0x0202, 0x0102, 0x0201, 0x0000}) {
    EXPECT_FALSE(AcceptWinsockVersion(v)) << std::hex << v;
  }
}

TEST(PlanCheckTimer, FollowsThePeriodicAndStartUpOptions) {
  struct Case {
    std::int32_t periodic, interval, no_check_at_start;
    bool start;
    std::uint32_t period;
    bool check_now;
  } cases[] = {
      {0, 10, 0, false, 0, false},  // no periodic check: no timer, no start-up check
      {0, 10, 1, false, 0, false},
      {1, 10, 0, true, 600000, true},
      {1, 10, 1, true, 600000, false},  // first check one interval after start
      {1, 3, 0, true, 180000, true},
      {2, 10, 0, false, 0, false},  // only 1 means on
      // Intervals no dialog accepts, from a damaged or hand-made file.
      {1, 0, 0, true, 60000, true},
      {1, -5, 0, true, 60000, true},
      {1, INT_MIN, 0, true, 60000, true},
      {1, 35791, 0, true, 2147460000u, true},
      {1, 35792, 0, true, 0x7FFFFFFFu, true},  // would pass the longest timer period
      {1, INT_MAX, 0, true, 0x7FFFFFFFu, true},
  };
  for (const Case& c : cases) {
    AppSettings settings;
    settings.periodic_check = c.periodic;
    settings.interval = c.interval;
    settings.no_check_at_start = c.no_check_at_start;
    CheckTimerPlan plan = PlanCheckTimer(settings);
    EXPECT_EQ(plan.start, c.start) << c.periodic << " " << c.interval;
    EXPECT_EQ(plan.check_now, c.check_now) << c.periodic << " " << c.interval;
    if (c.start) {
      EXPECT_EQ(plan.period_ms, c.period) << c.interval;
    }
  }
}

TEST(StoredResultWindowRect, RestoresOnlyAStoredRectangle) {
  AppSettings settings;
  EXPECT_FALSE(StoredResultWindowRect(settings)) << "defaults hold no rectangle";

  StoreResultWindowRect(120, 80, 520, 380, &settings);
  EXPECT_EQ(settings.left, 120);
  EXPECT_EQ(settings.top, 80);
  EXPECT_EQ(settings.height, 300);
  EXPECT_EQ(settings.width, 400);
  std::optional<WindowRect> rect = StoredResultWindowRect(settings);
  ASSERT_TRUE(rect);
  EXPECT_EQ(rect->left, 120);
  EXPECT_EQ(rect->top, 80);
  EXPECT_EQ(rect->width, 400);
  EXPECT_EQ(rect->height, 300);

  // Negative positions are real places on a monitor left of the main one.
  StoreResultWindowRect(-900, -20, -500, 280, &settings);
  rect = StoredResultWindowRect(settings);
  ASSERT_TRUE(rect);
  EXPECT_EQ(rect->left, -900);
  EXPECT_EQ(rect->width, 400);

  settings.no_position_restore = 1;
  EXPECT_FALSE(StoredResultWindowRect(settings));
  settings.no_position_restore = 0;
  settings.width = 0;
  EXPECT_FALSE(StoredResultWindowRect(settings));
  settings.width = 400;
  settings.height = 0;
  EXPECT_FALSE(StoredResultWindowRect(settings));
}

TEST(FitIntoWorkArea, NeverLargerThanTheWorkAreaNorPartlyOffIt) {
  // A 1366 x 728 work area (a 768-pixel screen less its taskbar), and one of
  // a second monitor to the left of the first.
  const WindowRect work{0, 0, 1366, 728};
  const WindowRect left_monitor{-1920, 0, 1920, 1040};
  struct Case {
    WindowRect window, work, fitted;
  } cases[] = {
      {{100, 100, 600, 400}, work, {100, 100, 600, 400}},  // inside: untouched
      {{100, 100, 1900, 1000}, work, {0, 0, 1366, 728}},   // from a larger screen
      {{900, 500, 600, 400}, work, {766, 328, 600, 400}},  // hanging off the bottom right
      {{-50, -20, 600, 400}, work, {0, 0, 600, 400}},      // above and left of it
      {{0, 0, 1366, 728}, work, {0, 0, 1366, 728}},        // exactly the work area
      {{-1800, 900, 800, 600}, left_monitor, {-1800, 440, 800, 600}},
      {{100, 100, 600, 400}, {0, 0, 0, 0}, {100, 100, 600, 400}},  // no work area known
      {{INT_MAX - 10, INT_MAX - 10, 600, 400}, work, {766, 328, 600, 400}},
  };
  for (const Case& c : cases) {
    WindowRect got = FitIntoWorkArea(c.window, c.work);
    EXPECT_EQ(got.left, c.fitted.left) << c.window.left << "," << c.window.top;
    EXPECT_EQ(got.top, c.fitted.top) << c.window.left << "," << c.window.top;
    EXPECT_EQ(got.width, c.fitted.width) << c.window.width;
    EXPECT_EQ(got.height, c.fitted.height) << c.window.height;
  }
}

}  // namespace
}  // namespace tarnu
