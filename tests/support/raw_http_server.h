// A loopback HTTP/1.1 server for tests that records every request byte for byte
// and answers each with the exact bytes its handler gives. Connections are kept
// alive (and counted) unless a reply asks to close.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace velmora::testing {

class RawHttpServer {
 public:
  struct Reply {
    std::string bytes;   // written as they stand
    bool close = false;  // close the connection after writing
    bool stall = false;  // after writing, stay silent until the server stops
  };
  // Called on a server thread with the whole request (head and body).
  using Handler = std::function<Reply(const std::string& request)>;

  explicit RawHttpServer(Handler handler);
  ~RawHttpServer();
  RawHttpServer(const RawHttpServer&) = delete;
  RawHttpServer& operator=(const RawHttpServer&) = delete;

  int port() const { return port_; }
  std::string url(std::string_view path = "/") const;  // "http://127.0.0.1:<port><path>"
  std::vector<std::string> requests() const;
  int connections() const { return connections_; }

 private:
  void AcceptLoop();
  void Serve(int fd);
  bool Stopping() const { return stopping_; }

  Handler handler_;
  int listenFd_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> connections_{0};
  mutable std::mutex mutex_;
  std::condition_variable stopped_;
  std::vector<std::string> requests_;
  std::vector<std::thread> clients_;
  std::thread acceptor_;
};

// "HTTP/1.1 <status>\r\n<headers, each line ending in CR LF>Content-Length: n\r\n\r\n<body>".
std::string HttpReply(std::string_view status, std::string_view headers, std::string_view body);

// The request target of a raw request: "GET /x HTTP/1.1..." gives "/x".
std::string RequestTarget(std::string_view request);

}  // namespace velmora::testing
