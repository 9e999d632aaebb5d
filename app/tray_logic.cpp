#include "app/tray_logic.h"

#include "app/resource_ids.h"

namespace tarnu {

std::string ApplicationName(std::string_view program_path) {
  // Walk by characters: the base name starts after the last real separator.
  std::size_t base = 0;
  for (std::size_t i = 0; i < program_path.size(); i += Cp932CharLength(program_path, i)) {
    char c = program_path[i];
    if (c == '\\' || c == '/' || c == ':') base = i + 1;
  }
  std::string_view name = program_path.substr(base);
  std::size_t dot = std::string_view::npos;
  for (std::size_t i = 0; i < name.size(); i += Cp932CharLength(name, i)) {
    if (name[i] == '.') dot = i;
  }
  // A name that is only an extension (".exe") keeps it rather than vanish.
  if (dot != std::string_view::npos && dot > 0) name = name.substr(0, dot);
  return std::string(name);
}

std::string FormatTrayTip(std::string_view app_name, const TrayTip& tip) {
  constexpr std::size_t kRoom = kTrayTipBytes - 1;
  switch (tip.change) {
    case TipChange::kNone:
      return std::string();
    case TipChange::kReset:
      return std::string(Cp932Prefix(app_name, kRoom));
    case TipChange::kText:
      break;
  }
  std::string_view text = tip.text;
  std::string_view name = app_name;
  if (name.size() + text.size() + 2 > kRoom) {
    std::size_t name_room = text.size() + 2 < kRoom ? kRoom - 2 - text.size() : 0;
    name = Cp932Prefix(name, name_room);
    text = Cp932Prefix(text, kRoom - 2 - name.size());
  }
  std::string out;
  out.reserve(name.size() + text.size() + 2);
  out.append(name);
  out += '(';
  out.append(text);
  out += ')';
  return out;
}

int ChooseTrayPicture(const CheckFlags& flags, std::int32_t* counter) {
  // Unsigned arithmetic: the counter wraps after 136 years of ticks instead
  // of overflowing, and its remainder is never negative.
  auto step = static_cast<std::uint32_t>(*counter);
  int picture;
  if (flags.checking) {
    picture = IDI_CHECKING_1 + static_cast<int>(step % 3);
  } else if (flags.new_mail) {
    picture = IDI_NEW_MAIL_1 + static_cast<int>(step % 2);
  } else {
    return kPictureDefault;
  }
  *counter = static_cast<std::int32_t>(step + 1);
  return picture;
}

}  // namespace tarnu
