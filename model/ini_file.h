// tarnu.ini: the program-wide settings that tarnu.pref has no room for
// (tarnu.pref keeps its layout byte for byte, for the tools that read it).
// A small UTF-8 text of "key=value" lines beside tarnu.pref. Lines this
// version does not know (other keys, comments, sections) are kept as they
// stand, so a newer version's keys and the user's notes survive a save.
#ifndef TARNU_MODEL_INI_FILE_H_
#define TARNU_MODEL_INI_FILE_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnu {

inline constexpr char kIniFileName[] = "tarnu.ini";

// The lines of the file. A line "key=value" is an entry (white space around
// key and value ignored, keys compared without regard to ASCII case); every
// other line is kept untouched. The first entry of a key counts.
class IniText {
 public:
  IniText() = default;
  explicit IniText(std::string_view text);

  std::optional<std::string> Get(std::string_view key) const;
  // Replaces the value of the key's first entry, or appends an entry. Line
  // breaks in `value` become spaces, so a value is always one line.
  void Set(std::string_view key, std::string_view value);
  // The file's text; lines end in CR LF.
  std::string Text() const;

 private:
  std::vector<std::string> lines_;
};

// The settings tarnu.ini holds for the program.
struct ProgramOptions {
  // A notification from the tray icon after a check that found new mail.
  bool notify_new_mail = true;
  // The user's choice of starting at sign-in; none until made in the
  // program (the installer may have registered the start on its own).
  std::optional<bool> start_at_sign_in;
  // Widths of the result list's columns in pixels at 96 dpi, one per
  // column; empty for the built-in widths.
  std::vector<int> result_columns;
};

inline constexpr char kKeyNotifyNewMail[] = "notify_new_mail";
inline constexpr char kKeyStartAtSignIn[] = "start_at_sign_in";
inline constexpr char kKeyResultColumns[] = "result_columns";
inline constexpr int kLongestColumn = 4000;

// Values a hand edit got wrong leave the default in place.
ProgramOptions ReadProgramOptions(const IniText& ini, std::size_t column_count);
void WriteProgramOptions(const ProgramOptions& options, IniText* ini);

// Reads tarnu.ini from the data folder. A missing file gives the defaults
// and true; an unreadable or oversized one the defaults and false.
bool LoadProgramOptions(std::size_t column_count, ProgramOptions* options);
// Writes the program's keys into tarnu.ini as it stands on disk now (read
// again under the data folder's lock), so whatever else it holds is kept.
// Returns false when the file could not be read or written; then it is
// left as it was.
bool SaveProgramOptions(const ProgramOptions& options);

}  // namespace tarnu

#endif  // TARNU_MODEL_INI_FILE_H_
