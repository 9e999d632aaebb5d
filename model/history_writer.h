// Writing the history file's records so that a save costs what changed: a
// check that changes nothing writes nothing, and one that adds k messages
// writes about k records. The file keeps its layout (a 72-byte header with
// the record count, then 2048-byte records of a key and a server address),
// so older versions and other tools read it as before.
//
// What the process knows of the file (HistoryImage) says which record lies
// where. A save then overwrites the records of messages that are gone with
// new ones of the same server, kills the rest (a record whose server slot
// names no host, which every loader drops), appends what does not fit and
// raises the count in the header last. When too many killed records pile up,
// when more than a quarter of the records change, or when the process does
// not know the file as it stands, the file is written whole through a
// temporary file instead.
//
// Crash safety: records that are kept are never written. A record being
// overwritten keeps its server bytes, so a torn write can only leave a
// garbled key for that same server (which matches no message); a killed
// record torn halfway either still names its old server (the old key, saved
// before, stays) or no host at all. Appended records count only once the
// header says so, after they reached the disk.
#ifndef TARNU_MODEL_HISTORY_WRITER_H_
#define TARNU_MODEL_HISTORY_WRITER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarnu {

inline constexpr std::size_t kHistoryHeaderSize = 72;
inline constexpr std::size_t kHistoryRecordSize = 2048;
inline constexpr std::size_t kHistorySlotSize = 1024;

// One record: a key and the server address whose hosts it belongs to.
struct HistoryRecord {
  std::string_view server;
  std::string_view key;
};

// Where each record of the history file lies, as this process last read or
// wrote the file. Records are known by a 128-bit hash of their server and
// key.
class HistoryImage {
 public:
  // Forgets the file: the next save writes it whole.
  void Clear();
  // The loader read record number size() (from 0): `server` and `key`, the
  // key empty when the loader did not decode it (a server no host has).
  void Note(std::string_view server, std::string_view key);
  // The loader read the whole file (its header count and nothing after the
  // records): the image can stand for it.
  void Complete() { known_ = true; }

  bool known() const { return known_; }
  std::size_t size() const { return slots_.size(); }
  // Killed records, waiting to be used again.
  std::size_t dead() const;

 private:
  friend class HistoryWriter;
  struct Slot {
    std::uint64_t hash[2];
    std::uint32_t server;  // index into servers_; kDead for a killed record
  };
  static constexpr std::uint32_t kDead = 0xFFFFFFFFu;
  std::uint32_t ServerIndex(std::string_view server);

  bool known_ = false;
  std::vector<std::string> servers_;
  std::vector<Slot> slots_;
};

// How a save ended.
enum class HistoryWrite {
  kUnchanged,  // the file already held exactly the records: nothing written
  kInPlace,    // only the records that changed were written
  kWhole,      // the whole file was written anew
  kFailed,     // writing failed; the image is cleared
};

// Saves `records` (in the order a whole file would hold them; no two alike)
// into the history file at `path`, using and updating `image`. When the
// image is not known(), when killed records would pass a quarter of the
// file or more than a quarter of the records change, the file is written
// whole through SafeFileWriter (with its backup of a file that failed to
// load). May throw std::bad_alloc.
HistoryWrite WriteHistoryRecords(const std::string& path, const std::vector<HistoryRecord>& records,
                                 HistoryImage* image);

// The server address of a killed record: no host can have it (a host's
// address never holds a control byte).
inline constexpr std::string_view kKilledRecordServer = "\x01";

}  // namespace tarnu

#endif  // TARNU_MODEL_HISTORY_WRITER_H_
