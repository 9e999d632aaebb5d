#include "codec/header_encode.h"

#include <new>
#include <stdexcept>

#include "codec/base64.h"
#include "codec/jis_sjis.h"
#include "codec/text_end.h"

namespace tarnu {

namespace {

// One encoded word for a run of Japanese characters; nothing when memory runs
// out on the way (the run is left out, the rest of the value still goes).
void AppendEncodedRun(std::string_view run, std::string* out) {
  try {
    std::string jis;
    SjisToJis(run, &jis);
    std::string base64;
    if (EncodeBase64(jis, &base64) != 0) return;
    std::string word = "=?ISO-2022-JP?B?";
    word.reserve(word.size() + base64.size() + 2);
    for (char c : base64) {
      if (c != '\n') word.push_back(c);  // the whole word stands on one line
    }
    word += "?=";
    out->append(word);
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
}

// A byte beside the encoded words; under memory exhaustion it is left out
// like a run is.
void AppendPlain(char c, std::string* out) {
  try {
    out->push_back(c);
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
}

}  // namespace

int EncodeHeaderText(std::string_view text, std::string* out) {
  out->clear();
  text = UpToTextEnd(text);
  try {
    out->reserve(text.size());
  } catch (const std::bad_alloc&) {
  }
  // A run is always a stretch of the text: whatever is not part of it (a
  // plain byte, a dropped lead byte) ends it.
  std::size_t run_begin = 0;
  std::size_t run_end = 0;
  auto close_run = [&] {
    if (run_end > run_begin) AppendEncodedRun(text.substr(run_begin, run_end - run_begin), out);
  };
  std::size_t i = 0;
  while (i < text.size()) {
    unsigned char b = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    if (IsHalfwidthKana(b)) {
      length = 1;
    } else if (IsSjisLeadByte(b) && i + 1 < text.size() &&
               IsSjisTrailByte(static_cast<unsigned char>(text[i + 1]))) {
      length = 2;
    }
    if (length > 0) {
      i += length;
      run_end = i;
      continue;
    }
    close_run();
    run_begin = run_end = i + 1;
    // A lead byte without its trail byte is dropped (the byte behind it is
    // examined on its own), and so are 0x80, 0xA0, 0xFD and 0xFE, which are
    // no characters in code page 932 and would make the header 8-bit.
    if (b < 0x80) AppendPlain(text[i], out);
    ++i;
  }
  close_run();
  return 0;
}

}  // namespace tarnu
