// Address parts of an arbitrary address: no crash, the host lower-cased and
// without "/" (nor ":" unless the port is kept), the path a "/"-led tail of the
// address.
#include <cstdint>

#include "fetch/url.h"
#include "tests/fuzz/fuzz_check.h"

using velmora::Text;
using velmora::fuzz::Check;
using velmora::fuzz::HoldsChar;
using velmora::fuzz::HoldsUpperCase;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Text url(std::string_view(reinterpret_cast<const char*>(data), size));
  for (bool domainOnly : {false, true}) {
    for (bool keepPort : {false, true}) {
      Text host = velmora::UrlHost(url, domainOnly, keepPort);
      Check(!HoldsUpperCase(host));
      Check(!HoldsChar(host, '/'));
      if (!keepPort) Check(!HoldsChar(host, ':'));
    }
  }
  (void)velmora::UrlPort(url);
  Text path = velmora::UrlPath(url);
  Check(!path.empty() && path[0] == '/');
  Check(path == Text("/") || url.view().ends_with(path.view()));
  return 0;
}
