#include "app/network_watch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarnu {
namespace {

// One event and what the watch answers after it.
struct Step {
  char event;  // 's' sleep while idle, 'S' sleep during a check, 'r' resume, 't' tick, 'f' check
               // finished
  std::uint64_t ms = 0;
  bool up = true;          // ticks: the network is up
  bool checking = false;   // ticks: a check runs
  bool check_now = false;  // ticks: a check is to start
  bool timer_allowed = true;
  bool abandoned = false;
};

void Play(const char* name, bool periodic, const std::vector<Step>& steps) {
  NetworkWatch watch;
  int i = 0;
  for (const Step& s : steps) {
    std::string where = std::string(name) + ", step " + std::to_string(i++);
    bool check_now = false;
    switch (s.event) {
      case 's':
      case 'S':
        watch.Suspending(s.event == 'S');
        break;
      case 'r':
        watch.Resumed(s.ms, periodic);
        break;
      case 'f':
        watch.CheckFinished();
        break;
      default:
        check_now = watch.Tick(s.ms, s.up, s.checking, periodic);
    }
    EXPECT_EQ(check_now, s.check_now) << where;
    EXPECT_EQ(watch.TimerCheckAllowed(), s.timer_allowed) << where;
    EXPECT_EQ(watch.WaitsAbandoned(), s.abandoned) << where;
  }
}

TEST(NetworkWatch, WakeUpsAndReturningNetworksBringOneCheck) {
  // {event, ms, up, checking, check_now, timer_allowed, abandoned}
  Play("wake-up with the network there at once", true,
       {{'t', 0},
        {'s', 10, true, false, false, true, true},
        {'r', 5000, true, false, false, false},
        {'t', 6000, true, false, true, true},
        {'t', 8000, true, false, false, true}});
  Play("wake-up: the network takes a while", true,
       {{'s', 0, true, false, false, true, true},
        {'r', 1000, true, false, false, false},
        {'t', 3000, false, false, false, false},
        {'t', 5000, false, false, false, false},
        {'t', 7000, true, false, true, true},
        {'t', 9000, true, false, false, true}});
  Play("wake-up: no network within a minute, the check runs and tells", true,
       {{'s', 0, true, false, false, true, true},
        {'r', 1000, true, false, false, false},
        {'t', 60000, false, false, false, false},
        {'t', 61000, false, false, true, true},
        {'t', 63000, false, false, false, true}});
  Play("two resume messages make one wait and one check", true,
       {{'s', 0, true, false, false, true, true},
        {'r', 1000, true, false, false, false},
        {'t', 2000, false, false, false, false},
        {'r', 2500, true, false, false, false},
        {'t', 62000, false, false, true, true}});
  Play("the network comes back without a sleep", true,
       {{'t', 0, true},
        {'t', 2000, false},
        {'t', 4000, false},
        {'t', 6000, true, false, true},
        {'t', 8000, true}});
  Play("a network that was never seen down brings nothing", true,
       {{'t', 0, true}, {'t', 2000, true}});
  Play("a check due while one runs starts after it", true,
       {{'t', 0, false},
        {'t', 2000, true, true, false},
        {'t', 4000, true, true, false},
        {'t', 6000, true, false, true},
        {'t', 8000, true}});
  Play("without periodic checks nothing starts by itself", false,
       {{'s', 0, true, false, false, true, true},
        {'r', 1000},
        {'t', 3000, true},
        {'t', 5000, false},
        {'t', 7000, true}});
}

TEST(NetworkWatch, ACheckRunningAtSleepGivesUpItsWaitsUntilItEnds) {
  Play("sleep during a check", true,
       {{'S', 0, true, false, false, true, true},
        // Awake again while the abandoned check is still ending.
        {'r', 1000, true, false, false, false, true},
        {'t', 2000, true, true, false, true, true},
        {'f', 2500, true, false, false, true, false},
        {'t', 4000, true, false, true, true, false}});
  Play("sleep while idle: a check started before the sleep itself gives up too", true,
       {{'s', 0, true, false, false, true, true}, {'r', 1000, true, false, false, false, false}});
}

}  // namespace
}  // namespace tarnu
