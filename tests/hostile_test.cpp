// Servers that misbehave on purpose, each on its own port of 127.0.0.1: every
// fetch from them ends with an empty or partial page, the worker finishes its
// walk, and the server's threads are gone when the test ends.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <functional>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "collect/collector.h"
#include "collect/listing.h"
#include "fetch/fetch_page.h"
#include "fetch/fetch_settings.h"
#include "regex/regex_object.h"
#include "text/charset.h"
#include "tests/support/loopback.h"
#include "tests/support/memory_window.h"
#include "tests/support/test_servers.h"
#include "tools/listing/listing_server.h"

namespace velmora {
namespace {

// A loopback server that hands every connection to `serve` on a thread of its
// own. `serve` must return soon once `stopping` is set; the destructor sets it,
// closes the sockets and joins every thread.
class StreamServer {
 public:
  using Serve = std::function<void(int fd, const std::atomic<bool>& stopping)>;

  explicit StreamServer(Serve serve) : serve_(std::move(serve)) {
    listenFd_ = testing::ListenOnLoopback(port_);
    acceptor_ = std::thread([this] { AcceptLoop(); });
  }

  ~StreamServer() {
    stopping_ = true;
    acceptor_.join();
    for (std::thread& client : clients_) client.join();
    close(listenFd_);
  }
  StreamServer(const StreamServer&) = delete;
  StreamServer& operator=(const StreamServer&) = delete;

  std::string url(const std::string& path = "/") const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  int connections() const { return connections_; }

 private:
  void AcceptLoop() {
    while (!stopping_) {
      pollfd p{listenFd_, POLLIN, 0};
      if (poll(&p, 1, 20) <= 0) continue;
      int fd = accept(listenFd_, nullptr, nullptr);
      if (fd < 0) continue;
      ++connections_;
      clients_.emplace_back([this, fd] {
        serve_(fd, stopping_);
        close(fd);
      });
    }
  }

  Serve serve_;
  int listenFd_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> connections_{0};
  std::vector<std::thread> clients_;  // touched by the acceptor thread only until it is joined
  std::thread acceptor_;
};

// Reads one request head; empty when the client left or the server stops.
std::string ReadRequest(int fd, const std::atomic<bool>& stopping) {
  std::string request;
  char buffer[4096];
  while (!stopping && request.find("\r\n\r\n") == std::string::npos) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 20) <= 0) continue;
    ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) return {};
    request.append(buffer, static_cast<std::size_t>(n));
  }
  return request;
}

// Writes all of `bytes`; false once the client has gone or the server stops.
bool Send(int fd, std::string_view bytes, const std::atomic<bool>& stopping) {
  while (!bytes.empty()) {
    if (stopping) return false;
    pollfd p{fd, POLLOUT, 0};
    if (poll(&p, 1, 20) <= 0) continue;
    ssize_t n = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Waits `period` unless the server stops first; false when it stops.
bool Pause(std::chrono::milliseconds period, const std::atomic<bool>& stopping) {
  const auto end = std::chrono::steady_clock::now() + period;
  while (std::chrono::steady_clock::now() < end) {
    if (stopping) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return !stopping;
}

// Restores the fetch settings a test changed.
class HostileServer : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = fetch_internal::Settings(); }
  void TearDown() override { fetch_internal::Settings() = saved_; }

 private:
  fetch_internal::FetchSettings saved_;
};

const std::string kOkHead = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n\r\n";

TEST_F(HostileServer, BodyThatNeverEndsStopsAtTheCap) {
  // The real 64 MiB cap: the server writes until the client hangs up.
  std::atomic<std::size_t> sent{0};
  StreamServer server([&](int fd, const std::atomic<bool>& stopping) {
    if (ReadRequest(fd, stopping).empty() || !Send(fd, kOkHead, stopping)) return;
    const std::string chunk(64 * 1024, 'x');
    while (Send(fd, chunk, stopping)) sent += chunk.size();
  });
  Text headers;
  EXPECT_EQ(FetchPage(Text(server.url()), {.headersOut = &headers}), Text());
  EXPECT_GE(sent, fetch_internal::kMaxBodyBytes - (std::size_t{4} << 20));  // socket buffers
  EXPECT_NE(FindText(headers, "200 OK"), -1);
}

TEST_F(HostileServer, AnnouncedHugeBodyIsRefusedAtOnce) {
  StreamServer server([](int fd, const std::atomic<bool>& stopping) {
    if (ReadRequest(fd, stopping).empty()) return;
    Send(fd, "HTTP/1.1 200 OK\r\nContent-Length: 1099511627776\r\n\r\nxyz", stopping);
    while (Pause(std::chrono::milliseconds(50), stopping)) {}
  });
  EXPECT_EQ(FetchPage(Text(server.url())), Text());
}

TEST_F(HostileServer, OneByteASecondEndsAtTheStallTimeOut) {
  fetch_internal::Settings().stallTimeout = std::chrono::milliseconds(300);
  const std::string reply = kOkHead + "<html>slow</html>";
  StreamServer server([&](int fd, const std::atomic<bool>& stopping) {
    if (ReadRequest(fd, stopping).empty()) return;
    for (char c : reply) {
      if (!Send(fd, std::string_view(&c, 1), stopping)) return;
      if (!Pause(std::chrono::seconds(1), stopping)) return;
    }
  });
  EXPECT_EQ(FetchPage(Text(server.url())), Text());
}

TEST_F(HostileServer, TrickleFasterThanTheStallTimeOutEndsAtTheLowRate) {
  // A byte every 50 ms never stalls for 300 ms; the low-rate guard ends it.
  fetch_internal::Settings().stallTimeout = std::chrono::milliseconds(300);
  fetch_internal::Settings().lowRateWindow = std::chrono::seconds(1);
  StreamServer server([&](int fd, const std::atomic<bool>& stopping) {
    if (ReadRequest(fd, stopping).empty() || !Send(fd, kOkHead, stopping)) return;
    while (Send(fd, "x", stopping) && Pause(std::chrono::milliseconds(50), stopping)) {}
  });
  EXPECT_EQ(FetchPage(Text(server.url())), Text());
}

TEST_F(HostileServer, HeaderBlockOfOneMebibyte) {
  struct Case {
    const char* what;
    std::string head;
  };
  std::string manyLines = "HTTP/1.1 200 OK\r\n";
  while (manyLines.size() < (std::size_t{1} << 20)) manyLines += "X-Pad: " + std::string(100, 'p') + "\r\n";
  const Case cases[] = {
      {"many lines", manyLines + "Set-Cookie: a=1; path=/\r\nContent-Length: 5\r\n\r\nhello"},
      {"one line", "HTTP/1.1 200 OK\r\nX-Big: " + std::string(std::size_t{1} << 20, 'b') +
                       "\r\nContent-Length: 5\r\n\r\nhello"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    StreamServer server([&](int fd, const std::atomic<bool>& stopping) {
      if (!ReadRequest(fd, stopping).empty()) Send(fd, c.head, stopping);
    });
    Text cookies, headers;
    // A block this large is either refused whole or read whole, never in part.
    // Debian's libcurl refuses both: a block over 300 KB, a line over 100 KB.
    Text page = FetchPage(Text(server.url()), {.cookiesOut = &cookies, .headersOut = &headers});
    if (page.empty()) {
      EXPECT_EQ(cookies, Text());
    } else {
      EXPECT_EQ(page, Text("hello"));
      EXPECT_GE(headers.size(), 1 << 20);
    }
  }
}

TEST_F(HostileServer, RedirectLoopEndsAfterThirtyHops) {
  std::atomic<int> requests{0};
  StreamServer server([&](int fd, const std::atomic<bool>& stopping) {
    while (!ReadRequest(fd, stopping).empty()) {
      ++requests;
      if (!Send(fd, "HTTP/1.1 302 Found\r\nLocation: /loop\r\nContent-Length: 4\r\n\r\nloop",
                stopping)) {
        return;
      }
    }
  });
  EXPECT_EQ(FetchPage(Text(server.url("/loop"))), Text());
  EXPECT_EQ(requests, 31);  // the first request and thirty redirects
}

TEST_F(HostileServer, RedirectToAFileAddressIsNotFollowed) {
  testing::TempDir dir;
  const std::string secret = dir.file("secret");
  std::FILE* file = std::fopen(secret.c_str(), "w");
  ASSERT_NE(file, nullptr);
  std::fputs("secret", file);
  std::fclose(file);
  StreamServer server([&](int fd, const std::atomic<bool>& stopping) {
    if (ReadRequest(fd, stopping).empty()) return;
    Send(fd,
         "HTTP/1.1 302 Found\r\nLocation: file://" + secret +
             "\r\nContent-Length: 5\r\n\r\nmoved",
         stopping);
  });
  Text location;
  Text page = FetchPage(Text(server.url()), {.locationOut = &location});
  EXPECT_EQ(FindText(page, "secret"), -1);
  EXPECT_EQ(page, Text());
  EXPECT_EQ(location, Text("file://" + secret));
}

TEST_F(HostileServer, ResponseThatClosesMidBodyGivesNothing) {
  StreamServer server([](int fd, const std::atomic<bool>& stopping) {
    if (ReadRequest(fd, stopping).empty()) return;
    Send(fd, "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + std::string(500, 'h'), stopping);
  });
  EXPECT_EQ(FetchPage(Text(server.url())), Text());
}

TEST_F(HostileServer, InvalidUtf8AndZeroBytes) {
  const std::string gaoUtf8 = "\xE9\xAB\x98", gaoGbk = "\xB8\xDF";
  struct Case {
    const char* what;
    std::string head;
    std::string body;
    std::string page;
  };
  const std::string utf8Head = "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n";
  const Case cases[] = {
      {"invalid UTF-8 in a UTF-8 page", utf8Head,
       "a\xFF\xFE" + gaoUtf8 + "\xC0\xAF" + "b\xE9\xAB", "a??" + gaoGbk + "??b?"},
      {"a zero byte in the body", "HTTP/1.1 200 OK\r\n", std::string("ab\0cd", 5), "ab"},
      {"a zero byte in a UTF-8 body", utf8Head, gaoUtf8 + std::string("\0", 1) + gaoUtf8, gaoGbk},
      // The client refuses a header line holding a zero byte: the fetch fails.
      {"a zero byte in a header line", "HTTP/1.1 200 OK\r\nX-Zero: a" + std::string("\0", 1) +
                                           "b\r\nSet-Cookie: z=1; path=/\r\n",
       "page", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string reply =
        c.head + "Content-Length: " + std::to_string(c.body.size()) + "\r\n\r\n" + c.body;
    StreamServer server([&](int fd, const std::atomic<bool>& stopping) {
      if (!ReadRequest(fd, stopping).empty()) Send(fd, reply, stopping);
    });
    Text headers, cookies;
    EXPECT_EQ(FetchPage(Text(server.url()), {.cookiesOut = &cookies, .headersOut = &headers}),
              Text(c.page));
    EXPECT_EQ(headers.view().find('\0'), std::string_view::npos);
  }
}

// ---------------------------------------------------------------------------
// The worker against listings that are large or built to hurt the row pattern.


std::string Ip(int i) {
  return "10." + std::to_string(i >> 16 & 255) + "." + std::to_string(i >> 8 & 255) + "." +
         std::to_string(i & 255);
}

// One kept row in the listing's shape (UTF-8), as short as the pattern allows.
std::string RowHtml(int i) {
  return "<tr><td>" + Ip(i) + "</td>\n<td>" + std::to_string(1000 + i % 9000) +
         "</td>\n<td>\nL\n</td>\n<td>高匿</td>\n<td>HTTP</td>\n<td>\n<div title=\"1.5\" "
         "class=\"bar\">\n<div class=\"bar_inner f\" style=\"width:5%\">\n</div>\n</div>\n</td>\n"
         "<td>\n<div title=\"0.5\" class=\"bar\">\n<div class=\"bar_inner f\" "
         "style=\"width:5%\">\n</div>\n</div>\n</td>\n<td>t</td></tr>\n";
}

Row KeptRow(int serial, int i) {
  return {std::to_string(serial), Ip(i), std::to_string(1000 + i % 9000), "L", "HTTP", "1.5",
          "0.5", "t"};
}

const std::string kUtf8PageStart = "<html><head><meta charset=utf-8></head><body><table>\n";

// A listing whose pager names `pages` pages, page 1 given by `firstPage`, every
// other numbered page a 404.
class OnePageListing {
 public:
  OnePageListing(std::string page1, int pages = 12)
      : listing_({.pages = 12, .rowsPerPage = 1}),
        page1_(std::move(page1)),
        server_(listing_, 0, [this, pages](const std::string& path) {
          std::optional<std::pair<int, std::string>> reply;
          if (path == "/nn/") {
            std::string first = listing_.FirstPage();
            first.replace(first.find(sample::PagerHtml(12)), sample::PagerHtml(12).size(),
                          sample::PagerHtml(pages));
            reply = {{200, first}};
          } else if (path == "/nn/1") {
            reply = {{200, page1_}};
          } else {
            reply = {{404, ""}};
          }
          return reply;
        }) {}
  Text BaseUrl() const { return Text(server_.BaseUrl()); }
  std::vector<std::string> Paths() const { return server_.Paths(); }

 private:
  sample::SampleListing listing_;
  std::string page1_;
  sample::ListingServer server_;
};

TEST(HostileListing, PageOfTwoHundredThousandRowsIsCollectedInFull) {
  constexpr int kRows = 200'000;
  std::string page = kUtf8PageStart;
  for (int i = 0; i < kRows; ++i) page += RowHtml(i);
  page += "</table></body></html>\n";
  ASSERT_LT(page.size(), fetch_internal::kMaxBodyBytes);
  OnePageListing listing(std::move(page));

  MemoryWindow window;
  CollectProxies(window, listing.BaseUrl());
  EXPECT_EQ(window.captions(), kBothCaptions);
  std::vector<Row> rows = window.rows();
  ASSERT_EQ(rows.size(), static_cast<std::size_t>(kRows));
  for (int i = 0; i < kRows; i += 9973) EXPECT_EQ(rows[static_cast<std::size_t>(i)], KeptRow(i + 1, i));
  EXPECT_EQ(rows.back(), KeptRow(kRows, kRows - 1));
}

// A row cut off inside its speed bar, followed by a line full of the bar's
// attribute text and no "%\">": each of the thousands of ways to end the first
// lazy group sends the second over the whole line.
std::string BacktrackTrap() {
  std::string trap =
      "<tr><td>10.9.9.9</td>\n<td>99</td>\n<td>\nL\n</td>\n<td>高匿</td>\n<td>HTTP</td>\n<td>\n"
      "<div title=\"1\" class=\"bar\">\n<div class=\"bar_inner ";
  for (int i = 0; i < 20'000; ++i) trap += "\" style=\"width:x";
  return trap + "\n";
}

TEST(HostileListing, BacktrackingPageIsBoundedByTheMatchLimits) {
  const std::string page = kUtf8PageStart + RowHtml(1) + RowHtml(2) + BacktrackTrap() + RowHtml(3);
  RegexObject regex;
  EXPECT_TRUE(regex.Create(RowPattern(), Utf8ToGbk(page)));
  // The search that runs into the limit ends the list; what came before stays.
  EXPECT_EQ(regex.MatchCount(), 2);

  OnePageListing listing(page);
  MemoryWindow window;
  CollectProxies(window, listing.BaseUrl());
  EXPECT_EQ(window.captions(), kBothCaptions);
  EXPECT_EQ(window.rows(), (std::vector<Row>{KeptRow(1, 1), KeptRow(2, 2)}));
}

// ---------------------------------------------------------------------------
// Load: five workers at once on the sample listing. Rows written across another
// worker's emptying may mix cells of different rows, so each cell is checked on
// its own against its column's values among the kept rows.

TEST(Load, FiveWorkersAtOnceAllFinish) {
  constexpr int kWorkers = 5;
  sample::SampleListing listing({.pages = 12, .rowsPerPage = 40});
  sample::ListingServer server(listing);
  ASSERT_TRUE(server.ok());
  MemoryWindow window;
  const Text url(server.BaseUrl());
  std::vector<std::thread> workers;
  for (int w = 0; w < kWorkers; ++w) workers.emplace_back([&] { CollectProxies(window, url); });
  for (std::thread& worker : workers) worker.join();

  std::vector<std::string> captions = window.captions();
  EXPECT_EQ(captions.size(), 2u * kWorkers);
  ASSERT_FALSE(captions.empty());
  EXPECT_EQ(captions.back(), "采集完毕！");
  EXPECT_EQ(server.Paths().size(), static_cast<std::size_t>(kWorkers * (listing.pages() + 1)));

  const auto& kept = listing.KeptRows();
  const auto allowed = AllowedCellValues(listing, kWorkers);
  std::vector<Row> rows = window.rows();
  EXPECT_GE(rows.size(), kept.size());  // the last worker to empty the table adds all of its rows
  EXPECT_LE(rows.size(), kept.size() * kWorkers);
  for (const Row& row : rows) {
    for (std::size_t c = 0; c < 8; ++c) EXPECT_TRUE(allowed[c].count(row[c])) << c << ": " << row[c];
  }
}

}  // namespace
}  // namespace velmora
