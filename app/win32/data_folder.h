// The data folder of tarnu.exe, chosen once at start (see
// app/data_location.h) and handed to SetDataDirectory before any file is
// read.
#ifndef TARNU_APP_WIN32_DATA_FOLDER_H_
#define TARNU_APP_WIN32_DATA_FOLDER_H_

namespace tarnu::win32 {

void SetUpDataFolder();

}  // namespace tarnu::win32

#endif  // TARNU_APP_WIN32_DATA_FOLDER_H_
