#include "fetch/cookies.h"

namespace velmora {

namespace {

bool IsDeleted(const Text& entry) { return TextRight(entry, 8) == "=deleted"; }

}  // namespace

Text MergeCookies(Text& cookies, Text& newCookies) {
  cookies = RemoveSpaces(cookies);
  newCookies = RemoveSpaces(newCookies);
  TextArray oldEntries = SplitText(cookies, ";");
  TextArray merged = SplitText(newCookies, ";");
  // `merged` grows inside the loop, so of several old entries that share a name
  // only the first gets in.
  for (const Text& entry : oldEntries) {
    if (!HasCookieName(merged, CookieName(entry))) merged.push_back(entry);
  }
  cookies = Text();
  for (const Text& entry : merged) {
    if (!IsDeleted(entry)) cookies += entry + "; ";
  }
  cookies = TextLeft(cookies, TextLength(cookies) - 2);
  cookies = RemoveDuplicateItems(cookies, "; ");
  return cookies;
}

Text CookieName(const Text& entry) {
  int equals = FindText(entry, "=");
  if (equals == -1) return TrimSpaces(entry);
  return TrimSpaces(TextLeft(entry, equals - 1));
}

bool HasCookieName(const TextArray& list, const Text& name) {
  for (const Text& entry : list) {
    if (CompareText(CookieName(entry), name) == 0) return true;
  }
  return false;
}

Text RemoveDuplicateItems(const Text& text, const Text& separator) {
  TextArray seen;
  Text out;
  for (const Text& item : SplitText(text, separator)) {
    if (FindItem(seen, item) == -1) {
      seen.push_back(item);
      out += item + separator;
    }
  }
  return TextLeft(out, TextLength(out) - TextLength(separator));
}

int FindItem(const TextArray& list, const Text& text) {
  for (int i = 0; i < ElementCount(list); ++i) {
    if (CompareText(list[static_cast<std::size_t>(i)], text) == 0) return i;
  }
  return -1;
}

}  // namespace velmora
