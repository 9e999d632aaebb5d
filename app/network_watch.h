// Checks around sleep and network changes. A laptop that wakes up has no
// network for a few seconds: the check that is due then would only fail, so
// it waits until the network is up (or a minute has passed, to tell the
// truth when it never comes). A network that comes back after being away
// brings a check of its own. A check running when the machine goes to sleep
// gives up its waits (each host ends with its error text) instead of
// waiting on connections that are dead after the wake-up.
#ifndef TARNU_APP_NETWORK_WATCH_H_
#define TARNU_APP_NETWORK_WATCH_H_

#include <cstdint>

namespace tarnu {

class NetworkWatch {
 public:
  // How long a check waits for the network after a wake-up.
  static constexpr std::uint64_t kResumeWaitMs = 60000;

  // `periodic` is whether the settings check periodically: only then do
  // wake-ups and a returning network bring checks of their own.
  void Suspending(bool checking);
  void Resumed(std::uint64_t now_ms, bool periodic);

  // One look at the network (the icon timer's tick). True when a check is to
  // start now; never while one runs (`checking`), it waits for its end.
  bool Tick(std::uint64_t now_ms, bool network_up, bool checking, bool periodic);

  // Whether a check due by the check timer runs now: not while a wake-up
  // waits for the network, since the check that follows covers it.
  bool TimerCheckAllowed() const { return !awaiting_network_; }

  // Whether the network waits of a check are to be given up.
  bool WaitsAbandoned() const { return asleep_ || abandon_running_check_; }
  void CheckFinished() { abandon_running_check_ = false; }

 private:
  bool asleep_ = false;
  bool abandon_running_check_ = false;
  bool awaiting_network_ = false;
  std::uint64_t awaiting_since_ = 0;
  bool check_due_ = false;  // decided, waiting for the running check to end
  bool seen_network_ = false;
  bool network_was_up_ = false;
};

}  // namespace tarnu

#endif  // TARNU_APP_NETWORK_WATCH_H_
