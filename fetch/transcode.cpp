#include "fetch/transcode.h"

#include <algorithm>

#include "text/charset.h"

namespace velmora {

namespace {

// The caller's name, or the default; an empty variable of the caller's gets the
// default written into it.
Text CharsetOrDefault(Text* name, const char* defaultName) {
  if (!name) return defaultName;
  if (name->empty()) *name = defaultName;
  return *name;
}

}  // namespace

Bytes TranscodeBytes(const Bytes& data, Text* fromCharset, Text* toCharset,
                     std::optional<int> skipBytes) {
  Text from = CharsetOrDefault(fromCharset, "UTF-8");
  Text to = CharsetOrDefault(toCharset, "GBK");
  std::optional<std::string> converted = ConvertCharset(data.view(), from.c_str(), to.c_str());
  if (!converted) return Bytes();
  // A negative count cannot place the start before the output; it skips nothing.
  std::size_t skip = static_cast<std::size_t>(std::max(skipBytes.value_or(0), 0));
  if (skip >= converted->size()) return Bytes();
  converted->erase(0, skip);
  return Bytes(std::move(*converted));
}

}  // namespace velmora
