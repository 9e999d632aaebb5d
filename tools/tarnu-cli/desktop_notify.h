// Desktop notifications for tarnu-cli watch: the freedesktop notification
// service on the session bus, through libnotify, where one runs.
#ifndef TARNU_TOOLS_TARNU_CLI_DESKTOP_NOTIFY_H_
#define TARNU_TOOLS_TARNU_CLI_DESKTOP_NOTIFY_H_

#include <string>
#include <vector>

#include "app/result_list_model.h"
#include "app/result_rows.h"

namespace tarnu::cli {

struct Notice {
  std::string summary;  // UTF-8
  std::string body;     // UTF-8, with the markup characters escaped
};

// The notice of one check that found `new_count` new messages: the count,
// then the sender and subject of the first few new rows.
Notice NewMailNotice(const ResultListModel& rows, int new_count);

class DesktopNotifier {
 public:
  DesktopNotifier();
  ~DesktopNotifier();
  DesktopNotifier(const DesktopNotifier&) = delete;
  DesktopNotifier& operator=(const DesktopNotifier&) = delete;

  // Whether a notification service answers on the session bus.
  bool available() const { return available_; }
  // False when the service refused the notice or went away.
  bool Show(const Notice& notice);

 private:
  bool available_ = false;
};

}  // namespace tarnu::cli

#endif  // TARNU_TOOLS_TARNU_CLI_DESKTOP_NOTIFY_H_
