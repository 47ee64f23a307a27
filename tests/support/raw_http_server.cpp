#include "tests/support/raw_http_server.h"

#include "tests/support/loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <stdexcept>

namespace velmora::testing {

namespace {

constexpr int kPollMs = 20;

// Waits until `fd` is readable or the server stops; true when readable.
bool WaitReadable(int fd, const std::atomic<bool>& stopping) {
  while (!stopping) {
    pollfd p{fd, POLLIN, 0};
    int n = poll(&p, 1, kPollMs);
    if (n > 0) return true;
    if (n < 0) return false;
  }
  return false;
}

bool SendAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// The length of the first complete request in `buffer`, or 0 while it is partial.
std::size_t CompleteRequestLength(const std::string& buffer) {
  std::size_t headEnd = buffer.find("\r\n\r\n");
  if (headEnd == std::string::npos) return 0;
  std::string head = buffer.substr(0, headEnd);
  std::transform(head.begin(), head.end(), head.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  std::size_t bodyLength = 0;
  std::size_t at = head.find("\r\ncontent-length:");
  if (at != std::string::npos) {
    bodyLength = std::strtoul(head.c_str() + at + 17, nullptr, 10);
  }
  std::size_t total = headEnd + 4 + bodyLength;
  return buffer.size() >= total ? total : 0;
}

}  // namespace

RawHttpServer::RawHttpServer(Handler handler) : handler_(std::move(handler)) {
  listenFd_ = testing::ListenOnLoopback(port_);
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

RawHttpServer::~RawHttpServer() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  stopped_.notify_all();
  acceptor_.join();
  for (std::thread& client : clients_) client.join();
  close(listenFd_);
}

std::string RawHttpServer::url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

std::vector<std::string> RawHttpServer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void RawHttpServer::AcceptLoop() {
  while (WaitReadable(listenFd_, stopping_)) {
    int fd = accept(listenFd_, nullptr, nullptr);
    if (fd < 0) continue;
    ++connections_;
    clients_.emplace_back([this, fd] {
      Serve(fd);
      close(fd);
    });
  }
}

void RawHttpServer::Serve(int fd) {
  std::string buffer;
  char chunk[4096];
  while (WaitReadable(fd, stopping_)) {
    ssize_t n = recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) return;
    buffer.append(chunk, static_cast<std::size_t>(n));
    while (std::size_t length = CompleteRequestLength(buffer)) {
      std::string request = buffer.substr(0, length);
      buffer.erase(0, length);
      {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
      }
      Reply reply = handler_(request);
      if (!SendAll(fd, reply.bytes)) return;
      if (reply.stall) {
        std::unique_lock lock(mutex_);
        stopped_.wait(lock, [this] { return Stopping(); });
        return;
      }
      if (reply.close) return;
    }
  }
}

std::string HttpReply(std::string_view status, std::string_view headers, std::string_view body) {
  std::string reply = "HTTP/1.1 ";
  reply += status;
  reply += "\r\n";
  reply += headers;
  reply += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
  reply += body;
  return reply;
}

std::string RequestTarget(std::string_view request) {
  std::size_t start = request.find(' ');
  if (start == std::string_view::npos) return {};
  std::size_t end = request.find(' ', start + 1);
  return std::string(request.substr(start + 1, end - start - 1));
}

}  // namespace velmora::testing
