#include "app/network_watch.h"

namespace tarnu {

void NetworkWatch::Suspending(bool checking) {
  asleep_ = true;
  if (checking) abandon_running_check_ = true;
}

void NetworkWatch::Resumed(std::uint64_t now_ms, bool periodic) {
  // Resume messages come in pairs (automatic, then by the user); one wait.
  const bool was_asleep = asleep_;
  asleep_ = false;
  // Whatever the network looked like before the sleep says nothing now.
  seen_network_ = false;
  if (periodic && (was_asleep || !awaiting_network_)) {
    awaiting_network_ = true;
    awaiting_since_ = now_ms;
  }
}

bool NetworkWatch::Tick(std::uint64_t now_ms, bool network_up, bool checking, bool periodic) {
  if (asleep_) return false;
  const bool came_back = seen_network_ && !network_was_up_ && network_up;
  seen_network_ = true;
  network_was_up_ = network_up;
  if (!periodic) {
    awaiting_network_ = false;
    check_due_ = false;
    return false;
  }
  if (awaiting_network_ &&
      (network_up || now_ms - awaiting_since_ >= kResumeWaitMs || now_ms < awaiting_since_)) {
    awaiting_network_ = false;
    check_due_ = true;
  }
  if (came_back && !awaiting_network_) check_due_ = true;
  if (!check_due_ || checking) return false;
  check_due_ = false;
  return true;
}

}  // namespace tarnu
