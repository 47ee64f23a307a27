// The cookie merge on two arbitrary lists: every entry of the merged list is
// free of spaces and none ends in "=deleted"; the new list comes back with its
// spaces removed; the result is the merged list.
#include <fuzzer/FuzzedDataProvider.h>

#include "fetch/cookies.h"
#include "tests/fuzz/fuzz_check.h"

using velmora::Text;
using velmora::fuzz::Check;
using velmora::fuzz::HasSpace;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  Text cookies(input.ConsumeRandomLengthString(512));
  Text newCookies(input.ConsumeRemainingBytesAsString());
  const Text newBefore = newCookies;

  Text result = velmora::MergeCookies(cookies, newCookies);
  Check(result == cookies);
  Check(newCookies == velmora::RemoveSpaces(newBefore));
  Check(!HasSpace(newCookies));
  for (const Text& entry : velmora::SplitText(cookies, "; ")) {
    Check(!HasSpace(entry));
    Check(velmora::TextRight(entry, 8) != Text("=deleted"));
  }
  return 0;
}
