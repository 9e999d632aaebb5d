// Where tarnu keeps its files. The front end chooses the folder once at start
// (tarnu.exe: beside the program or under the user's application data;
// tarnu-cli: --dir); until then, and when it chooses nothing, the files are
// found by bare name in the current directory.
#ifndef TARNU_MODEL_DATA_FILES_H_
#define TARNU_MODEL_DATA_FILES_H_

#include <string>

namespace tarnu {

// The lock file beside the data files: whoever rewrites tarnu.pref (or
// another data file) after reading it holds its exclusive lock throughout.
inline constexpr char kLockFileName[] = "tarnu.lock";

// Sets the folder of tarnu's files; an empty text means the current directory.
void SetDataDirectory(std::string directory);
const std::string& DataDirectory();

// `name` inside that folder (the bare name when the folder is empty). May
// throw std::bad_alloc.
std::string DataFilePath(const std::string& name);

}  // namespace tarnu

#endif  // TARNU_MODEL_DATA_FILES_H_
