#include "tools/tarnu-cli/desktop_notify.h"

#ifdef TARNU_HAVE_LIBNOTIFY
#include <libnotify/notify.h>
#endif

#include "tools/tarnu-cli/cli.h"
#include "tools/tarnu-cli/syntax_text.h"

namespace tarnu::cli {
namespace {

constexpr int kSendersShown = 3;

// The body may be read as markup: its special characters are escaped.
std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace

Notice NewMailNotice(const ResultListModel& rows, int new_count) {
  Notice notice;
  notice.summary = SyntaxText(Say::kNewMailSummary, std::to_string(new_count));
  int shown = 0;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const ResultListRow row = rows.shown(i);
    if (!ShowsNewMail(row)) continue;
    if (shown == kSendersShown) {
      notice.body += SyntaxText(Say::kMoreNewMail, std::to_string(new_count - shown));
      break;
    }
    if (shown > 0) notice.body += "\n";
    // Columns: host, subject, from.
    notice.body += Escaped(ToUtf8(row.columns[2], TextKind::kMail) + ": " +
                           ToUtf8(row.columns[1], TextKind::kMail));
    ++shown;
  }
  return notice;
}

#ifdef TARNU_HAVE_LIBNOTIFY

DesktopNotifier::DesktopNotifier() {
  if (!notify_init("tarnu")) return;
  char* name = nullptr;
  available_ = notify_get_server_info(&name, nullptr, nullptr, nullptr);
  g_free(name);
}

DesktopNotifier::~DesktopNotifier() {
  if (notify_is_initted()) notify_uninit();
}

bool DesktopNotifier::Show(const Notice& notice) {
  if (!available_) return false;
  NotifyNotification* n =
      notify_notification_new(notice.summary.c_str(), notice.body.c_str(), "mail-unread");
  notify_notification_set_hint_string(n, "category", "email.arrived");
  GError* error = nullptr;
  const bool shown = notify_notification_show(n, &error);
  if (error != nullptr) g_error_free(error);
  g_object_unref(n);
  return shown;
}

#else

DesktopNotifier::DesktopNotifier() = default;
DesktopNotifier::~DesktopNotifier() = default;
bool DesktopNotifier::Show(const Notice&) { return false; }

#endif

}  // namespace tarnu::cli
