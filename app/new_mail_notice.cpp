#include "app/new_mail_notice.h"

#include "app/screen_text.h"

namespace tarnu {
namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\x3000'; }

std::u16string_view Trim(std::u16string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// At most `room` characters; a cut text ends in "…", and never between the
// two halves of a surrogate pair.
std::u16string Cut(std::u16string_view text, std::size_t room) {
  if (text.size() <= room) return std::u16string(text);
  std::size_t keep = room - 1;
  if (keep > 0 && text[keep - 1] >= 0xD800 && text[keep - 1] <= 0xDBFF) --keep;
  std::u16string out(text.substr(0, keep));
  out += u'\x2026';
  return out;
}

std::u16string Decimal(int n) {
  std::string digits = std::to_string(n);
  return std::u16string(digits.begin(), digits.end());
}

}  // namespace

std::u16string SenderName(std::u16string_view from) {
  from = Trim(from);
  std::size_t open = from.rfind(u'<');
  if (open == std::u16string_view::npos) return std::u16string(from);
  std::u16string_view name = Trim(from.substr(0, open));
  if (name.size() >= 2 && name.front() == u'"' && name.back() == u'"') {
    name = Trim(name.substr(1, name.size() - 2));
  }
  if (!name.empty()) return std::u16string(name);
  std::u16string_view address = from.substr(open + 1);
  std::size_t close = address.find(u'>');
  return std::u16string(Trim(address.substr(0, close)));
}

std::optional<NewMailNotice> NewMailNoticeFor(const CheckReport& report, bool enabled) {
  if (!enabled || report.new_count < 1) return std::nullopt;
  NewMailNotice notice;
  notice.title = u"新着メール " + Decimal(report.new_count) + u" 通";
  int named = 0;
  for (const NewMailNote& note : report.first_new) {
    std::u16string sender = SenderName(OneLine(MailTextToScreen(note.from)));
    std::u16string subject(Trim(OneLine(MailTextToScreen(note.subject))));
    if (sender.empty()) sender = u"(差出人なし)";
    if (subject.empty()) subject = u"(件名なし)";
    if (!notice.text.empty()) notice.text += u'\n';
    notice.text += Cut(sender + u": " + subject, kNoticeLineChars);
    ++named;
  }
  if (report.new_count > named) {
    if (!notice.text.empty()) notice.text += u'\n';
    notice.text += u"ほか " + Decimal(report.new_count - named) + u" 通";
  }
  notice.title = Cut(notice.title, kNoticeTitleChars);
  notice.text = Cut(notice.text, kNoticeTextChars);
  return notice;
}

}  // namespace tarnu
