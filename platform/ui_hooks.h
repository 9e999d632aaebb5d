// The seams through which the portable core reaches the user interface.
//
// The network layer keeps the interface alive while it waits (MessagePump)
// and shows progress in a window title (StatusLine); the loaders and the
// check cycle show message boxes and may ask the program to end
// (UserMessages). The Win32 shell implements them over real windows, the
// console front end over the terminal, and the tests record every call.
#ifndef TARNU_PLATFORM_UI_HOOKS_H_
#define TARNU_PLATFORM_UI_HOOKS_H_

#include <string>

namespace tarnu {

// Dispatches the thread's queued window messages until the queue is empty.
class MessagePump {
 public:
  virtual ~MessagePump() = default;
  virtual void PumpMessages() = 0;
  // True while the program wants every network wait given up at once, for
  // example because the machine is going to sleep: a connection waited on
  // then would only hang after the wake-up.
  virtual bool WaitsAbandoned() { return false; }
};

// A window title used as a progress line. Titles are code page 932 text.
class StatusLine {
 public:
  virtual ~StatusLine() = default;
  // At most 256 bytes are returned, as a title read into a 256-byte buffer.
  virtual std::string GetTitle() = 0;
  virtual void SetTitle(const std::string& title) = 0;
};

enum class MessageIcon { kExclamation, kStop, kInformation };

// Message boxes (OK button, application name as caption) and the quit request.
class UserMessages {
 public:
  virtual ~UserMessages() = default;
  virtual void ShowMessage(const std::string& text,
                           MessageIcon icon = MessageIcon::kExclamation) = 0;
  // Ends the message loop with this exit code once control returns to it.
  virtual void RequestQuit(int exit_code) = 0;
};

// Implementations that do nothing, for callers without an interface.
class NullMessagePump : public MessagePump {
 public:
  void PumpMessages() override {}
};

}  // namespace tarnu

#endif  // TARNU_PLATFORM_UI_HOOKS_H_
