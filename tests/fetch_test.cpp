// Address parts, cookie merge, transcoding and the response half of the page
// fetch, all without a network.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "fetch/cookies.h"
#include "fetch/fetch_page.h"
#include "fetch/transcode.h"
#include "fetch/url.h"

namespace velmora {
namespace {

Bytes B(const std::string& s) { return Bytes(std::string_view(s)); }
Text T(const std::string& s) { return Text(std::string_view(s)); }

const std::string kGaoUtf8 = "\xE9\xAB\x98";  // 高
const std::string kGaoGbk = "\xB8\xDF";

TEST(UrlParts, EdgeList) {
  struct Case {
    const char* url;
    const char* host;
    const char* hostWithPort;
    int port;
    const char* path;
  };
  const Case cases[] = {
      {"A.Example", "a.example", "a.example", 80, "/"},
      {"https://Sec.Example:81/A/b?x=1", "sec.example", "sec.example:81", 81, "/A/b?x=1"},
      {"HTTPS://X.Example/p", "x.example", "x.example", 443, "/p"},
      {"http://a.example", "a.example", "a.example", 80, "/"},
      // Everything up to the next "/" is host, a query included.
      {"http://a.example?x=1", "a.example?x=1", "a.example?x=1", 80, "/"},
      // No scheme: read as http, but the port test looks at "https" alone.
      {"httpsite.example/a", "httpsite.example", "httpsite.example", 443, "/a"},
      // An inner "http://" is taken as the scheme marker.
      {"a.example/?u=http://b.example/x", "b.example", "b.example", 80, "/x"},
      // The host ends at the first ":", the port is read after the last.
      {"http://a.example:8080:9/x", "a.example", "a.example:8080:9", 9, "/x"},
      {"http://a.example:/x", "a.example", "a.example:", 0, "/x"},
      {"", "", "", 80, "/"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    EXPECT_EQ(UrlHost(c.url), c.host);
    EXPECT_EQ(UrlHost(c.url, false, true), c.hostWithPort);
    EXPECT_EQ(UrlPort(c.url), c.port);
    EXPECT_EQ(UrlPath(c.url), c.path);
  }
}

TEST(UrlParts, DomainOnlyKeepsTheLastTwoLabels) {
  struct Case {
    const char* url;
    bool keepPort;
    const char* host;
  };
  const Case cases[] = {
      {"w.a.b.example", false, "b.example"},
      {"http://a.b.example:88/", true, "b.example:88"},
      {"http://a.b.example:88/", false, "b.example"},
      {"localhost", false, "localhost"},
      {"1.2.3.4", false, "3.4"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(UrlHost(c.url, true, c.keepPort), c.host) << c.url << " keepPort " << c.keepPort;
  }
}

TEST(CookieMerge, Table) {
  struct Case {
    const char* cookies;
    const char* newCookies;
    const char* merged;
    const char* newAfter;
  };
  const Case cases[] = {
      {"a=1; b=2", "b=3; c=4", "b=3; c=4; a=1", "b=3;c=4"},
      {"sid=abc", "sid=deleted", "", "sid=deleted"},
      {"a=deleted; b=1", "", "b=1", ""},
      {"x=1; x=2", "", "x=1", ""},
      {"", "a=1", "a=1", "a=1"},
      {"", "", "", ""},
      {"a = 1", "", "a=1", ""},
      {"a=1;", "", "a=1", ""},
      {"a=1;;b=2", "", "a=1; ; b=2", ""},
      {"a=1", "a=2; a=2; a=3", "a=2; a=3", "a=2;a=2;a=3"},
      {"SID=1", "sid=2", "sid=2; SID=1", "sid=2"},
      {"k=a=b", "k=c", "k=c", "k=c"},
      {"flag; a=1", "flag", "flag; a=1", "flag"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.cookies) + " | " + c.newCookies);
    Text cookies = c.cookies;
    Text newCookies = c.newCookies;
    Text result = MergeCookies(cookies, newCookies);
    EXPECT_EQ(result, c.merged);
    EXPECT_EQ(cookies, c.merged);
    EXPECT_EQ(newCookies, c.newAfter);
  }
}

TEST(CookieMerge, Helpers) {
  EXPECT_EQ(CookieName(" a b = 1 "), "a b");
  EXPECT_EQ(CookieName(" flag "), "flag");
  EXPECT_EQ(CookieName("=v"), "");
  EXPECT_TRUE(HasCookieName({"x=1", "y"}, "y"));
  EXPECT_FALSE(HasCookieName({"x=1", "y"}, "X"));
  EXPECT_EQ(RemoveDuplicateItems("a; b; a; a=1; b", "; "), "a; b; a=1");
  EXPECT_EQ(RemoveDuplicateItems("", "; "), "");
  EXPECT_EQ(FindItem({"a", "b", "b"}, "b"), 1);
  EXPECT_EQ(FindItem({"a", "b"}, "B"), -1);
}

TEST(Transcode, DefaultsConvertUtf8ToGbk) {
  EXPECT_EQ(TranscodeBytes(B("x" + kGaoUtf8 + "y")), B("x" + kGaoGbk + "y"));
  EXPECT_EQ(TranscodeBytes(B("plain ascii <>&")), B("plain ascii <>&"));
  EXPECT_EQ(TranscodeBytes(Bytes()), Bytes());

  Text from, to;
  EXPECT_EQ(TranscodeBytes(B(kGaoUtf8), &from, &to), B(kGaoGbk));
  EXPECT_EQ(from, "UTF-8");
  EXPECT_EQ(to, "GBK");
}

TEST(Transcode, NamedCharsetsAndSkip) {
  Text gbk = "GBK", utf8 = "UTF-8", utf16 = "UTF-16LE", bom16 = "UTF-16";
  EXPECT_EQ(TranscodeBytes(B(kGaoGbk), &gbk, &utf8), B(kGaoUtf8));
  EXPECT_EQ(gbk, "GBK");
  // ICU's "UTF-16" writes a byte-order mark, which a skip of 2 leaves out.
  EXPECT_EQ(TranscodeBytes(B("a"), &utf8, &bom16), B(std::string("\xFF\xFE"
                                                                 "a\0",
                                                                 4)));
  EXPECT_EQ(TranscodeBytes(B("a"), &utf8, &bom16, 2), B(std::string("a\0", 2)));
  EXPECT_EQ(TranscodeBytes(B("ab"), &utf8, &utf16, 0), B(std::string("a\0b\0", 4)));
  EXPECT_EQ(TranscodeBytes(B("abc"), nullptr, nullptr, 2), B("c"));
  EXPECT_EQ(TranscodeBytes(B("abc"), nullptr, nullptr, 3), Bytes());
  EXPECT_EQ(TranscodeBytes(B("abc"), nullptr, nullptr, 99), Bytes());
  EXPECT_EQ(TranscodeBytes(B("abc"), nullptr, nullptr, -1), B("abc"));
}

TEST(Transcode, BadInputBecomesQuestionMarksNotAnEmptyBody) {
  // An invalid UTF-8 byte, a truncated sequence at the end, and a character GBK
  // cannot hold: each becomes "?" and the rest survives.
  EXPECT_EQ(TranscodeBytes(B("a\xFF"
                             "b" +
                             kGaoUtf8)),
            B("a?b" + kGaoGbk));
  EXPECT_EQ(TranscodeBytes(B("a\xF0\x9F\x98\x80"
                             "b")),
            B("a?b"));
  EXPECT_EQ(TranscodeBytes(B("ab\xE9\xAB")), B("ab?"));
  Text unknown = "no-such-charset";
  EXPECT_EQ(TranscodeBytes(B("abc"), &unknown), Bytes());
  EXPECT_EQ(TranscodeBytes(B("abc"), nullptr, &unknown), Bytes());
}

// ProcessResponse: the header block and body of a response as FetchPage reads them.
struct Response {
  Text cookiesOut;
  Text location;
  Text result;
};

Response Process(const std::string& headers, const std::string& body = "", Text* cookies = nullptr,
                 Text location = Text()) {
  Response r;
  r.location = location;
  r.result = ProcessResponse(T(headers), B(body), cookies, r.cookiesOut, r.location);
  return r;
}

TEST(ResponseHeaders, SetCookieLines) {
  struct Case {
    const char* what;
    std::string headers;
    const char* cookiesOut;
  };
  const Case cases[] = {
      {"two with attributes",
       "HTTP/1.1 200 OK\r\nSet-Cookie: a=1; path=/\r\nSet-Cookie: b=2; HttpOnly\r\n", "a=1; b=2"},
      {"one without attributes keeps its cookie",
       "HTTP/1.1 200 OK\r\nSet-Cookie: a=1; path=/\r\nSet-Cookie: b=2\r\n", "a=1; b=2"},
      {"alone, without attributes", "HTTP/1.1 200 OK\r\nSet-Cookie:  b=2 \r\n", "b=2"},
      {"the line test heeds case", "HTTP/1.1 200 OK\r\nset-cookie: a=1; path=/\r\n", ""},
      {"Set-Cookie without a colon gives an empty item",
       "HTTP/1.1 200 OK\r\nSet-Cookie2: a=1; x\r\nSet-Cookie: b=2\r\n", "; b=2"},
      {"none", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(Process(c.headers).cookiesOut, c.cookiesOut) << c.what;
}

TEST(ResponseHeaders, LocationOrTheWholeBlock) {
  const std::string redirect = "HTTP/1.1 302 Found\r\nLocation:  /next \r\nX: y\r\n";
  EXPECT_EQ(Process(redirect).location, "/next");
  // "Location:" anywhere in the line counts, and the last such line wins.
  EXPECT_EQ(Process("HTTP/1.1 200 OK\r\nContent-Location: /c\r\n").location, "/c");
  EXPECT_EQ(Process("HTTP/1.1 200 OK\r\nLocation: /a\r\nContent-Location: /c\r\n").location, "/c");
  // Lower case does not count; without a Location line the block itself is kept,
  // unless the caller's variable already held something.
  const std::string plain = "HTTP/1.1 200 OK\r\nlocation: /x\r\n";
  EXPECT_EQ(Process(plain).location, T(plain));
  EXPECT_EQ(Process(plain, "", nullptr, "kept").location, "kept");
  // No response at all: nothing to copy.
  EXPECT_EQ(Process("").location, "");
  EXPECT_EQ(Process("", "", nullptr, "kept").location, "kept");
}

TEST(ResponseHeaders, MergesIntoTheCallersCookies) {
  Text cookies = "a=0; z=9";
  Response r =
      Process("HTTP/1.1 200 OK\r\nSet-Cookie: a=1; path=/\r\nSet-Cookie: b=2\r\n", "", &cookies);
  EXPECT_EQ(cookies, "a=1; b=2; z=9");
  EXPECT_EQ(r.cookiesOut, "a=1;b=2");

  Text empty;
  Process("HTTP/1.1 200 OK\r\nSet-Cookie: s=1; path=/\r\n", "", &empty);
  EXPECT_EQ(empty, "s=1");
}

TEST(ResponseBody, Utf8DecisionAndConversion) {
  const std::string gbkHeaders = "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=gbk\r\n";
  const std::string plainHeaders = "HTTP/1.1 200 OK\r\n";
  struct Case {
    const char* what;
    std::string headers;
    std::string body;
    bool converted;
  };
  const Case cases[] = {
      {"utf-8 in the body", plainHeaders, "<meta charset=utf-8>" + kGaoUtf8, true},
      {"UTF-8 in the headers", "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=UTF-8\r\n",
       kGaoUtf8, true},
      {"capitals in the body only", plainHeaders, "<meta charset=UTF-8>" + kGaoUtf8, false},
      {"a GBK page", gbkHeaders, "<meta charset=gbk>" + kGaoGbk, false},
      {"utf-8 starting at 499", plainHeaders, std::string(498, 'x') + "utf-8" + kGaoUtf8, true},
      {"utf-8 starting at 500", plainHeaders, std::string(499, 'x') + "utf-8" + kGaoUtf8, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string want = c.body;
    if (c.converted) want.replace(want.size() - kGaoUtf8.size(), kGaoUtf8.size(), kGaoGbk);
    EXPECT_EQ(Process(c.headers, c.body).result, T(want));
  }
}

TEST(ResponseBody, EndsAtTheFirstZeroByte) {
  EXPECT_EQ(Process("HTTP/1.1 200 OK\r\n", std::string("ab\0cd", 5)).result, "ab");
  EXPECT_EQ(Process("HTTP/1.1 200 OK\r\nX: utf-8\r\n", std::string("a\0", 2) + kGaoUtf8).result,
            "a");
}

}  // namespace
}  // namespace velmora
