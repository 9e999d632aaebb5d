#include "model/ini_file.h"

#include <new>

#include "model/data_files.h"
#include "model/file_protection.h"
#include "platform/file_io.h"
#include "platform/file_lock.h"

namespace tarnu {
namespace {

constexpr int kLockWaitMs = 3000;
// A settings file of a few lines; anything far larger is not ours.
constexpr std::size_t kLargestIni = 256 * 1024;
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
    text.remove_suffix(1);
  return text;
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameKey(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

// The key and value of an entry line; false for any other line.
bool SplitEntry(std::string_view line, std::string_view* key, std::string_view* value) {
  if (line.substr(0, kUtf8Mark.size()) == kUtf8Mark) line.remove_prefix(kUtf8Mark.size());
  std::string_view trimmed = Trim(line);
  if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#' ||
      trimmed.front() == '[') {
    return false;
  }
  std::size_t equals = trimmed.find('=');
  if (equals == std::string_view::npos) return false;
  *key = Trim(trimmed.substr(0, equals));
  *value = Trim(trimmed.substr(equals + 1));
  return !key->empty();
}

std::optional<bool> ParseSwitch(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  for (const char* on : {"1", "true", "yes", "on"}) {
    if (SameKey(*text, on)) return true;
  }
  for (const char* off : {"0", "false", "no", "off"}) {
    if (SameKey(*text, off)) return false;
  }
  return std::nullopt;
}

std::vector<int> ParseWidths(const std::optional<std::string>& text, std::size_t count) {
  std::vector<int> widths;
  if (!text) return widths;
  std::string_view rest = *text;
  while (true) {
    std::size_t comma = rest.find(',');
    std::string_view item = Trim(rest.substr(0, comma));
    if (item.empty() || item.size() > 5) return {};
    int value = 0;
    for (char c : item) {
      if (c < '0' || c > '9') return {};
      value = value * 10 + (c - '0');
    }
    if (value > kLongestColumn) return {};
    widths.push_back(value);
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  if (widths.size() != count) return {};
  return widths;
}

enum class ReadStatus { kRead, kMissing, kFailed };

ReadStatus ReadWholeFile(const std::string& path, std::string* text) {
  platform::File file;
  platform::OpenStatus opened = file.OpenForReading(path);
  if (opened == platform::OpenStatus::kMissing) return ReadStatus::kMissing;
  if (opened != platform::OpenStatus::kOpened) return ReadStatus::kFailed;
  text->clear();
  char chunk[4096];
  for (;;) {
    std::size_t got = 0;
    if (!file.Read(chunk, sizeof chunk, &got)) return ReadStatus::kFailed;
    text->append(chunk, got);
    if (text->size() > kLargestIni) return ReadStatus::kFailed;
    if (got < sizeof chunk) return ReadStatus::kRead;
  }
}

}  // namespace

IniText::IniText(std::string_view text) {
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    std::string_view line =
        text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines_.emplace_back(line);
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
}

std::optional<std::string> IniText::Get(std::string_view key) const {
  for (const std::string& line : lines_) {
    std::string_view k, v;
    if (SplitEntry(line, &k, &v) && SameKey(k, key)) return std::string(v);
  }
  return std::nullopt;
}

void IniText::Set(std::string_view key, std::string_view value) {
  std::string entry(key);
  entry += '=';
  for (char c : value) entry += (c == '\r' || c == '\n') ? ' ' : c;
  for (std::string& line : lines_) {
    std::string_view k, v;
    if (SplitEntry(line, &k, &v) && SameKey(k, key)) {
      // A byte-order mark in front of the first line stays in front.
      bool marked = line.compare(0, kUtf8Mark.size(), kUtf8Mark) == 0;
      line = marked ? std::string(kUtf8Mark) + entry : entry;
      return;
    }
  }
  lines_.push_back(std::move(entry));
}

std::string IniText::Text() const {
  std::string text;
  for (const std::string& line : lines_) {
    text += line;
    text += "\r\n";
  }
  return text;
}

ProgramOptions ReadProgramOptions(const IniText& ini, std::size_t column_count) {
  ProgramOptions options;
  options.notify_new_mail = ParseSwitch(ini.Get(kKeyNotifyNewMail)).value_or(true);
  options.start_at_sign_in = ParseSwitch(ini.Get(kKeyStartAtSignIn));
  options.result_columns = ParseWidths(ini.Get(kKeyResultColumns), column_count);
  return options;
}

void WriteProgramOptions(const ProgramOptions& options, IniText* ini) {
  ini->Set(kKeyNotifyNewMail, options.notify_new_mail ? "1" : "0");
  if (options.start_at_sign_in) ini->Set(kKeyStartAtSignIn, *options.start_at_sign_in ? "1" : "0");
  if (!options.result_columns.empty()) {
    std::string widths;
    for (int width : options.result_columns) {
      if (!widths.empty()) widths += ',';
      widths += std::to_string(width);
    }
    ini->Set(kKeyResultColumns, widths);
  }
}

bool LoadProgramOptions(std::size_t column_count, ProgramOptions* options) {
  *options = ProgramOptions();
  try {
    std::string text;
    ReadStatus status = ReadWholeFile(DataFilePath(kIniFileName), &text);
    if (status == ReadStatus::kMissing) return true;
    if (status == ReadStatus::kFailed) return false;
    *options = ReadProgramOptions(IniText(text), column_count);
    return true;
  } catch (const std::bad_alloc&) {
    *options = ProgramOptions();
    return false;
  }
}

bool SaveProgramOptions(const ProgramOptions& options) {
  try {
    platform::FileLock lock;
    if (lock.Lock(DataFilePath(kLockFileName), kLockWaitMs) != platform::LockResult::kLocked) {
      return false;
    }
    const std::string path = DataFilePath(kIniFileName);
    std::string text;
    if (ReadWholeFile(path, &text) == ReadStatus::kFailed) return false;
    IniText ini(text);
    WriteProgramOptions(options, &ini);
    const std::string out = ini.Text();
    SafeFileWriter writer(path);
    return writer.Create() && writer.Write(out.data(), out.size()) && writer.Commit();
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace tarnu
