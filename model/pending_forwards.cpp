#include "model/pending_forwards.h"

#include <new>

#include "model/data_files.h"
#include "model/file_protection.h"
#include "platform/file_io.h"

namespace tarnu {
namespace {

constexpr std::string_view kFirstLine = "tarnu pending forwards 1\n";
// Larger than any file this program writes for a sane number of hosts; a
// bigger one is not read (and is kept aside before it is replaced).
constexpr std::size_t kLargestFile = std::size_t{64} << 20;

void PutText(std::string* out, std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  for (char c : text) {
    unsigned char b = static_cast<unsigned char>(c);
    if (b > 0x20 && b < 0x7F && b != '%') {
      *out += c;
    } else {
      *out += '%';
      *out += kHex[b >> 4];
      *out += kHex[b & 0x0F];
    }
  }
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool GetText(std::string_view field, std::string* text) {
  text->clear();
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '%') {
      *text += field[i];
      continue;
    }
    if (field.size() - i < 3) return false;
    int high = HexDigit(field[i + 1]);
    int low = HexDigit(field[i + 2]);
    if (high < 0 || low < 0) return false;
    *text += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return true;
}

template <typename Int>
bool GetNumber(std::string_view field, Int low, Int high, Int* value) {
  if (field.empty() || field.size() > 19) return false;
  std::int64_t v = 0;
  for (char c : field) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  if (v < static_cast<std::int64_t>(low) || v > static_cast<std::int64_t>(high)) return false;
  *value = static_cast<Int>(v);
  return true;
}

bool ParseLine(std::string_view line, PendingForward* entry) {
  std::string_view fields[7];
  for (int i = 0; i < 7; ++i) {
    std::size_t tab = line.find('\t');
    if ((tab == std::string_view::npos) != (i == 6)) return false;
    fields[i] = line.substr(0, tab);
    if (tab != std::string_view::npos) line.remove_prefix(tab + 1);
  }
  if (fields[0] == "sent") {
    entry->sent = true;
  } else if (fields[0] == "retry") {
    entry->sent = false;
  } else {
    return false;
  }
  return GetNumber<std::int64_t>(fields[1], 0, INT64_MAX, &entry->first_failure) &&
         GetNumber<std::int32_t>(fields[2], 0, INT32_MAX, &entry->tries) &&
         GetNumber<std::int32_t>(fields[3], 0, INT32_MAX, &entry->port) &&
         GetText(fields[4], &entry->server) && GetText(fields[5], &entry->user) &&
         GetText(fields[6], &entry->key);
}

}  // namespace

PendingForward* FindPending(PendingForwards* pending, const HostEntry& host, std::string_view key) {
  for (PendingForward& entry : *pending) {
    if (entry.key == key && entry.Belongs(host)) return &entry;
  }
  return nullptr;
}

std::string FormatPendingForwards(const PendingForwards& pending) {
  std::string text(kFirstLine);
  for (const PendingForward& e : pending) {
    text += e.sent ? "sent" : "retry";
    text += '\t' + std::to_string(e.first_failure) + '\t' + std::to_string(e.tries) + '\t' +
            std::to_string(e.port) + '\t';
    PutText(&text, e.server);
    text += '\t';
    PutText(&text, e.user);
    text += '\t';
    PutText(&text, e.key);
    text += '\n';
  }
  return text;
}

bool ParsePendingForwards(std::string_view text, PendingForwards* pending) {
  pending->clear();
  if (text.substr(0, kFirstLine.size()) != kFirstLine) return false;
  text.remove_prefix(kFirstLine.size());
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    PendingForward entry;
    if (ParseLine(line, &entry)) pending->push_back(std::move(entry));
  }
  return true;
}

int LoadPendingForwards(PendingForwards* pending) {
  pending->clear();
  try {
    const std::string path = DataFilePath(kPendingFileName);
    platform::File file;
    switch (file.OpenForReading(path)) {
      case platform::OpenStatus::kMissing:
        NoteLoadResult(path, true);
        return 0;
      case platform::OpenStatus::kFailed:
      case platform::OpenStatus::kNotAFile:
        NoteLoadResult(path, false);
        return -1;
      case platform::OpenStatus::kOpened:
        break;
    }
    std::string text;
    char chunk[16384];
    for (;;) {
      std::size_t got = 0;
      if (!file.Read(chunk, sizeof chunk, &got)) {
        NoteLoadResult(path, false);
        return -1;
      }
      text.append(chunk, got);
      if (text.size() > kLargestFile) {
        NoteOversizedFile(path);
        return -1;
      }
      if (got < sizeof chunk) break;
    }
    const bool clean = ParsePendingForwards(text, pending);
    NoteLoadResult(path, clean);
    return clean ? 0 : -1;
  } catch (const std::bad_alloc&) {
    pending->clear();
    return -1;
  }
}

int SavePendingForwards(const PendingForwards& pending) {
  try {
    const std::string path = DataFilePath(kPendingFileName);
    if (pending.empty() && !BackupPending(path)) {
      platform::RemoveFile(path);
      return platform::KindOf(path) == platform::PathKind::kMissing ? 0 : -1;
    }
    const std::string text = FormatPendingForwards(pending);
    SafeFileWriter writer(path);
    if (!writer.Create() || !writer.Write(text.data(), text.size()) || !writer.Commit()) return -1;
    return 0;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

}  // namespace tarnu
