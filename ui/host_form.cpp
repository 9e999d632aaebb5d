#include "ui/host_form.h"

#include <limits>

#include "ui/control_ids.h"

namespace tarnu {
namespace {

constexpr std::int32_t kMaxPort = 65535;
constexpr std::int32_t kMaxCount = std::numeric_limits<std::int32_t>::max();

// The numbers of a form that passed Validate.
struct HostNumbers {
  std::int32_t pop3_port = 0;
  std::int32_t lines = 0;
  std::int32_t timeout = 0;
  std::int32_t smtp_port = 0;
};

// The format checks, in the dialog's order.
bool CheckFormats(const HostForm& f, HostNumbers* n, FormCheck* failure) {
  return CheckLength(f.notify_address, kHostTextLimit, IDC_NOTIFY_ADDRESS, failure) &&
         CheckLength(f.name, kHostTextLimit, IDC_HOST_NAME, failure) &&
         CheckInteger(f.lines, 0, kMaxCount, IDC_LINES, &n->lines, failure) &&
         CheckLength(f.password, kLoginLimit, IDC_PASSWORD, failure) &&
         CheckInteger(f.pop3_port, 0, kMaxPort, IDC_POP3_PORT, &n->pop3_port, failure) &&
         CheckLength(f.server, kHostTextLimit, IDC_SERVER, failure) &&
         CheckLength(f.user, kLoginLimit, IDC_USER, failure) &&
         CheckInteger(f.timeout, 0, kMaxCount, IDC_TIMEOUT, &n->timeout, failure) &&
         CheckLength(f.smtp_server, kHostTextLimit, IDC_SMTP_SERVER, failure) &&
         CheckInteger(f.smtp_port, 0, kMaxPort, IDC_SMTP_PORT, &n->smtp_port, failure) &&
         CheckLength(f.subject_prefix, kHostTextLimit, IDC_SUBJECT_PREFIX, failure);
}

}  // namespace

HostForm LoadHostForm(const HostEntry& entry) {
  HostForm form;
  form.name = entry.name;
  form.server = entry.server;
  form.pop3_port = std::to_string(entry.pop3_port);
  form.user = entry.user;
  form.password = entry.password;
  form.lines = std::to_string(entry.lines);
  form.timeout = std::to_string(entry.timeout);
  form.check = entry.check;
  form.apop = entry.apop;
  form.forward = entry.forward;
  form.notify_address = entry.notify_address;
  form.smtp_server = entry.smtp_server;
  form.smtp_port = std::to_string(entry.smtp_port);
  form.subject_prefix = entry.subject_prefix;
  form.rule = entry.rule;
  form.extras = entry.extras;
  return form;
}

FormCheck Validate(const HostForm& form) {
  FormCheck failure;
  HostNumbers numbers;
  if (!CheckFormats(form, &numbers, &failure)) return failure;
  // Blank tests ignore surrounding white space; the user name and the
  // password only need to be non-empty.
  if (IsBlank(form.name)) return FormCheck::Failed("ホスト名を設定してください", IDC_HOST_NAME);
  if (IsBlank(form.server)) {
    return FormCheck::Failed("POPサーバのアドレスを設定してください", IDC_SERVER);
  }
  if (form.user.empty()) return FormCheck::Failed("ユーザ名を設定してください", IDC_USER);
  if (form.password.empty()) {
    return FormCheck::Failed("パスワードを設定してください", IDC_PASSWORD);
  }
  if (form.forward) {
    if (IsBlank(form.notify_address)) {
      return FormCheck::Failed("転送先のメールアドレスを設定してください", IDC_NOTIFY_ADDRESS);
    }
    if (IsBlank(form.smtp_server)) {
      return FormCheck::Failed("転送時に使用するSMTPサーバを設定してください", IDC_SMTP_SERVER);
    }
  }
  return FormCheck::Passed();
}

bool StoreHostForm(const HostForm& form, HostEntry* entry) {
  if (!Validate(form).ok) return false;
  HostNumbers numbers;
  FormCheck ignored;
  CheckFormats(form, &numbers, &ignored);
  entry->pop3_port = numbers.pop3_port;
  entry->lines = numbers.lines;
  entry->timeout = numbers.timeout;
  entry->smtp_port = numbers.smtp_port;
  entry->name = form.name;
  entry->server = form.server;
  entry->user = form.user;
  entry->password = form.password;
  entry->check = form.check;
  entry->apop = form.apop;
  entry->forward = form.forward;
  entry->notify_address = form.notify_address;
  entry->smtp_server = form.smtp_server;
  entry->subject_prefix = form.subject_prefix;
  entry->rule = form.rule;
  entry->extras = form.extras;
  return true;
}

}  // namespace tarnu
