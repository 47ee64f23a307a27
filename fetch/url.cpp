#include "fetch/url.h"

#include "text/extract.h"

namespace velmora {

Text UrlHost(const Text& url, bool domainOnly, bool keepPort) {
  Text working = ToLowerCase(url);
  if (TextRight(working, 1) != "/") working += "/";
  Text scheme = "http://";
  if (TextLeft(working, 8) == "https://") {
    scheme = "https://";
  } else if (FindText(working, "http://") == -1) {
    working = scheme + working;
  }
  Text host = TextBetween(working, scheme, "/");
  if (domainOnly) {
    TextArray labels = SplitText(host, ".");
    int n = ElementCount(labels);
    if (n >= 2) host = JoinText(labels[n - 2], ".", labels[n - 1]);
  }
  if (!keepPort) {
    int colon = FindText(host, ":");
    if (colon != -1) host = TextLeft(host, colon - 1);
  }
  return host;
}

int UrlPort(const Text& url) {
  Text host = UrlHost(url, false, true);
  int colon = FindTextBackward(host, ":");
  if (colon == -1) return TextLeft(ToLowerCase(url), 5) == "https" ? 443 : 80;
  return ToInteger(TextRight(host, TextLength(host) - colon));
}

Text UrlPath(const Text& url) {
  int hostPosition = FindText(url, UrlHost(url), 1, true);
  int slash = FindText(url, "/", hostPosition);
  if (slash <= 0) return "/";
  return TextRight(url, TextLength(url) - slash + 1);
}

}  // namespace velmora
