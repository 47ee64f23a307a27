#include "fetch/fetch_page.h"

#include <curl/curl.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "fetch/cookies.h"
#include "fetch/fetch_settings.h"
#include "fetch/transcode.h"
#include "fetch/url.h"
#include "text/extract.h"

namespace velmora {

const Text kDefaultAgent(
    "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1; TRQVB; .NET CLR 2.0.50727; "
    ".NET CLR 3.0.04506.648; .NET CLR 3.5.21022)");

namespace fetch_internal {

FetchSettings& Settings() {
  static FetchSettings settings;
  return settings;
}

}  // namespace fetch_internal

namespace {

using Clock = std::chrono::steady_clock;

struct EasyCleanup {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct ListFree {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct UrlCleanup {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct CurlFree {
  void operator()(char* text) const { curl_free(text); }
};
using EasyHandle = std::unique_ptr<CURL, EasyCleanup>;
using HeaderList = std::unique_ptr<curl_slist, ListFree>;

constexpr long kMaxRedirects = 30;

// ---------------------------------------------------------------------------
// Cookies of the automatic cookie handling.
//
// curl's share interface cannot share cookies between transfers that run at
// once, so the process-wide store is a plain map of curl's own cookie lines
// (Netscape format), copied into a handle before its transfer and merged back
// after it. The merge applies only what this transfer changed (cookies added,
// replaced or removed), so transfers that overlap never undo each other.

using CookieLines = std::map<std::string, std::string>;  // domain, path, name -> line

std::string CookieKey(std::string_view line) {
  constexpr std::string_view kHttpOnly = "#HttpOnly_";
  if (line.starts_with(kHttpOnly)) line.remove_prefix(kHttpOnly.size());
  // Fields: domain, subdomains, path, secure, expiry, name, value.
  std::string key;
  std::size_t field = 0;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= line.size() && field < 6; ++i) {
    if (i < line.size() && line[i] != '\t') continue;
    if (field == 0 || field == 2 || field == 5) {
      key.append(line.substr(start, i - start));
      key += '\t';
    }
    ++field;
    start = i + 1;
  }
  return key;
}

class SharedCookieJar {
 public:
  CookieLines Snapshot() {
    std::lock_guard lock(mutex_);
    return lines_;
  }

  void Apply(const CookieLines& before, const CookieLines& after) {
    std::lock_guard lock(mutex_);
    for (const auto& [key, line] : before) {
      if (!after.contains(key)) lines_.erase(key);
    }
    for (const auto& [key, line] : after) {
      auto old = before.find(key);
      if (old == before.end() || old->second != line) lines_[key] = line;
    }
  }

  void Clear() {
    std::lock_guard lock(mutex_);
    lines_.clear();
  }

 private:
  std::mutex mutex_;
  CookieLines lines_;
};

SharedCookieJar& CookieJar() {
  static SharedCookieJar jar;
  return jar;
}

CookieLines HandleCookies(CURL* handle) {
  CookieLines lines;
  curl_slist* raw = nullptr;
  if (curl_easy_getinfo(handle, CURLINFO_COOKIELIST, &raw) != CURLE_OK) return lines;
  HeaderList list(raw);
  for (curl_slist* item = list.get(); item; item = item->next) {
    lines[CookieKey(item->data)] = item->data;
  }
  return lines;
}

// ---------------------------------------------------------------------------
// The handle of this thread. Resetting it before each fetch drops every option
// of the last one but keeps its live connections, so a thread's fetches reuse a
// kept-alive connection.

CURL* ThreadHandle() {
  thread_local EasyHandle handle;
  if (!handle) handle.reset(curl_easy_init());
  return handle.get();
}

// Leaves the handle with no options and no cookies of the fetch it served.
class HandleLease {
 public:
  explicit HandleLease(CURL* handle) : handle_(handle) { Clear(); }
  ~HandleLease() { Clear(); }
  HandleLease(const HandleLease&) = delete;
  HandleLease& operator=(const HandleLease&) = delete;

 private:
  void Clear() {
    // A null cookie file stops the cookie engine and frees its cookies and its
    // list of files, which curl_easy_reset alone would leak.
    curl_easy_setopt(handle_, CURLOPT_COOKIEFILE, static_cast<char*>(nullptr));
    curl_easy_reset(handle_);
  }
  CURL* handle_;
};

// ---------------------------------------------------------------------------
// Request set-up.

// The agent: the value of a User-Agent line (found in any letter case), else
// the default. A single line with an empty value gives what follows its first
// colon; in a block of several lines a User-Agent line that ends the block has
// its value read to the end.
Text ChooseAgent(const Text& headers) {
  constexpr const char* kMarker = "User-Agent:";
  int at = FindText(headers, kMarker, 0, true);
  if (at == -1) return kDefaultAgent;
  Text agent = TrimSpaces(TextBetween(headers, kMarker, "\r\n"));
  if (!agent.empty()) return agent;
  if (FindText(headers, "\r\n") == -1) return ValueAfterColon(headers);
  int valueStart = at + TextLength(kMarker);
  if (FindText(headers, "\r\n", valueStart) == -1) {
    return TrimSpaces(TextRight(headers, TextLength(headers) - valueStart + 1));
  }
  return agent;
}

// Adds the default lines the block lacks. The searches heed letter case, so a
// lower-case "accept:" still gets "Accept: */*" next to it.
void CompleteHeaders(Text& headers, const Text& url, const Text& cookies) {
  if (FindText(headers, "Referer:") == -1) {
    headers += headers.empty() ? Text("Referer: ") + url : Text("\r\nReferer: ") + url;
  }
  if (FindText(headers, "Accept:") == -1) headers += "\r\nAccept: */*";
  if (FindText(headers, "Accept-Language:") == -1) headers += "\r\nAccept-Language: zh-cn";
  if (FindText(headers, "Content-Type:") == -1) {
    headers += "\r\nContent-Type: application/x-www-form-urlencoded";
  }
  if (!cookies.empty()) headers += Text("\r\nCookie: ") + cookies;
}

// The address handed to curl: scheme by the address's first five bytes, host,
// port and path as the address parts read them. Spaces and control bytes in the
// path are escaped, since a request line cannot carry them. Empty when curl
// rejects a part (an empty or malformed host, a port outside 1..65535).
std::string RequestUrl(const Text& url, bool secure) {
  std::unique_ptr<CURLU, UrlCleanup> parts(curl_url());
  if (!parts) return {};
  const Text rawPath = UrlPath(url);
  std::string path;
  for (unsigned char c : rawPath.view()) {
    if (c <= 0x20 || c == 0x7F) {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", c);
      path += escaped;
    } else {
      path += static_cast<char>(c);
    }
  }
  CURLU* u = parts.get();
  if (curl_url_set(u, CURLUPART_SCHEME, secure ? "https" : "http", 0) != CURLUE_OK ||
      curl_url_set(u, CURLUPART_HOST, UrlHost(url).c_str(), 0) != CURLUE_OK ||
      curl_url_set(u, CURLUPART_PORT, IntToText(UrlPort(url)).c_str(), 0) != CURLUE_OK ||
      curl_url_set(u, CURLUPART_PATH, path.c_str(), 0) != CURLUE_OK) {
    return {};
  }
  char* raw = nullptr;
  if (curl_url_get(u, CURLUPART_URL, &raw, 0) != CURLUE_OK) return {};
  std::unique_ptr<char, CurlFree> full(raw);
  return full.get();
}

// ---------------------------------------------------------------------------
// The transfer.

struct Transfer {
  std::string headers;  // raw block of the latest response, each line ended by CR LF
  std::string body;     // body of the latest response
  std::size_t maxBody = 0;
  std::chrono::milliseconds stallTimeout{};
  Clock::time_point lastActivity = Clock::now();
  curl_off_t uploaded = 0;
};

std::size_t OnHeaderLine(char* data, std::size_t size, std::size_t count, void* user) {
  auto& transfer = *static_cast<Transfer*>(user);
  std::size_t length = size * count;
  transfer.lastActivity = Clock::now();
  std::string_view line(data, length);
  // A new status line starts the next response (an interim 1xx, a redirect hop):
  // only the last response's headers and body are kept.
  if (line.starts_with("HTTP/")) {
    transfer.headers.clear();
    transfer.body.clear();
  }
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (!line.empty()) {
    transfer.headers.append(line);
    transfer.headers += "\r\n";
  }
  return length;
}

std::size_t OnBodyBytes(char* data, std::size_t size, std::size_t count, void* user) {
  auto& transfer = *static_cast<Transfer*>(user);
  std::size_t length = size * count;
  transfer.lastActivity = Clock::now();
  // Past the cap the transfer ends with an error: nothing beyond it is kept.
  if (length > transfer.maxBody - transfer.body.size()) return 0;
  transfer.body.append(data, length);
  return length;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t uploadedNow) {
  auto& transfer = *static_cast<Transfer*>(user);
  Clock::time_point now = Clock::now();
  if (uploadedNow != transfer.uploaded) {
    transfer.uploaded = uploadedNow;
    transfer.lastActivity = now;
  }
  return now - transfer.lastActivity > transfer.stallTimeout ? 1 : 0;
}

bool Append(HeaderList& list, const char* line) {
  curl_slist* old = list.release();
  curl_slist* grown = curl_slist_append(old, line);
  list.reset(grown ? grown : old);
  return grown != nullptr;
}

struct Request {
  const std::string& url;
  const Text& agent;
  const Text& headers;
  const Bytes* body;  // null: GET
  bool automaticCookies;
  bool noRedirect;
  const std::optional<Text>& proxy;
};

// Runs one exchange; `transfer` receives the last response. Any failure leaves
// the body empty; the headers are whatever arrived.
void Perform(CURL* handle, const Request& request, Transfer& transfer) {
  const fetch_internal::FetchSettings& settings = fetch_internal::Settings();
  HandleLease lease(handle);
  HeaderList headers;
  for (const Text& line : SplitText(request.headers, "\r\n")) {
    if (!Append(headers, line.c_str())) return;
  }
  // An empty value removes the header curl would add by itself.
  if (!Append(headers, "Expect:")) return;

  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle, CURLOPT_URL, request.url.c_str());
  curl_easy_setopt(handle, CURLOPT_PATH_AS_IS, 1L);
  curl_easy_setopt(handle, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, request.noRedirect ? 0L : 1L);
  curl_easy_setopt(handle, CURLOPT_MAXREDIRS, kMaxRedirects);
  curl_easy_setopt(handle, CURLOPT_USERAGENT, request.agent.c_str());
  curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
  // An empty proxy disables proxies, the environment's included; an empty
  // no-proxy list keeps the environment's from bypassing the one given.
  std::string proxy;
  if (request.proxy && !request.proxy->empty()) proxy = "http://" + request.proxy->str();
  curl_easy_setopt(handle, CURLOPT_PROXY, proxy.c_str());
  curl_easy_setopt(handle, CURLOPT_NOPROXY, "");
  // A tunnel's CONNECT reply is the proxy's, not part of the page's headers.
  curl_easy_setopt(handle, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
  curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!settings.caFile.empty()) curl_easy_setopt(handle, CURLOPT_CAINFO, settings.caFile.c_str());
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS,
                   static_cast<long>(settings.connectTimeout.count()));
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, settings.lowRateBytesPerSecond);
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, static_cast<long>(settings.lowRateWindow.count()));
  if (request.body) {
    curl_easy_setopt(handle, CURLOPT_POST, 1L);
    curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE,
                     static_cast<curl_off_t>(request.body->size()));
    curl_easy_setopt(handle, CURLOPT_POSTFIELDS, request.body->data());
  } else {
    curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);
  }

  transfer.maxBody = settings.maxBodyBytes;
  transfer.stallTimeout = settings.stallTimeout;
  transfer.lastActivity = Clock::now();
  curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(transfer.maxBody));
  curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, OnHeaderLine);
  curl_easy_setopt(handle, CURLOPT_HEADERDATA, &transfer);
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, OnBodyBytes);
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, OnProgress);
  curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &transfer);

  CookieLines before;
  if (request.automaticCookies) {
    curl_easy_setopt(handle, CURLOPT_COOKIEFILE, "");
    before = CookieJar().Snapshot();
    for (const auto& [key, line] : before)
      curl_easy_setopt(handle, CURLOPT_COOKIELIST, line.c_str());
  }

  CURLcode result = curl_easy_perform(handle);

  if (request.automaticCookies) CookieJar().Apply(before, HandleCookies(handle));
  if (result != CURLE_OK) transfer.body.clear();
}

}  // namespace

namespace fetch_internal {

void ClearSharedCookies() { CookieJar().Clear(); }

}  // namespace fetch_internal

void InitializeFetch() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

Text FetchPage(const Text& url, const FetchOptions& options) {
  InitializeFetch();
  CURL* handle = ThreadHandle();
  if (!handle) return Text();

  // Omitted in/out and out arguments act as private variables.
  Text ownCookiesOut, ownExtraHeaders, ownLocation, ownHeaders;
  Bytes ownPostBytes;
  Text& cookiesOut = options.cookiesOut ? *options.cookiesOut : ownCookiesOut;
  Text& extraHeaders = options.extraHeaders ? *options.extraHeaders : ownExtraHeaders;
  Text& locationOut = options.locationOut ? *options.locationOut : ownLocation;
  Text& headersOut = options.headersOut ? *options.headersOut : ownHeaders;
  Bytes& postBytes = options.postBytes ? *options.postBytes : ownPostBytes;

  Text agent = ChooseAgent(extraHeaders);
  bool secure = TextLeft(ToLowerCase(url), 5) == "https";
  std::string requestUrl = RequestUrl(url, secure);
  CompleteHeaders(extraHeaders, url, options.cookies ? *options.cookies : Text());
  // Only method 1 sends a body; any other value is a plain GET.
  bool post = options.method == 1;
  if (post && postBytes.empty()) postBytes = TextToBytes(options.postText);

  Transfer transfer;
  if (!requestUrl.empty()) {
    Request request{requestUrl,       agent,
                    extraHeaders,     post ? &postBytes : nullptr,
                    !options.cookies, options.noRedirect,
                    options.proxy};
    Perform(handle, request, transfer);
  }
  headersOut = Text(std::move(transfer.headers));
  return ProcessResponse(headersOut, Bytes(std::move(transfer.body)), options.cookies, cookiesOut,
                         locationOut);
}

namespace {

// The name=value pair of a Set-Cookie line: after "Set-Cookie:" (any case) up to
// the next ";", or to the end of the line for a cookie without attributes.
Text SetCookiePair(const Text& line) {
  constexpr const char* kMarker = "Set-Cookie:";
  int at = FindText(line, kMarker, 0, true);
  if (at == -1) return Text();
  int start = at + TextLength(kMarker);
  int end = FindText(line, ";", start, true);
  return TextMid(line, start, end == -1 ? TextLength(line) : end - start);
}

}  // namespace

Text ProcessResponse(const Text& headers, Bytes body, Text* cookies, Text& cookiesOut,
                     Text& locationOut) {
  cookiesOut = Text();
  for (const Text& line : SplitText(headers, "\r\n")) {
    // Both tests heed letter case and look anywhere in the line, so
    // "Content-Location:" counts and "set-cookie:" does not.
    if (FindText(line, "Location:") != -1) locationOut = ValueAfterColon(line);
    if (FindText(line, "Set-Cookie") != -1) cookiesOut += TrimSpaces(SetCookiePair(line)) + "; ";
  }
  cookiesOut = TextLeft(cookiesOut, TextLength(cookiesOut) - 2);
  if (cookies) MergeCookies(*cookies, cookiesOut);
  if (locationOut.empty()) locationOut = headers;

  int utf8InBody = FindBytes(body, TextToBytes("utf-8"));
  if ((utf8InBody >= 1 && utf8InBody <= 499) || FindText(headers, "utf-8", 0, true) != -1) {
    body = TranscodeBytes(body);
  }
  return BytesToText(body);
}

}  // namespace velmora
