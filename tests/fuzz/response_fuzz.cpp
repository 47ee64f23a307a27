// The response half of the page fetch on an arbitrary header block and body:
// no crash, no zero byte in any text it gives, the cookie list and location as
// the header block says, and a body left as it is unless "utf-8" is seen.
#include <fuzzer/FuzzedDataProvider.h>

#include "fetch/fetch_page.h"
#include "tests/fuzz/fuzz_check.h"

using velmora::Bytes;
using velmora::Text;
using velmora::fuzz::Check;
using velmora::fuzz::HasZeroByte;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  bool withCookies = input.ConsumeBool();
  Text callerCookies(input.ConsumeRandomLengthString(128));
  Text location(input.ConsumeRandomLengthString(16));
  Text headers(input.ConsumeRandomLengthString(4096));
  Bytes body(input.ConsumeRemainingBytesAsString());

  const bool locationWasEmpty = location.empty();
  Text cookiesOut("left over");
  Text result = velmora::ProcessResponse(headers, body, withCookies ? &callerCookies : nullptr,
                                         cookiesOut, location);
  for (const Text* text : {&result, &cookiesOut, &location, &callerCookies}) {
    Check(!HasZeroByte(text->view()));
  }
  if (headers.view().find("Set-Cookie") == std::string_view::npos) {
    Check(cookiesOut.empty());
  }
  if (withCookies) Check(!velmora::fuzz::HasSpace(cookiesOut));
  if (headers.view().find("Location:") == std::string_view::npos && locationWasEmpty) {
    Check(location == headers);
  }
  bool utf8 = velmora::FindBytes(body, velmora::TextToBytes("utf-8")) != -1 ||
              velmora::FindText(headers, "utf-8", 0, true) != -1;
  if (!utf8) Check(result == velmora::BytesToText(body));
  return 0;
}
