#include "app/text_fit.h"

#include <vector>

#include "codec/cp932_text.h"

namespace tarnu {
namespace {

std::size_t CharLength(std::string_view text, std::size_t pos) {
  return Cp932CharLength(text, pos);
}

std::size_t CharLength(std::u16string_view text, std::size_t pos) {
  const bool pair = text[pos] >= 0xD800 && text[pos] <= 0xDBFF && pos + 1 < text.size() &&
                    text[pos + 1] >= 0xDC00 && text[pos + 1] <= 0xDFFF;
  return pair ? 2 : 1;
}

template <typename Char, typename Measure>
BasicFittedText<Char> Shorten(std::basic_string_view<Char> text, int width, int margin,
                              const Measure& measure) {
  BasicFittedText<Char> fitted;
  if (text.empty() || measure(text) + margin <= width) {
    fitted.text = std::basic_string<Char>(text);
    return fitted;
  }
  // Where each character ends; removing characters one at a time from the
  // end stops at the longest prefix that fits, which a binary search over
  // these ends finds with a handful of measurements even for long bodies.
  std::vector<std::size_t> ends;
  for (std::size_t i = 0; i < text.size();) {
    i += CharLength(text, i);
    ends.push_back(i);
  }
  const std::basic_string<Char> ellipsis(kEllipsis, kEllipsis + 3);
  const int room = width - measure(ellipsis) - margin;
  std::size_t fits = 0;                      // prefix of `fits` characters is known to fit
  std::size_t lo = 1, hi = ends.size() - 1;  // the whole text does not fit
  while (lo <= hi) {
    std::size_t mid = lo + (hi - lo) / 2;
    if (measure(text.substr(0, ends[mid - 1])) <= room) {
      fits = mid;
      lo = mid + 1;
    } else {
      hi = mid - 1;
    }
  }
  fitted.text.reserve((fits ? ends[fits - 1] : 0) + 3);
  fitted.text.append(text.substr(0, fits ? ends[fits - 1] : 0));
  fitted.text += ellipsis;
  fitted.shortened = true;
  return fitted;
}

}  // namespace

FittedText ShortenText(std::string_view text, int width, int margin, const TextWidth& measure) {
  return Shorten(text, width, margin, measure);
}

FittedText16 ShortenText(std::u16string_view text, int width, int margin,
                         const TextWidth16& measure) {
  return Shorten(text, width, margin, measure);
}

}  // namespace tarnu
