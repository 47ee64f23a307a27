// Transcoding arbitrary bytes, with the default names and with arbitrary ones:
// no crash; an empty name variable gets its default written back; skipping
// leading bytes takes exactly those bytes off the full output.
#include <fuzzer/FuzzedDataProvider.h>

#include "fetch/transcode.h"
#include "tests/fuzz/fuzz_check.h"

using velmora::Bytes;
using velmora::Text;
using velmora::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  bool named = input.ConsumeBool();
  int skip = input.ConsumeIntegralInRange<int>(-4, 64);
  Text from(named ? input.ConsumeRandomLengthString(24) : std::string());
  Text to(named ? input.ConsumeRandomLengthString(24) : std::string());
  Bytes bytes(input.ConsumeRemainingBytesAsString());

  Bytes full = velmora::TranscodeBytes(bytes);
  if (!bytes.empty()) Check(!full.empty());

  const bool fromEmpty = from.empty(), toEmpty = to.empty();
  Bytes converted = velmora::TranscodeBytes(bytes, &from, &to);
  if (fromEmpty) Check(from == Text("UTF-8"));
  if (toEmpty) Check(to == Text("GBK"));
  if (fromEmpty && toEmpty) Check(converted == full);

  Bytes skipped = velmora::TranscodeBytes(bytes, &from, &to, skip);
  std::size_t expectedSkip = skip < 0 ? 0 : static_cast<std::size_t>(skip);
  if (expectedSkip >= converted.view().size()) {
    Check(skipped.empty());
  } else {
    Check(skipped.view() == converted.view().substr(expectedSkip));
  }
  return 0;
}
