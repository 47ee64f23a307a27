// Text operations over arbitrary bytes: no crash, no undefined behaviour, and
// every position they give is within bounds and really holds what was sought.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

#include "text/extract.h"
#include "text/text.h"

namespace {

using velmora::Text;

void Check(bool condition) {
  if (!condition) std::abort();
}

unsigned char Fold(unsigned char b) { return (b >= 'A' && b <= 'Z') ? b + 32 : b; }

bool HoldsAt(const Text& text, const Text& needle, int position, bool ignoreCase) {
  if (position < 1 || position - 1 + needle.size() > text.size()) return false;
  for (int k = 0; k < needle.size(); ++k) {
    unsigned char a = text[position - 1 + k], b = needle[k];
    if (ignoreCase ? Fold(a) != Fold(b) : a != b) return false;
  }
  return true;
}

bool IsPart(const Text& part, const Text& whole) {
  return whole.view().find(part.view()) != std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  bool ignoreCase = input.ConsumeBool();
  int start = input.ConsumeIntegralInRange<int>(-2, 70);
  int count = input.ConsumeIntegralInRange<int>(-2, 5);
  Text needle(input.ConsumeRandomLengthString(8));
  Text other(input.ConsumeRandomLengthString(8));
  Text text(input.ConsumeRemainingBytesAsString());

  int found = velmora::FindText(text, needle, start, ignoreCase);
  Check(found == -1 || (needle.empty() ? found == 1 : HoldsAt(text, needle, found, ignoreCase)));
  if (found != -1 && !needle.empty()) Check(found >= start);

  int last = velmora::FindTextBackward(text, needle, start, ignoreCase);
  Check(last == -1 || (needle.empty() ? last == 1 : HoldsAt(text, needle, last, ignoreCase)));
  if (last != -1 && !needle.empty()) Check(last - 1 + needle.size() <= start - 1);

  Text replaced = velmora::ReplaceText(text, needle, other, start, count, !ignoreCase);
  if (needle.empty()) Check(replaced == text);

  for (const Text& item : velmora::SplitText(text, needle, count)) Check(IsPart(item, text));

  Text trimmed = velmora::TrimSpaces(text);
  Check(IsPart(trimmed, text));
  Check(velmora::RemoveSpaces(text).size() <= text.size());
  Check(velmora::ToLowerCase(text).size() == text.size());

  (void)velmora::ToNumber(text);
  (void)velmora::ToInteger(text);

  Check(IsPart(velmora::TextBetween(text, needle, other), text));
  Check(velmora::ValueAfterColon(text).size() < text.size() || text.empty());
  return 0;
}
