// The private CA and server certificates of tests/support/test_ca.sh, made
// in a scratch directory for one test program (Linux). Nothing goes into the
// machine's trust store: clients are given ca() as their CA file.
#ifndef TARNU_TESTS_SUPPORT_TEST_CA_H_
#define TARNU_TESTS_SUPPORT_TEST_CA_H_

#include <string>

namespace tarnu::testing {

class TestCa {
 public:
  TestCa() = default;
  ~TestCa();
  TestCa(const TestCa&) = delete;
  TestCa& operator=(const TestCa&) = delete;

  // Makes the certificates; false with error() when openssl fails.
  bool Make();

  const std::string& error() const { return error_; }
  std::string ca() const { return dir_ + "/ca.pem"; }
  // "localhost", "expired", "self", "self2": the certificate and its key.
  std::string cert(const std::string& name) const { return dir_ + "/" + name + ".pem"; }
  std::string key(const std::string& name) const { return dir_ + "/" + name + ".key"; }
  // The certificate's SHA-256 fingerprint as openssl prints it
  // ("AB:CD:..."), the oracle for ours.
  std::string Fingerprint(const std::string& name) const;

 private:
  std::string dir_;
  std::string error_;
};

}  // namespace tarnu::testing

#endif  // TARNU_TESTS_SUPPORT_TEST_CA_H_
