// The history file "tarnu.hist.pref" in the current directory: the
// Message-IDs each host had at its last check, keyed by server address.
#ifndef TARNU_MODEL_HISTORY_FILE_H_
#define TARNU_MODEL_HISTORY_FILE_H_

#include "model/host_entry.h"
#include "platform/ui_hooks.h"

namespace tarnu {

inline constexpr char kHistoryFileName[] = "tarnu.hist.pref";

// Appends the stored Message-IDs to the histories of the hosts whose server
// address matches. Returns 0 or -1; problems are shown through `messages`.
int LoadHistoryFile(HostList* hosts, UserMessages* messages);

// Rewrites the file from every host's history; an empty host list leaves the
// file alone. Returns 0 or -1; problems are shown through `messages`.
int SaveHistoryFile(const HostList& hosts, UserMessages* messages);

// Brings the histories up to date with the file when another process wrote
// it since this process last read or wrote it: every history's message list
// is emptied and the file's records attached as LoadHistoryFile does. When
// this process has not yet read or written the file, only its state is
// noted (a program started without loading the history keeps starting
// afresh). Returns true when the file was read again.
bool ReloadHistoryFileIfChanged(HostList* hosts, UserMessages* messages);

}  // namespace tarnu

#endif  // TARNU_MODEL_HISTORY_FILE_H_
