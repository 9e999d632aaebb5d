// A scratch current directory for tests of code that opens files by bare
// name: a fresh temporary directory is made current for the object's
// lifetime, then the previous directory is restored and the scratch one
// removed with everything in it.
#ifndef TARNU_TESTS_SUPPORT_SCRATCH_DIR_H_
#define TARNU_TESTS_SUPPORT_SCRATCH_DIR_H_

#include <filesystem>
#include <string>
#include <vector>

namespace tarnu::testing {

class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path previous_;
  std::filesystem::path path_;
};

// Whole-file helpers relative to the current directory.
void WriteFileBytes(const std::string& name, const std::string& bytes);
// The file's bytes; `*exists` (when given) tells a missing file from an
// empty one.
std::string ReadFileBytes(const std::string& name, bool* exists = nullptr);
bool FileExists(const std::string& name);
// The names in the current directory, sorted (temporary files left behind
// show here whatever their names).
std::vector<std::string> DirectoryListing();

}  // namespace tarnu::testing

#endif  // TARNU_TESTS_SUPPORT_SCRATCH_DIR_H_
