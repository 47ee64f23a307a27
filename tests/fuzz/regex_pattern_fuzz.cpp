// Arbitrary patterns and options over a short subject: no crash, a rejected
// pattern leaves no matches and nothing to replace, and every match text is a piece of the subject.
#include <fuzzer/FuzzedDataProvider.h>

#include "regex/regex_object.h"
#include "tests/fuzz/fuzz_check.h"

using velmora::Text;
using velmora::fuzz::Check;
using velmora::fuzz::IsPart;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  bool caseSensitive = input.ConsumeBool();
  bool multiline = input.ConsumeBool();
  bool global = input.ConsumeBool();
  bool expandQuote = input.ConsumeBool();
  Text subject(input.ConsumeRandomLengthString(64));
  Text replacement(input.ConsumeRandomLengthString(16));
  Text pattern(input.ConsumeRemainingBytesAsString());

  velmora::RegexObject regex;
  bool accepted = regex.Create(pattern, subject, caseSensitive, multiline, global, expandQuote);
  int matches = regex.MatchCount();
  if (!accepted) Check(matches == 0);
  if (!global) Check(matches <= 1);
  int groups = regex.SubmatchCount();
  for (int j = 1; j <= matches; ++j) {
    Text match = regex.MatchText(j);
    Check(IsPart(match, subject));
    for (int g = 1; g <= groups + 1; ++g) Check(IsPart(regex.SubmatchText(j, g), subject));
  }
  Text replaced = regex.Replace(replacement);
  Check(!velmora::fuzz::HasZeroByte(replaced.view()));
  if (!accepted) Check(replaced.empty());
  if (accepted && matches == 0) Check(replaced == subject);
  return 0;
}
