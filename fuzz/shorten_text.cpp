// Cell-text shortening and the tray tip on arbitrary bytes (mail subjects,
// senders and bodies reach both). The shortened text must keep whole code
// page 932 characters, fit its width unless nothing fits, and keep as much
// as fits; the tip must fit its 64-byte field.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/text_fit.h"
#include "app/tray_logic.h"

namespace {

// A proportional font: every character its own advance.
int Width(std::string_view text) {
  int width = 0;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t n = tarnu::Cp932CharLength(text, i);
    width += 2 + static_cast<unsigned char>(text[i]) % 13 + (n == 2 ? 7 : 0);
    i += n;
  }
  return width;
}

bool OnBoundary(std::string_view text, std::size_t cut) {
  std::size_t i = 0;
  while (i < cut) i += tarnu::Cp932CharLength(text, i);
  return i == cut;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const int width = data[0] * 3;
  const int margin = data[1] % 16;
  std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);

  tarnu::FittedText fitted = tarnu::ShortenText(text, width, margin, Width);
  if (!fitted.shortened) {
    if (fitted.text != text) std::abort();
    if (!text.empty() && Width(text) + margin > width) std::abort();
  } else {
    if (fitted.text.size() < 3 || fitted.text.compare(fitted.text.size() - 3, 3, "...") != 0) {
      std::abort();
    }
    std::string_view kept(fitted.text.data(), fitted.text.size() - 3);
    if (text.substr(0, kept.size()) != kept || !OnBoundary(text, kept.size())) std::abort();
    const int room = width - Width("...") - margin;
    if (!kept.empty() && Width(kept) > room) std::abort();
    // Nothing more would have fitted.
    if (kept.size() < text.size()) {
      std::size_t next = kept.size() + tarnu::Cp932CharLength(text, kept.size());
      if (next < text.size() && Width(text.substr(0, next)) <= room) std::abort();
    }
  }

  std::size_t half = text.size() / 2;
  std::string_view name = text.substr(0, half), state = text.substr(half);
  for (tarnu::TipChange change : {tarnu::TipChange::kReset, tarnu::TipChange::kText}) {
    std::string tip = tarnu::FormatTrayTip(name, {change, std::string(state)});
    if (tip.size() > tarnu::kTrayTipBytes - 1) std::abort();
  }
  std::string app = tarnu::ApplicationName(text);
  if (app.size() > text.size()) std::abort();
  return 0;
}
