// What the mail detail window ("受信メールの詳細") shows and does, apart
// from the window: its display texts, the quoted copy and the layout that
// follows the frame.
#ifndef TARNU_UI_DETAIL_VIEW_H_
#define TARNU_UI_DETAIL_VIEW_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/result_rows.h"

namespace tarnu {

// The six texts of the window, ready for the screen.
struct DetailTexts {
  std::u16string subject;  // 1022; one-line fields show a folded value on one line
  std::u16string from;     // 1023
  std::u16string to;       // 1024
  std::u16string cc;       // 1026
  std::u16string body;     // 1027; every line ends in CR LF, as a multi-line edit wants
  std::u16string size;     // 1053
};

DetailTexts LoadDetailTexts(const ResultRow& row);

// Mail text for the multi-line body edit: lone LF and lone CR become CR LF.
std::u16string BodyForScreen(std::string_view mail_text);

// "本文 (全文取得時のサイズ: %luバイト)" with the size as the unsigned value.
std::u16string SizeLabel(std::int32_t size);

// "引用符付コピー": the part of `text` between `start` and `end` (in either
// order; the whole text when they meet), with `quote` in front of the first
// line and after every LF. Empty when there is nothing to copy.
std::u16string QuotedCopy(std::u16string_view text, std::size_t start, std::size_t end,
                          std::u16string_view quote);

// Where the body and the three buttons go in a client area of `width` by
// `height` pixels. The body keeps its left and top edge and ends `margin`
// from the right and `bottom_band` from the bottom; the close button's
// corner is `margin` from the bottom right, the others stand `margin`
// apart to its left, each keeping its own size.
struct Box {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};
struct DetailLayout {
  Box body;
  Box copy;       // "引用符付コピー"
  Box full_text;  // "全文を見る"
  Box close;      // "閉じる"
};
DetailLayout LayOutDetail(int width, int height, const Box& body, const Box& copy,
                          const Box& full_text, const Box& close, int margin, int bottom_band);

}  // namespace tarnu

#endif  // TARNU_UI_DETAIL_VIEW_H_
