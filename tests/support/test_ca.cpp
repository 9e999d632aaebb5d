#include "tests/support/test_ca.h"

#include <stdlib.h>

#include <filesystem>

#include "tests/support/dovecot_server.h"
#include "tests/support/shell.h"

namespace tarnu::testing {

TestCa::~TestCa() {
  std::error_code ignored;
  if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
}

bool TestCa::Make() {
  char pattern[] = "/tmp/tarnu-ca.XXXXXX";
  if (::mkdtemp(pattern) == nullptr) {
    error_ = "cannot make a scratch directory";
    return false;
  }
  dir_ = pattern;
  int status = 0;
  std::string out = RunCommand(
      ShellQuote(SupportDir() + "/test_ca.sh") + " " + ShellQuote(dir_) + " 2>&1", &status);
  if (status != 0) error_ = "test_ca.sh failed: " + out;
  return status == 0;
}

std::string TestCa::Fingerprint(const std::string& name) const {
  int status = 0;
  std::string out =
      RunCommand("openssl x509 -noout -fingerprint -sha256 -in " + ShellQuote(cert(name)), &status);
  std::size_t equals = out.find('=');
  if (status != 0 || equals == std::string::npos) return std::string();
  std::string fingerprint = out.substr(equals + 1);
  while (!fingerprint.empty() && (fingerprint.back() == '\n' || fingerprint.back() == '\r')) {
    fingerprint.pop_back();
  }
  return fingerprint;
}

}  // namespace tarnu::testing
