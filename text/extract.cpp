#include "text/extract.h"

namespace velmora {

const Text kQuoteMarker("#\xD2\xFD\xBA\xC5");

Text TextBetween(const Text& text, const Text& startMarker, const Text& endMarker,
                 int startPosition, bool caseSensitive) {
  Text start = ReplaceText(startMarker, kQuoteMarker, "\"");
  Text end = ReplaceText(endMarker, kQuoteMarker, "\"");
  bool ignoreCase = !caseSensitive;
  int s = FindText(text, start, startPosition, ignoreCase);
  if (s == -1) return Text();
  s += TextLength(start);
  int e = FindText(text, end, s, ignoreCase);
  if (e == -1) return Text();
  return TextMid(text, s, e - s);
}

Text ValueAfterColon(const Text& text) {
  int c = FindText(text, ":");
  if (c == -1) return Text();
  return TrimSpaces(TextRight(text, TextLength(text) - c));
}

}  // namespace velmora
