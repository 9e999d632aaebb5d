#include "model/data_files.h"

#include <utility>

namespace tarnu {
namespace {

std::string& Directory() {
  static std::string directory;
  return directory;
}

bool EndsWithSeparator(const std::string& path) {
  char last = path.back();
#ifdef _WIN32
  return last == '\\' || last == '/' || last == ':';
#else
  return last == '/';
#endif
}

}  // namespace

void SetDataDirectory(std::string directory) { Directory() = std::move(directory); }

const std::string& DataDirectory() { return Directory(); }

std::string DataFilePath(const std::string& name) {
  const std::string& directory = Directory();
  if (directory.empty()) return name;
#ifdef _WIN32
  const char separator = '\\';
#else
  const char separator = '/';
#endif
  return EndsWithSeparator(directory) ? directory + name : directory + separator + name;
}

}  // namespace tarnu
