// What a settings dialog's OK decides: the values pass, or one message is
// shown and the focus goes to the offending control. The dialogs and the
// console front end share these checks.
#ifndef TARNU_UI_FORM_CHECK_H_
#define TARNU_UI_FORM_CHECK_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "codec/integer_text.h"  // ParseInteger

namespace tarnu {

struct FormCheck {
  bool ok = true;
  std::string message;  // code page 932
  int control_id = 0;

  static FormCheck Passed() { return FormCheck(); }
  static FormCheck Failed(std::string message, int control_id) {
    return FormCheck{false, std::move(message), control_id};
  }
};

// "整数を入力してください。"
std::string IntegerMessage();
// "%1 から %2 までの整数を入力してください。" with the range's ends.
std::string RangeMessage(std::int64_t low, std::int64_t high);
// "%1 文字以内で入力してください。" with the byte limit.
std::string LengthMessage(std::size_t limit);

// The integer check of one edit: not an integer, or outside [low, high],
// fills `failure` for `control_id` and returns false.
bool CheckInteger(std::string_view text, std::int32_t low, std::int32_t high, int control_id,
                  std::int32_t* value, FormCheck* failure);

// The length check of one text edit, in bytes.
bool CheckLength(std::string_view text, std::size_t limit, int control_id, FormCheck* failure);

// Empty or only white space.
bool IsBlank(std::string_view text);

}  // namespace tarnu

#endif  // TARNU_UI_FORM_CHECK_H_
