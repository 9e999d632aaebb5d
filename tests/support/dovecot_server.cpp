#include "tests/support/dovecot_server.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/shell.h"

namespace tarnu::testing {

namespace fs = std::filesystem;

std::string SupportDir() {
  const char* root = std::getenv("TARNU_SOURCE_DIR");
  return std::string(root != nullptr && *root != '\0' ? root : TARNU_SOURCE_DIR_DEFAULT) +
         "/tests/support";
}

DovecotServer::~DovecotServer() { Stop(); }

bool DovecotServer::Start(const std::vector<Account>& accounts) {
  Stop();
  error_.clear();
  char pattern[] = "/tmp/tarnu-dovecot.XXXXXX";
  if (::mkdtemp(pattern) == nullptr) {
    error_ = "cannot make a scratch directory";
    return false;
  }
  dir_ = pattern;
  const std::string script = ShellQuote(SupportDir() + "/dovecot.sh");
  std::string init = script + " init " + ShellQuote(dir_);
  for (const Account& a : accounts) init += " " + ShellQuote(a.user + ":" + a.password);
  int status = 0;
  std::string out = RunCommand(init + " 2>&1", &status);
  if (status != 0) {
    error_ = "dovecot.sh init failed: " + out;
    return false;
  }
  for (const Account& a : accounts) {
    if (a.messages.empty()) continue;
    out = RunCommand("/usr/bin/python3 " + ShellQuote(SupportDir() + "/mkmail.py") + " " +
                         ShellQuote(Maildir(a.user)) + " " + a.messages + " 2>&1",
                     &status);
    if (status != 0) {
      error_ = "mkmail.py failed: " + out;
      return false;
    }
  }
  if (!tls_cert_.empty()) {
    out = RunCommand(script + " tls " + ShellQuote(dir_) + " " + ShellQuote(tls_cert_) + " " +
                         ShellQuote(tls_key_) + " 2>&1",
                     &status);
    if (status != 0) {
      error_ = "dovecot.sh tls failed: " + out;
      return false;
    }
  }
  out = RunCommand(script + " start " + ShellQuote(dir_) + " 2>" + ShellQuote(dir_ + "/start.err"),
                   &status);
  if (status != 0) {
    std::ifstream err(dir_ + "/start.err");
    std::stringstream text;
    text << err.rdbuf();
    error_ = "the test Dovecot did not start (is dovecot installed, are we root?): " + text.str();
    return false;
  }
  running_ = true;
  port_ = std::atoi(out.c_str());
  if (port_ <= 0) {
    error_ = "dovecot.sh start printed no port: " + out;
    return false;
  }
  if (!tls_cert_.empty()) {
    std::ifstream pop3s(dir_ + "/pop3s_port");
    pop3s >> pop3s_port_;
    if (pop3s_port_ <= 0) {
      error_ = "dovecot.sh wrote no POP3S port";
      return false;
    }
  }
  return true;
}

void DovecotServer::Stop() {
  if (dir_.empty()) return;
  if (running_) {
    int status = 0;
    RunCommand(ShellQuote(SupportDir() + "/dovecot.sh") + " stop " + ShellQuote(dir_), &status);
    running_ = false;
  }
  std::error_code ignored;
  fs::remove_all(dir_, ignored);
  dir_.clear();
  port_ = 0;
  pop3s_port_ = 0;
}

std::string DovecotServer::Maildir(const std::string& user) const {
  return dir_ + "/mail/" + user + "/Maildir";
}

std::vector<DovecotServer::MailFile> DovecotServer::ListMail(const std::string& user) const {
  std::vector<MailFile> files;
  for (const char* folder : {"new", "cur"}) {
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(Maildir(user) + "/" + folder, ec)) {
      MailFile f;
      f.folder = folder;
      std::string name = e.path().filename().string();
      std::size_t info = name.find(":2,");
      f.name = name.substr(0, info);
      if (info != std::string::npos) f.flags = name.substr(info + 3);
      std::ifstream in(e.path(), std::ios::binary);
      std::stringstream text;
      text << in.rdbuf();
      f.contents = text.str();
      files.push_back(f);
    }
  }
  std::sort(files.begin(), files.end(),
            [](const MailFile& a, const MailFile& b) { return a.name < b.name; });
  return files;
}

}  // namespace tarnu::testing

namespace tarnu::testing {

std::vector<std::string> DovecotServer::WaitForSessions(std::size_t count, int timeout_ms) const {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  std::vector<std::string> ended;
  for (;;) {
    ended.clear();
    std::ifstream log(dir_ + "/dovecot.log");
    std::string line;
    while (std::getline(log, line)) {
      if (line.find(" pop3(") != std::string::npos &&
          line.find("Disconnected") != std::string::npos) {
        ended.push_back(line);
      }
    }
    if (ended.size() >= count || std::chrono::steady_clock::now() >= end) return ended;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace tarnu::testing
