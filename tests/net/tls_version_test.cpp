// The TLS versions spoken, against `openssl s_server` held to one version
// each: TLS 1.2 and 1.3 are taken, anything older is refused in the
// handshake. The old servers offer RSA key exchange, which a default client
// of this OpenSSL still accepts, so only our own floor refuses them.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "net/line_channel.h"
#include "net/secure_channel.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/test_ca.h"

namespace tarnu {
namespace {

using testing::TestCa;

// `openssl s_server` on a free loopback port. It lives while its standard
// input stays open.
class OpensslServer {
 public:
  OpensslServer() = default;
  ~OpensslServer() { Stop(); }
  OpensslServer(const OpensslServer&) = delete;
  OpensslServer& operator=(const OpensslServer&) = delete;

  // False with the server's output in `error` when it did not come up.
  bool Start(const TestCa& ca, const std::vector<std::string>& options, const std::string& log,
             std::string* error) {
    std::vector<std::string> args = {
        "openssl", "s_server",           "-accept", "127.0.0.1:0",
        "-cert",   ca.cert("localhost"), "-key",    ca.key("localhost")};
    args.insert(args.end(), options.begin(), options.end());
    int input[2];
    if (::pipe(input) != 0) return false;
    pid_ = ::fork();
    if (pid_ == 0) {
      const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(input[0], 0);
      ::dup2(out, 1);
      ::dup2(out, 2);
      ::close(input[1]);
      std::vector<char*> argv;
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execvp("openssl", argv.data());
      ::_exit(127);
    }
    ::close(input[0]);
    input_ = input[1];
    if (pid_ < 0) return false;
    // It names the port it took: "ACCEPT 127.0.0.1:PORT".
    std::string text;
    for (int i = 0; i < 500 && port_ == 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      std::ifstream in(log);
      std::stringstream read;
      read << in.rdbuf();
      text = read.str();
      const std::size_t at = text.find("ACCEPT 127.0.0.1:");
      if (at != std::string::npos && text.find('\n', at) != std::string::npos) {
        port_ = std::atoi(text.c_str() + at + 17);
      }
    }
    *error = text;
    return port_ != 0;
  }

  void Stop() {
    if (input_ >= 0) ::close(input_);
    input_ = -1;
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      int status = 0;
      ::waitpid(pid_, &status, 0);
    }
    pid_ = -1;
  }

  int port() const { return port_; }

 private:
  pid_t pid_ = -1;
  int input_ = -1;
  int port_ = 0;
};

TEST(TlsVersions, OnlyTls12And13AreSpoken) {
  testing::ScratchDir dir;
  TestCa ca;
  ASSERT_TRUE(ca.Make()) << ca.error();
  const std::string kOld = "AES256-SHA:@SECLEVEL=0";
  struct Case {
    const char* name;
    std::vector<std::string> options;
    std::string protocol;  // empty: refused
  } cases[] = {
      {"TLS 1.0 only", {"-tls1", "-cipher", kOld}, ""},
      {"TLS 1.1 only", {"-tls1_1", "-cipher", kOld}, ""},
      {"TLS 1.2 only", {"-tls1_2"}, "TLSv1.2"},
      {"TLS 1.3 only", {"-tls1_3"}, "TLSv1.3"},
      {"any version: the newest", {}, "TLSv1.3"},
  };
  const std::string refused =
      "TLSで接続できません(サーバがTLS 1.2以上に対応していないか、暗号化の取り決めに失敗しまし"
      "た)\r\n";
  int run = 0;
  for (const Case& c : cases) {
    OpensslServer server;
    std::string output;
    // A log of its own: the last server's would name the last server's port.
    const std::string log = dir.path().string() + "/s_server-" + std::to_string(++run) + ".log";
    ASSERT_TRUE(server.Start(ca, c.options, log, &output)) << c.name << "\n" << output;
    LineChannel channel(nullptr);
    ASSERT_TRUE(channel.Connect("localhost", server.port(), 5)) << c.name;
    SecureTarget target;
    target.server = "localhost";
    target.port = server.port();
    target.timeout = 5;
    target.ca_file = ca.ca();
    std::string error;
    const bool secured = SecureChannel(&channel, target, &error);
    EXPECT_EQ(secured, !c.protocol.empty()) << c.name << ": " << error;
    if (secured) {
      EXPECT_EQ(channel.tls_protocol(), c.protocol) << c.name;
    } else {
      EXPECT_EQ(error.rfind(refused, 0), 0u) << c.name << ": " << error;
      EXPECT_FALSE(channel.is_open()) << c.name;
    }
  }
}

}  // namespace
}  // namespace tarnu
