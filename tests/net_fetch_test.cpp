// FetchPage against servers the tests start on 127.0.0.1: a raw server that
// records exact request bytes, cpp-httplib for HTTPS, and tinyproxy.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "fetch/fetch_page.h"
#include "fetch/fetch_settings.h"
#include "tests/support/raw_http_server.h"
#include "tests/support/test_servers.h"

namespace velmora {
namespace {

using testing::HttpReply;
using testing::RawHttpServer;
using testing::RequestTarget;
using Reply = RawHttpServer::Reply;

Text T(const std::string& s) { return Text(std::string_view(s)); }
std::string S(const Text& t) { return t.str(); }

const std::string kGaoUtf8 = "\xE9\xAB\x98";  // 高
const std::string kGaoGbk = "\xB8\xDF";
const std::string kDefaults =
    "Accept: */*\r\nAccept-Language: zh-cn\r\n"
    "Content-Type: application/x-www-form-urlencoded\r\n";

Reply Ok(std::string_view body, std::string_view headers = "") {
  return {HttpReply("200 OK", headers, body)};
}

// A server whose replies are picked by request target; unknown targets get 404.
RawHttpServer::Handler Routes(std::map<std::string, Reply> routes) {
  return [routes = std::move(routes)](const std::string& request) {
    auto it = routes.find(RequestTarget(request));
    return it != routes.end() ? it->second : Reply{HttpReply("404 Not Found", "", "")};
  };
}

// The value of the request's Cookie lines, each line's value on its own.
std::vector<std::string> CookieLines(const std::string& request) {
  std::vector<std::string> values;
  for (std::size_t at = request.find("\r\nCookie: "); at != std::string::npos;
       at = request.find("\r\nCookie: ", at + 1)) {
    std::size_t start = at + 10;
    values.push_back(request.substr(start, request.find("\r\n", start) - start));
  }
  return values;
}

std::string Head(const std::string& request) {
  return request.substr(0, request.find("\r\n\r\n") + 4);
}

std::string Body(const std::string& request) {
  return request.substr(request.find("\r\n\r\n") + 4);
}

class NetFetch : public ::testing::Test {
 protected:
  void SetUp() override {
    InitializeFetch();
    saved_ = fetch_internal::Settings();
    // Nothing here waits on a slow network; short limits keep a fault from hanging.
    fetch_internal::Settings().connectTimeout = std::chrono::seconds(5);
    fetch_internal::Settings().stallTimeout = std::chrono::seconds(5);
    fetch_internal::ClearSharedCookies();
  }
  void TearDown() override {
    fetch_internal::Settings() = saved_;
    fetch_internal::ClearSharedCookies();
  }

 private:
  fetch_internal::FetchSettings saved_;
};

TEST_F(NetFetch, TheWorkersPlainCallSendsExactlyThisRequest) {
  RawHttpServer server([](const std::string&) { return Ok("page"); });
  const std::string url = server.url("/nn/2");
  EXPECT_EQ(FetchPage(T(url)), "page");

  ASSERT_EQ(server.requests().size(), 1u);
  const std::string host = "127.0.0.1:" + std::to_string(server.port());
  EXPECT_EQ(server.requests()[0], "GET /nn/2 HTTP/1.1\r\nHost: " + host +
                                      "\r\nUser-Agent: " + S(kDefaultAgent) +
                                      "\r\nReferer: " + url + "\r\n" + kDefaults + "\r\n");
}

TEST_F(NetFetch, SpacesInThePathAreEscaped) {
  RawHttpServer server([](const std::string&) { return Ok("ok"); });
  EXPECT_EQ(FetchPage(T(server.url("/a b?q=1 2"))), "ok");
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(RequestTarget(server.requests()[0]), "/a%20b?q=1%202");
}

TEST_F(NetFetch, PostBodies) {
  RawHttpServer server([](const std::string&) { return Ok("done"); });
  const std::string binary("x=\0\xFF", 4);
  const std::string big(2 << 20, 'b');  // large enough for curl to want "Expect: 100-continue"
  struct Case {
    const char* what;
    int method;
    const char* postText;
    std::string postBytes;
    std::string verb;
    std::string sentBody;
    std::string postBytesAfter;
  };
  const Case cases[] = {
      {"bytes win over text", 1, "ignored", binary, "POST", binary, binary},
      {"text fills the bytes", 1, "a=1", "", "POST", "a=1", "a=1"},
      {"both empty", 1, "", "", "POST", "", ""},
      {"a large body is sent without waiting", 1, "", big, "POST", big, big},
      {"method 0", 0, "a=1", "", "GET", "", ""},
      {"another method is a plain GET", 2, "a=1", "", "GET", "", ""},
  };
  std::size_t seen = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes postBytes{std::string_view(c.postBytes)};
    EXPECT_EQ(FetchPage(T(server.url("/p")),
                        {.method = c.method, .postText = c.postText, .postBytes = &postBytes}),
              "done");
    EXPECT_EQ(postBytes.view(), c.postBytesAfter);
    std::vector<std::string> requests = server.requests();
    ASSERT_EQ(requests.size(), ++seen);
    const std::string& request = requests.back();
    EXPECT_EQ(request.substr(0, request.find(' ')), c.verb);
    EXPECT_EQ(Body(request), c.sentBody);
    EXPECT_EQ(Head(request).find("Expect:"), std::string::npos);
    const std::string length = "\r\nContent-Length: " + std::to_string(c.sentBody.size()) + "\r\n";
    EXPECT_EQ(Head(request).find(length) != std::string::npos, c.verb == "POST");
  }
}

TEST_F(NetFetch, ExtraHeadersAreCompletedAndSentLineByLine) {
  RawHttpServer server([](const std::string&) { return Ok("ok"); });
  const std::string url = server.url("/h");
  const std::string host = "GET /h HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(server.port());
  const std::string referer = "Referer: " + url;
  struct Case {
    const char* what;
    std::string extraHeaders;
    std::string completed;  // the variable afterwards
    std::string agentLine;  // what curl adds before the block, if anything
  };
  const Case cases[] = {
      {"a single User-Agent line names the agent", "User-Agent: X",
       "User-Agent: X\r\n" + referer + "\r\n" + kDefaults, ""},
      {"completion heeds case, the agent search does not",
       "user-agent: low\r\naccept: text/html\r\nreferer: r",
       "user-agent: low\r\naccept: text/html\r\nreferer: r\r\n" + referer + "\r\n" + kDefaults, ""},
      {"User-Agent: inside another header still names the agent", "X-Orig-User-Agent: foo",
       "X-Orig-User-Agent: foo\r\n" + referer + "\r\n" + kDefaults, "User-Agent: foo\r\n"},
      {"a last line's value runs to the end of the block", "X: 1\r\nX-Orig-User-Agent: bar",
       "X: 1\r\nX-Orig-User-Agent: bar\r\n" + referer + "\r\n" + kDefaults, "User-Agent: bar\r\n"},
      {"a full block is left alone",
       "Referer: r\r\nAccept: a/b\r\nAccept-Language: en\r\nContent-Type: text/plain\r\nX: 1",
       "Referer: r\r\nAccept: a/b\r\nAccept-Language: en\r\nContent-Type: text/plain\r\nX: 1\r\n",
       "User-Agent: " + S(kDefaultAgent) + "\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Text headers = T(c.extraHeaders);
    EXPECT_EQ(FetchPage(T(url), {.extraHeaders = &headers}), "ok");
    std::string completed = c.completed.substr(0, c.completed.size() - 2);  // no CR LF at the end
    EXPECT_EQ(S(headers), completed);
    EXPECT_EQ(server.requests().back(), host + "\r\n" + c.agentLine + c.completed + "\r\n");
  }
}

TEST_F(NetFetch, ReusedCompletedBlockGainsASecondCookieLine) {
  RawHttpServer server(
      [](const std::string&) { return Ok("ok", "Set-Cookie: got=1; path=/\r\n"); });
  Text headers;
  Text cookies = "a=1";
  FetchPage(T(server.url("/")), {.cookies = &cookies, .extraHeaders = &headers});
  EXPECT_EQ(cookies, "got=1; a=1");
  FetchPage(T(server.url("/")), {.cookies = &cookies, .extraHeaders = &headers});
  std::vector<std::string> requests = server.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(CookieLines(requests[0]), std::vector<std::string>({"a=1"}));
  EXPECT_EQ(CookieLines(requests[1]), std::vector<std::string>({"a=1", "got=1; a=1"}));
}

TEST_F(NetFetch, AutomaticCookiesAreSharedAcrossCallsAndThreads) {
  RawHttpServer server(Routes({
      {"/set", Ok("", "Set-Cookie: auto=1; path=/\r\n")},
      {"/kept", Ok("", "Set-Cookie: kept=1; path=/\r\n")},
      {"/delete", Ok("", "Set-Cookie: auto=; Expires=Thu, 01 Jan 1970 00:00:00 GMT; path=/\r\n")},
      {"/echo", Ok("")},
  }));
  auto lastCookies = [&] { return CookieLines(server.requests().back()); };
  using Lines = std::vector<std::string>;

  FetchPage(T(server.url("/set")));
  FetchPage(T(server.url("/echo")));
  EXPECT_EQ(lastCookies(), Lines({"auto=1"}));
  std::thread([&] { FetchPage(T(server.url("/echo"))); }).join();
  EXPECT_EQ(lastCookies(), Lines({"auto=1"}));

  // A caller that keeps its own cookies neither sends nor stores the shared ones.
  Text mine = "mine=1";
  FetchPage(T(server.url("/echo")), {.cookies = &mine});
  EXPECT_EQ(lastCookies(), Lines({"mine=1"}));
  FetchPage(T(server.url("/kept")), {.cookies = &mine});
  EXPECT_EQ(mine, "kept=1; mine=1");
  FetchPage(T(server.url("/echo")));
  EXPECT_EQ(lastCookies(), Lines({"auto=1"}));

  // Supplied but empty: still no automatic cookies, and the response's are merged in.
  Text empty;
  FetchPage(T(server.url("/kept")), {.cookies = &empty});
  EXPECT_EQ(lastCookies(), Lines());
  EXPECT_EQ(empty, "kept=1");

  // An expired cookie leaves the shared store.
  FetchPage(T(server.url("/delete")));
  FetchPage(T(server.url("/echo")));
  EXPECT_EQ(lastCookies(), Lines());
}

TEST_F(NetFetch, ConcurrentThreadsLoseNoCookies) {
  RawHttpServer server([](const std::string& request) {
    std::string name = RequestTarget(request).substr(1);
    return Ok("", "Set-Cookie: " + name + "=1; path=/\r\n");
  });
  constexpr int kThreads = 4;
  constexpr int kEach = 5;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) {
        FetchPage(T(server.url("/c" + std::to_string(t) + "_" + std::to_string(i))));
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  FetchPage(T(server.url("/last")));
  std::vector<std::string> lines = CookieLines(server.requests().back());
  ASSERT_EQ(lines.size(), 1u);
  for (int t = 0; t < kThreads; ++t) {
    for (int i = 0; i < kEach; ++i) {
      std::string cookie = "c" + std::to_string(t) + "_" + std::to_string(i) + "=1";
      EXPECT_NE(lines[0].find(cookie), std::string::npos) << cookie;
    }
  }
}

TEST_F(NetFetch, OneThreadReusesOneKeptAliveConnection) {
  RawHttpServer server([](const std::string&) { return Ok("ok"); });
  EXPECT_EQ(FetchPage(T(server.url("/1"))), "ok");
  EXPECT_EQ(FetchPage(T(server.url("/2"))), "ok");
  EXPECT_EQ(server.connections(), 1);
  std::thread([&] { EXPECT_EQ(FetchPage(T(server.url("/3"))), "ok"); }).join();
  EXPECT_EQ(server.connections(), 2);
  EXPECT_EQ(server.requests().size(), 3u);
}

TEST_F(NetFetch, LongHeaderBlockKeepsCookiesLocationAndCharset) {
  const std::string pad(6000, 'p');
  RawHttpServer server([&](const std::string&) {
    return Ok("<p>" + kGaoUtf8 + "</p>",
              "X-Pad: " + pad + "\r\nSet-Cookie: a=1; path=/\r\nSet-Cookie: b=2\r\n" +
                  "Content-Location: /here\r\nContent-Type: text/html; charset=utf-8\r\n");
  });
  Text cookiesOut, location, headers;
  Text page =
      FetchPage(T(server.url("/")),
                {.cookiesOut = &cookiesOut, .locationOut = &location, .headersOut = &headers});
  EXPECT_EQ(page, T("<p>" + kGaoGbk + "</p>"));
  EXPECT_EQ(cookiesOut, "a=1; b=2");
  EXPECT_EQ(location, "/here");
  EXPECT_GT(headers.size(), 6000);
  EXPECT_EQ(S(headers).substr(0, 17), "HTTP/1.1 200 OK\r\n");
  EXPECT_EQ(S(headers).find("\r\n\r\n"), std::string::npos);
}

TEST_F(NetFetch, PagesInUtf8AreConverted) {
  RawHttpServer server(Routes({
      {"/utf8", Ok("<meta charset=utf-8>" + kGaoUtf8)},
      {"/gbk", Ok("<meta charset=gbk>" + kGaoGbk, "Content-Type: text/html; charset=gbk\r\n")},
      {"/capitals", Ok("<meta charset=UTF-8>" + kGaoUtf8)},
      {"/at500", Ok(std::string(499, ' ') + "utf-8" + kGaoUtf8)},
      {"/zero", Ok(std::string("ab\0cd", 5))},
  }));
  struct Case {
    const char* path;
    std::string page;
  };
  const Case cases[] = {
      {"/utf8", "<meta charset=utf-8>" + kGaoGbk},
      {"/gbk", "<meta charset=gbk>" + kGaoGbk},
      {"/capitals", "<meta charset=UTF-8>" + kGaoUtf8},
      {"/at500", std::string(499, ' ') + "utf-8" + kGaoUtf8},
      {"/zero", "ab"},
  };
  for (const Case& c : cases) EXPECT_EQ(FetchPage(T(server.url(c.path))), T(c.page)) << c.path;
}

TEST_F(NetFetch, RedirectsAreFollowedAndTheLastResponseReported) {
  RawHttpServer server([](const std::string& request) {
    std::string target = RequestTarget(request);
    if (target == "/a")
      return Reply{HttpReply("302 Found", "Location: /b\r\nSet-Cookie: hop=1\r\n", "x")};
    if (target == "/b") return Reply{HttpReply("301 Moved", "Location: /c\r\n", "y")};
    return Ok("end", "X-Last: yes\r\n");
  });
  Text location, headers, cookiesOut;
  EXPECT_EQ(
      FetchPage(T(server.url("/a")),
                {.cookiesOut = &cookiesOut, .locationOut = &location, .headersOut = &headers}),
      "end");
  std::vector<std::string> requests = server.requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(RequestTarget(requests[2]), "/c");
  EXPECT_EQ(S(headers).substr(0, 17), "HTTP/1.1 200 OK\r\n");
  EXPECT_NE(S(headers).find("X-Last: yes\r\n"), std::string::npos);
  EXPECT_EQ(S(headers).find("Location"), std::string::npos);
  EXPECT_EQ(location, headers);
  EXPECT_EQ(cookiesOut, "");
}

TEST_F(NetFetch, InterimResponsesAreNotReported) {
  RawHttpServer server([](const std::string&) {
    return Reply{"HTTP/1.1 100 Continue\r\nX-Interim: 1\r\n\r\n" +
                 HttpReply("200 OK", "X-Final: 1\r\n", "final")};
  });
  Text headers;
  EXPECT_EQ(FetchPage(T(server.url("/")), {.headersOut = &headers}), "final");
  EXPECT_EQ(S(headers).find("X-Interim"), std::string::npos);
  EXPECT_NE(S(headers).find("X-Final: 1\r\n"), std::string::npos);
}

TEST_F(NetFetch, NoRedirectReportsTheRedirectItself) {
  RawHttpServer server([](const std::string&) {
    return Reply{HttpReply("302 Found", "Location: /next\r\n", "moved")};
  });
  Text location = "old";
  EXPECT_EQ(FetchPage(T(server.url("/")), {.locationOut = &location, .noRedirect = true}), "moved");
  EXPECT_EQ(location, "/next");
  EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(NetFetch, RedirectLoopsAndOtherSchemesEndCleanly) {
  RawHttpServer server([](const std::string&) {
    return Reply{HttpReply("302 Found", "Location: /loop\r\n", "again")};
  });
  Text headers;
  EXPECT_EQ(FetchPage(T(server.url("/loop")), {.headersOut = &headers}), "");
  EXPECT_EQ(server.requests().size(), 31u);  // the first request and 30 hops
  EXPECT_EQ(S(headers).substr(0, 19), "HTTP/1.1 302 Found\r");

  // Followed, this redirect would open an FTP connection to the bait server.
  RawHttpServer ftpBait([&](const std::string&) { return Reply{HttpReply("302 Found", "", "")}; });
  RawHttpServer redirector([&](const std::string&) {
    std::string target = "ftp://127.0.0.1:" + std::to_string(ftpBait.port()) + "/x";
    return Reply{HttpReply("302 Found", "Location: " + target + "\r\n", "to ftp")};
  });
  Text location;
  EXPECT_EQ(FetchPage(T(redirector.url("/")), {.locationOut = &location}), "");
  EXPECT_EQ(S(location).substr(0, 6), "ftp://");
  EXPECT_EQ(ftpBait.connections(), 0);
}

TEST_F(NetFetch, HttpsWithTheTestCaAndNotWithoutIt) {
  testing::TempDir dir;
  testing::TestCertificates certificates = MakeTestCertificates(dir);
  ASSERT_FALSE(certificates.caFile.empty()) << "openssl could not make the test certificates";
  httplib::SSLServer tls(certificates.certFile.c_str(), certificates.keyFile.c_str());
  ASSERT_TRUE(tls.is_valid());
  tls.Get("/secure", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("secret", "text/plain");
  });
  testing::RunningServer running(tls);
  const std::string url = running.url("https", "/secure");

  Text headers = "old";
  EXPECT_EQ(FetchPage(T(url), {.headersOut = &headers}), "");
  EXPECT_EQ(headers, "");

  fetch_internal::Settings().caFile = certificates.caFile;
  EXPECT_EQ(FetchPage(T(url)), "secret");
  EXPECT_EQ(FetchPage(T(running.url("HTTPS", "/secure"))), "secret");
  // From plain http to https is allowed.
  RawHttpServer plain([&](const std::string&) {
    return Reply{HttpReply("302 Found", "Location: " + url + "\r\n", "")};
  });
  EXPECT_EQ(FetchPage(T(plain.url("/"))), "secret");
}

TEST_F(NetFetch, AProxyGetsTheRequestInAbsoluteForm) {
  RawHttpServer proxy([](const std::string&) { return Ok("via proxy"); });
  const std::string target = "http://127.0.0.1:9/x?q=1";  // never contacted: the proxy answers
  const std::string proxyAddress = "127.0.0.1:" + std::to_string(proxy.port());
  EXPECT_EQ(FetchPage(T(target), {.proxy = T(proxyAddress)}), "via proxy");
  ASSERT_EQ(proxy.requests().size(), 1u);
  EXPECT_EQ(proxy.requests()[0].substr(0, 35), "GET http://127.0.0.1:9/x?q=1 HTTP/1");

  // Supplied but empty: no proxy at all.
  RawHttpServer origin([](const std::string&) { return Ok("direct"); });
  EXPECT_EQ(FetchPage(T(origin.url("/")), {.proxy = Text()}), "direct");
  EXPECT_EQ(proxy.requests().size(), 1u);
}

TEST_F(NetFetch, ThroughTinyproxyPlainAndTunnelled) {
  testing::TempDir dir;
  testing::Tinyproxy tinyproxy(dir);
  ASSERT_TRUE(tinyproxy.ready()) << "tinyproxy did not start";
  const Text proxy = T("127.0.0.1:" + std::to_string(tinyproxy.port()));

  RawHttpServer origin([](const std::string&) { return Ok("origin"); });
  EXPECT_EQ(FetchPage(T(origin.url("/plain")), {.proxy = proxy}), "origin");
  ASSERT_EQ(origin.requests().size(), 1u);
  EXPECT_NE(origin.requests()[0].find("tinyproxy"), std::string::npos);  // its Via header

  testing::TestCertificates certificates = MakeTestCertificates(dir);
  ASSERT_FALSE(certificates.caFile.empty());
  httplib::SSLServer tls(certificates.certFile.c_str(), certificates.keyFile.c_str());
  tls.Get("/t", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("tunnelled", "text/plain");
  });
  testing::RunningServer running(tls);
  fetch_internal::Settings().caFile = certificates.caFile;
  Text headers;
  EXPECT_EQ(FetchPage(T(running.url("https", "/t")), {.proxy = proxy, .headersOut = &headers}),
            "tunnelled");
  EXPECT_EQ(S(headers).substr(0, 17), "HTTP/1.1 200 OK\r\n");
  EXPECT_EQ(S(headers).find("established"), std::string::npos);
  EXPECT_NE(tinyproxy.log().find("CONNECT 127.0.0.1:" + std::to_string(running.port())),
            std::string::npos);
}

TEST_F(NetFetch, NoResponseGivesEmptyResultAndEmptyHeaders) {
  const std::string refused = "http://127.0.0.1:" + std::to_string(testing::FreePort()) + "/";
  for (const std::string& url : {refused, std::string(""), std::string("http://127.0.0.1:99999/"),
                                 std::string("http://127.0.0.1:/x"), std::string("http://a b/")}) {
    SCOPED_TRACE(url);
    Text headers = "old", kept = "kept", location, extra;
    EXPECT_EQ(FetchPage(T(url), {.locationOut = &kept, .headersOut = &headers}), "");
    EXPECT_EQ(headers, "");
    EXPECT_EQ(kept, "kept");
    EXPECT_EQ(FetchPage(T(url), {.extraHeaders = &extra, .locationOut = &location}), "");
    EXPECT_EQ(location, "");
    EXPECT_EQ(S(extra).substr(0, 9), "Referer: ");  // the request was still prepared
  }
}

TEST_F(NetFetch, AStalledServerEndsTheFetch) {
  fetch_internal::Settings().stallTimeout = std::chrono::seconds(1);
  RawHttpServer server(Routes({
      {"/silent", Reply{"", false, true}},
      {"/half", Reply{"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npartial", false, true}},
  }));
  Text headers = "old";
  EXPECT_EQ(FetchPage(T(server.url("/silent")), {.headersOut = &headers}), "");
  EXPECT_EQ(headers, "");
  EXPECT_EQ(FetchPage(T(server.url("/half")), {.headersOut = &headers}), "");
  EXPECT_EQ(S(headers), "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n");
}

TEST_F(NetFetch, BodiesBeyondTheCapFail) {
  fetch_internal::Settings().maxBodyBytes = 1000;
  const std::string full(1000, 'f');
  const std::string over(1001, 'o');
  RawHttpServer server(Routes({
      {"/full", Ok(full)},
      {"/declared", Ok(over)},
      // No length given: the cap is found while the body streams in.
      {"/streamed", Reply{"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + over, true}},
  }));
  EXPECT_EQ(FetchPage(T(server.url("/full"))), T(full));
  EXPECT_EQ(FetchPage(T(server.url("/declared"))), "");
  Text headers;
  EXPECT_EQ(FetchPage(T(server.url("/streamed")), {.headersOut = &headers}), "");
  EXPECT_EQ(S(headers).substr(0, 17), "HTTP/1.1 200 OK\r\n");
}

}  // namespace
}  // namespace velmora
