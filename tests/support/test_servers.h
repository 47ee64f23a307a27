// Loopback fixtures for the page fetch tests: free ports, a temporary folder, a
// test CA with a server certificate for 127.0.0.1, cpp-httplib servers run on a
// thread, and tinyproxy run as a child process with its own configuration.
#pragma once

#include <httplib.h>
#include <sys/types.h>

#include <filesystem>
#include <string>
#include <thread>

namespace velmora::testing {

// A port on 127.0.0.1 that nothing listened on a moment ago.
int FreePort();

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// A CA and a server certificate for IP 127.0.0.1 signed by it, made with the
// openssl command in `dir`. All paths are empty when that failed.
struct TestCertificates {
  std::string caFile;
  std::string certFile;
  std::string keyFile;
};
TestCertificates MakeTestCertificates(const TempDir& dir);

// Runs `server` on 127.0.0.1 on a free port until destroyed.
class RunningServer {
 public:
  explicit RunningServer(httplib::Server& server);
  ~RunningServer();
  RunningServer(const RunningServer&) = delete;
  RunningServer& operator=(const RunningServer&) = delete;
  int port() const { return port_; }
  std::string url(const std::string& scheme, const std::string& path) const;

 private:
  httplib::Server& server_;
  int port_;
  std::thread thread_;
};

// tinyproxy on a free port of 127.0.0.1, logging into `dir`; stopped when destroyed.
class Tinyproxy {
 public:
  explicit Tinyproxy(const TempDir& dir);
  ~Tinyproxy();
  Tinyproxy(const Tinyproxy&) = delete;
  Tinyproxy& operator=(const Tinyproxy&) = delete;
  bool ready() const { return ready_; }
  int port() const { return port_; }
  std::string log() const;

 private:
  std::string logFile_;
  int port_;
  pid_t pid_ = -1;
  bool ready_ = false;
};

}  // namespace velmora::testing
