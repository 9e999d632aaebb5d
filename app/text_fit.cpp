#include "app/text_fit.h"

#include <vector>

#include "codec/cp932_text.h"

namespace tarnu {

FittedText ShortenText(std::string_view text, int width, int margin, const TextWidth& measure,
                       CharLength char_length) {
  if (char_length == nullptr) char_length = Cp932CharLength;
  FittedText fitted;
  if (text.empty() || measure(text) + margin <= width) {
    fitted.text = std::string(text);
    return fitted;
  }
  // Where each character ends; removing characters one at a time from the
  // end stops at the longest prefix that fits, which a binary search over
  // these ends finds with a handful of measurements even for long bodies.
  std::vector<std::size_t> ends;
  for (std::size_t i = 0; i < text.size();) {
    i += char_length(text, i);
    ends.push_back(i);
  }
  const int room = width - measure(kEllipsis) - margin;
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
  fitted.text += kEllipsis;
  fitted.shortened = true;
  return fitted;
}

}  // namespace tarnu
