#include "tests/support/smtp_server.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#ifndef _WIN32
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#endif

namespace tarnu::testing {

namespace fs = std::filesystem;

SmtpServer::~SmtpServer() {
  Stop();
  std::error_code ec;
  if (!dir_.empty()) fs::remove_all(dir_, ec);
}

#ifdef _WIN32

bool SmtpServer::Start(std::string* error) {
  *error = "the SMTP test server runs on POSIX systems only";
  return false;
}
bool SmtpServer::Start(const Secure&, std::string* error) { return Start(error); }
void SmtpServer::Stop() {}

#else

namespace {

int FreePort() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  if (s < 0) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  ::close(s);
  return port;
}

// True once the server on `port` sends its "220" greeting.
bool Greets(int port) {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  if (s < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  bool ok = false;
  if (::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    timeval wait{1, 0};
    ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    char reply[4] = {};
    ok = ::recv(s, reply, 3, MSG_WAITALL) == 3 && std::string(reply) == "220";
    ::send(s, "QUIT\r\n", 6, MSG_NOSIGNAL);
  }
  ::close(s);
  return ok;
}

}  // namespace

bool SmtpServer::Start(std::string* error) {
  const char* source = std::getenv("TARNU_SOURCE_DIR");
  if (source == nullptr) {
    *error = "TARNU_SOURCE_DIR is not set";
    return false;
  }
  char scratch[] = "/tmp/tarnu-smtp-XXXXXX";
  if (::mkdtemp(scratch) == nullptr) {
    *error = "mkdtemp failed";
    return false;
  }
  dir_ = scratch;
  const std::string handler_dir = std::string(source) + "/tests/support";
  const std::string maildir = dir_ + "/Maildir";
  const std::string log = dir_ + "/server.log";
  for (int attempt = 0; attempt < 5; ++attempt) {
    port_ = FreePort();
    const std::string listen = "127.0.0.1:" + std::to_string(port_);
    pid_ = ::fork();
    if (pid_ == 0) {
      const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
      const int in = ::open("/dev/null", O_RDONLY);
      ::dup2(in, 0);
      ::dup2(out, 1);
      ::dup2(out, 2);
      ::setenv("PYTHONPATH", handler_dir.c_str(), 1);
      ::execl("/usr/bin/python3", "python3", "-m", "aiosmtpd", "-n", "-l", listen.c_str(), "-c",
              "maildir_handler.RawMaildir", maildir.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    if (pid_ < 0) break;
    for (int i = 0; i < 500; ++i) {
      if (Greets(port_)) return true;
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    Stop();
  }
  std::ifstream in(log);
  std::stringstream text;
  text << in.rdbuf();
  *error = "aiosmtpd did not start: " + text.str();
  return false;
}

bool SmtpServer::Start(const Secure& secure, std::string* error) {
  const char* source = std::getenv("TARNU_SOURCE_DIR");
  if (source == nullptr) {
    *error = "TARNU_SOURCE_DIR is not set";
    return false;
  }
  char scratch[] = "/tmp/tarnu-smtp-XXXXXX";
  if (::mkdtemp(scratch) == nullptr) {
    *error = "mkdtemp failed";
    return false;
  }
  dir_ = scratch;
  const std::string script = std::string(source) + "/tests/support/smtp_tls_server.py";
  const std::string log = dir_ + "/server.log";
  for (int attempt = 0; attempt < 5; ++attempt) {
    port_ = FreePort();
    std::vector<std::string> args = {"python3", script, dir_, std::to_string(port_), secure.mode};
    if (!secure.cert.empty()) args.insert(args.end(), {"--cert", secure.cert, "--key", secure.key});
    if (!secure.user.empty()) args.insert(args.end(), {"--user", secure.user});
    if (secure.auth_plain_text) args.push_back("--auth-plain-text");
    if (secure.no_plain) args.push_back("--no-plain");
    pid_ = ::fork();
    if (pid_ == 0) {
      const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
      const int in = ::open("/dev/null", O_RDONLY);
      ::dup2(in, 0);
      ::dup2(out, 1);
      ::dup2(out, 2);
      std::vector<char*> argv;
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv("/usr/bin/python3", argv.data());
      ::_exit(127);
    }
    if (pid_ < 0) break;
    for (int i = 0; i < 1000; ++i) {
      if (fs::exists(dir_ + "/ready")) return true;
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    Stop();
  }
  std::ifstream in(log);
  std::stringstream text;
  text << in.rdbuf();
  *error = "smtp_tls_server.py did not start: " + text.str();
  return false;
}

void SmtpServer::Stop() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
  }
}

#endif

std::string SmtpServer::AuthLog() const {
  std::ifstream in(dir_ + "/auth.log");
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> SmtpServer::Mails() const {
  // File names carry a per-process sequence number after "Q".
  std::vector<std::pair<long, fs::path>> files;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir_ + "/Maildir/new", ec)) {
    const std::string name = entry.path().filename().string();
    const std::size_t q = name.find('Q');
    files.emplace_back(q == std::string::npos ? 0 : std::atol(name.c_str() + q + 1), entry.path());
  }
  std::sort(files.begin(), files.end());
  std::vector<std::string> mails;
  for (const auto& file : files) {
    std::ifstream in(file.second, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    mails.push_back(bytes.str());
  }
  return mails;
}

}  // namespace tarnu::testing
