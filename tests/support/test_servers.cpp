#include "tests/support/test_servers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>

extern char** environ;

namespace velmora::testing {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::seconds kStartLimit{5};

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  return address;
}

bool Accepts(int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = Loopback(port);
  bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return ok;
}

void WriteFile(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

}  // namespace

int FreePort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = Loopback(0);
  socklen_t length = sizeof address;
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "velmora-fetch-XXXXXX").string();
  if (mkdtemp(pattern.data())) path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

TestCertificates MakeTestCertificates(const TempDir& dir) {
  const std::string key = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
  WriteFile(dir.file("server.ext"),
            "subjectAltName=IP:127.0.0.1\nbasicConstraints=CA:FALSE\n"
            "extendedKeyUsage=serverAuth\n");
  const std::string commands =
      "(cd '" + dir.file("") + "' && " + "openssl req -x509 " + key +
      " -keyout ca.key -out ca.pem -days 2 -subj '/CN=Test CA'" +
      " -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign" +
      " && openssl req " + key + " -keyout server.key -out server.csr -subj '/CN=127.0.0.1'" +
      " && openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial" +
      " -out server.pem -days 2 -extfile server.ext) >/dev/null 2>&1";
  if (std::system(commands.c_str()) != 0) return {};
  return {dir.file("ca.pem"), dir.file("server.pem"), dir.file("server.key")};
}

RunningServer::RunningServer(httplib::Server& server)
    : server_(server), port_(server.bind_to_any_port("127.0.0.1")) {
  // One request per connection, so stopping never waits out a kept-alive one.
  server_.set_keep_alive_max_count(1);
  thread_ = std::thread([this] { server_.listen_after_bind(); });
  // stop() only reaches a server whose loop has started.
  for (auto start = Clock::now(); !server_.is_running() && Clock::now() - start < kStartLimit;) {
    std::this_thread::yield();
  }
}

RunningServer::~RunningServer() {
  server_.stop();
  thread_.join();
}

std::string RunningServer::url(const std::string& scheme, const std::string& path) const {
  return scheme + "://127.0.0.1:" + std::to_string(port_) + path;
}

Tinyproxy::Tinyproxy(const TempDir& dir) : logFile_(dir.file("tinyproxy.log")), port_(FreePort()) {
  const std::string config = dir.file("tinyproxy.conf");
  WriteFile(config, "Port " + std::to_string(port_) +
                        "\nListen 127.0.0.1\nTimeout 30\nMaxClients 20\nAllow 127.0.0.1\n"
                        "LogFile \"" +
                        logFile_ + "\"\nLogLevel Info\n");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::string program = "tinyproxy", foreground = "-d", configFlag = "-c";
  char* argv[] = {program.data(), foreground.data(), configFlag.data(),
                  const_cast<char*>(config.c_str()), nullptr};
  if (posix_spawnp(&pid_, "tinyproxy", &actions, nullptr, argv, environ) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
  if (pid_ <= 0) return;
  for (auto start = Clock::now(); Clock::now() - start < kStartLimit;) {
    if (Accepts(port_)) {
      ready_ = true;
      break;
    }
    if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = -1;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

Tinyproxy::~Tinyproxy() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  for (auto start = Clock::now(); Clock::now() - start < std::chrono::seconds(2);) {
    if (waitpid(pid_, nullptr, WNOHANG) == pid_) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
}

std::string Tinyproxy::log() const {
  std::ostringstream text;
  text << std::ifstream(logFile_).rdbuf();
  return text.str();
}

}  // namespace velmora::testing
