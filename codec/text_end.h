// Code page 932 never uses the byte 0xFF, so every codec routine takes it as
// the end of its text.
#ifndef TARNU_CODEC_TEXT_END_H_
#define TARNU_CODEC_TEXT_END_H_

#include <string_view>

namespace tarnu {

// `text` up to (not including) its first 0xFF byte.
inline std::string_view UpToTextEnd(std::string_view text) {
  std::size_t end = text.find('\xFF');
  return end == std::string_view::npos ? text : text.substr(0, end);
}

}  // namespace tarnu

#endif  // TARNU_CODEC_TEXT_END_H_
