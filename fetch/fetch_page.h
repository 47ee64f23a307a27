// One-shot retrieval of a web page over HTTP or HTTPS.
#pragma once

#include <optional>

#include "text/text.h"

namespace velmora {

// The user agent sent when the extra headers name none.
extern const Text kDefaultAgent;

// Prepares the HTTP client for the whole process. The program's main() calls it
// once before any thread starts; FetchPage calls it too, so forgetting it is safe
// as long as the first fetch runs before a second thread does anything with curl.
void InitializeFetch();

// FetchPage's optional arguments, in the routine's own order. A pointer is the
// caller's variable (in/out or out); null means omitted, which reads as empty and
// throws away what would be written. `cookies` and `proxy` count by whether they
// are given at all.
struct FetchOptions {
  int method = 0;                // 1: POST with a body; anything else: GET without one
  Text postText{};               // the body when *postBytes is empty
  Text* cookies = nullptr;       // given: sent as a Cookie line, no automatic cookies,
                                 // and the response's cookies merged into it
  Text* cookiesOut = nullptr;    // the response's cookies, "a=1; b=2"
  Text* extraHeaders = nullptr;  // request header lines joined by CR LF; completed in place
  Text* locationOut = nullptr;   // the redirect target, else the raw response headers
  bool noRedirect = false;
  Bytes* postBytes = nullptr;   // the body; filled from postText when empty and a body is sent
  std::optional<Text> proxy{};  // "host:port" of an HTTP proxy; empty: none
  Text* headersOut = nullptr;   // the raw header block of the last response
};

// Requests `url` (with "http://", "https://" or no scheme) and returns the body
// of the last response as GBK text, a UTF-8 page converted, cut at its first zero
// byte. Blocks until done; empty when nothing arrived, the transfer failed, or the
// body exceeds 64 MiB. Redirects (at most 30, http and https only) are followed
// unless `noRedirect`. Safe on any number of threads; calls without `cookies`
// share one process-wide cookie store.
Text FetchPage(const Text& url, const FetchOptions& options = {});

// The response half of FetchPage, without a network: reads the raw header block
// `headers` ("status line\r\nName: value\r\n..."), collects Set-Cookie pairs into
// `cookiesOut`, sets `locationOut` from the last line holding "Location:" (or to
// the whole block if it is still empty), merges into `*cookies` when given, and
// returns `body` as text, converted from UTF-8 when "utf-8" starts at one of its
// first 499 bytes or appears in the headers in any case.
Text ProcessResponse(const Text& headers, Bytes body, Text* cookies, Text& cookiesOut,
                     Text& locationOut);

}  // namespace velmora
