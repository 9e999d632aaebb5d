#include "tests/support/scratch_dir.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

namespace tarnu::testing {

namespace fs = std::filesystem;

namespace {

// Memory-backed where there is such a place: the code under test flushes
// every file it saves to the disk.
fs::path TempRoot() {
  std::error_code error;
#ifndef _WIN32
  if (fs::is_directory("/dev/shm", error)) return "/dev/shm";
#endif
  return fs::temp_directory_path();
}

}  // namespace

ScratchDir::ScratchDir() : previous_(fs::current_path()) {
  static std::atomic<unsigned> counter{0};
  auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate = TempRoot() / ("tarnu-test-" + std::to_string(stamp) + "-" +
                                       std::to_string(counter++) + "-" + std::to_string(attempt));
    std::error_code error;
    if (fs::create_directory(candidate, error)) {
      path_ = candidate;
      break;
    }
  }
  if (path_.empty()) throw std::runtime_error("cannot make a scratch directory");
  fs::current_path(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code error;
  fs::current_path(previous_, error);
  fs::remove_all(path_, error);
}

void WriteFileBytes(const std::string& name, const std::string& bytes) {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + name);
}

std::string ReadFileBytes(const std::string& name, bool* exists) {
  std::ifstream in(name, std::ios::binary);
  if (exists != nullptr) *exists = static_cast<bool>(in);
  if (!in) return std::string();
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool FileExists(const std::string& name) {
  std::error_code error;
  return fs::exists(name, error);
}

std::vector<std::string> DirectoryListing() {
  std::vector<std::string> names;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(".", error)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace tarnu::testing
