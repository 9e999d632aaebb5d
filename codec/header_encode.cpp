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

}  // namespace

int EncodeHeaderText(std::string_view text, std::string* out) {
  out->clear();
  text = UpToTextEnd(text);
  std::string run;
  auto close_run = [&] {
    if (!run.empty()) AppendEncodedRun(run, out);
    run.clear();
  };
  std::size_t i = 0;
  while (i < text.size()) {
    unsigned char b = static_cast<unsigned char>(text[i]);
    if (IsHalfwidthKana(b)) {
      run.push_back(text[i]);
      ++i;
    } else if (IsSjisLeadByte(b)) {
      if (i + 1 < text.size() && IsSjisTrailByte(static_cast<unsigned char>(text[i + 1]))) {
        run.append(text.substr(i, 2));
        i += 2;
      } else {
        // A lead byte without its trail byte is dropped and ends the run;
        // the byte behind it is examined on its own.
        close_run();
        ++i;
      }
    } else {
      close_run();
      out->push_back(text[i]);
      ++i;
    }
  }
  close_run();
  return 0;
}

}  // namespace tarnu
