// Where tarnu.exe keeps tarnu.pref, tarnu.hist.pref and its other files. A
// program started at sign-in runs in the system folder, so the current
// directory alone is no guide: the files live beside the program (the
// portable way), or under the user's application data when the program's
// folder cannot be written (an install under Program Files). Files that
// already exist are found where they are, the current directory included
// (older setups started from a shortcut whose working folder holds them).
#ifndef TARNU_APP_DATA_LOCATION_H_
#define TARNU_APP_DATA_LOCATION_H_

#include <string>

namespace tarnu {

// What the program finds at start. "Files" means tarnu.pref or
// tarnu.hist.pref.
struct DataLocationFacts {
  std::string program_directory;
  bool program_directory_writable = false;
  bool files_beside_program = false;
  std::string current_directory;
  bool files_in_current_directory = false;
  std::string application_data;  // the program's folder under the user's application data; empty
                                 // when unknown
  bool files_in_application_data = false;
};

enum class DataPlace { kProgramDirectory, kCurrentDirectory, kApplicationData };

struct DataLocation {
  DataPlace place = DataPlace::kProgramDirectory;
  std::string directory;
  bool create = false;  // the folder may not exist yet
};

// Existing files win, first beside the program, then in the current
// directory, then under the application data; with none anywhere, new files
// go beside the program when its folder is writable, else under the
// application data (beside the program all the same when that is unknown).
DataLocation ChooseDataLocation(const DataLocationFacts& facts);

}  // namespace tarnu

#endif  // TARNU_APP_DATA_LOCATION_H_
