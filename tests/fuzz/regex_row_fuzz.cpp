// The row pattern over an arbitrary page: no crash, no hang past the match
// limits, and every match and group text is a piece of the page (a group of its
// match). Positions are asked for too, to run that search; they follow the
// engine's own quirk (a UTF-16 offset used as a byte start), so only their range
// is checked.
#include <cstdint>

#include "collect/listing.h"
#include "regex/regex_object.h"
#include "tests/fuzz/fuzz_check.h"

using velmora::Text;
using velmora::fuzz::Check;

namespace {

void CheckAt(const Text& subject, const Text& piece, int position) {
  Check(velmora::fuzz::IsPart(piece, subject));
  Check(position >= -2 && position < subject.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Text page(std::string_view(reinterpret_cast<const char*>(data), size));
  velmora::RegexObject rows;
  Check(rows.Create(velmora::RowPattern(), page));
  int matches = rows.MatchCount();
  Check(matches >= 0);
  for (int j = 1; j <= matches; ++j) {
    int position = -1;
    Text match = rows.MatchText(j, &position);
    CheckAt(page, match, position);
    for (int g = 1; g <= 9; ++g) {
      Text group = rows.SubmatchText(j, g, &position);
      CheckAt(page, group, position);
      Check(velmora::fuzz::IsPart(group, match));
    }
  }
  Check(rows.MatchText(matches + 1).empty());
  return 0;
}
