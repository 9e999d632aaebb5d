#include "ui/detail_view.h"

#include <algorithm>
#include <cstdio>

#include "app/screen_text.h"

namespace tarnu {

std::u16string BodyForScreen(std::string_view mail_text) {
  const std::u16string text = MailTextToScreen(mail_text);
  std::u16string out;
  out.reserve(text.size() + text.size() / 32);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == u'\r') {
      out += u"\r\n";
      if (i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    } else if (c == u'\n') {
      out += u"\r\n";
    } else {
      out += c;
    }
  }
  return out;
}

std::u16string SizeLabel(std::int32_t size) {
  char number[16];
  std::snprintf(number, sizeof number, "%lu",
                static_cast<unsigned long>(static_cast<std::uint32_t>(size)));
  return SettingsTextToScreen(std::string("本文 (全文取得時のサイズ: ") + number + "バイト)");
}

DetailTexts LoadDetailTexts(const ResultRow& row) {
  DetailTexts texts;
  texts.subject = OneLine(MailTextToScreen(row.mail.subject));
  texts.from = OneLine(MailTextToScreen(row.mail.from));
  texts.to = OneLine(MailTextToScreen(row.mail.to));
  texts.cc = OneLine(MailTextToScreen(row.mail.cc));
  texts.body = BodyForScreen(row.mail.body);
  texts.size = SizeLabel(row.mail.size);
  return texts;
}

std::u16string QuotedCopy(std::u16string_view text, std::size_t start, std::size_t end,
                          std::u16string_view quote) {
  if (start > end) std::swap(start, end);
  if (end > text.size()) end = text.size();
  if (start < end) text = text.substr(start, end - start);
  if (text.empty()) return std::u16string();
  if (quote.empty()) return std::u16string(text);
  std::u16string out(quote);
  for (char16_t c : text) {
    out += c;
    if (c == u'\n') out += quote;
  }
  return out;
}

DetailLayout LayOutDetail(int width, int height, const Box& body, const Box& copy,
                          const Box& full_text, const Box& close, int margin, int bottom_band) {
  DetailLayout layout;
  layout.body = body;
  // A frame made very small leaves the body empty rather than inverted.
  layout.body.width = std::max(0, width - margin - body.left);
  layout.body.height = std::max(0, height - bottom_band - body.top);
  layout.close = close;
  layout.close.left = width - margin - close.width;
  layout.close.top = height - margin - close.height;
  layout.full_text = full_text;
  layout.full_text.left = layout.close.left - margin - full_text.width;
  layout.full_text.top = height - margin - full_text.height;
  layout.copy = copy;
  layout.copy.left = layout.full_text.left - margin - copy.width;
  layout.copy.top = height - margin - copy.height;
  return layout;
}

}  // namespace tarnu
