// UI hooks for tests: every call is recorded so a test can assert exactly
// which titles, messages and quit requests appeared, in which order.
#ifndef TARNU_TESTS_SUPPORT_RECORDING_HOOKS_H_
#define TARNU_TESTS_SUPPORT_RECORDING_HOOKS_H_

#include <string>
#include <vector>

#include "platform/ui_hooks.h"

namespace tarnu::testing {

class CountingPump : public MessagePump {
 public:
  void PumpMessages() override { ++calls; }
  int calls = 0;
};

class RecordingStatus : public StatusLine {
 public:
  explicit RecordingStatus(std::string initial = "") : title(std::move(initial)) {}
  std::string GetTitle() override { return title.substr(0, 256); }
  void SetTitle(const std::string& t) override {
    title = t;
    history.push_back(t);
  }
  std::string title;
  std::vector<std::string> history;
};

class RecordingMessages : public UserMessages {
 public:
  void ShowMessage(const std::string& text, MessageIcon icon) override {
    shown.push_back(text);
    icons.push_back(icon);
  }
  void RequestQuit(int exit_code) override { quits.push_back(exit_code); }
  std::vector<std::string> shown;
  std::vector<MessageIcon> icons;
  std::vector<int> quits;
};

// "\x83\x65" style rendering of bytes, for readable failure messages.
std::string Hex(const std::string& bytes);

}  // namespace tarnu::testing

#endif  // TARNU_TESTS_SUPPORT_RECORDING_HOOKS_H_
