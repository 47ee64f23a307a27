// Re-encoding bytes from one character set into another.
#pragma once

#include <optional>

#include "text/text.h"

namespace velmora {

// `data` decoded whole in `fromCharset` and encoded whole in `toCharset`, names
// as ICU's converters know them. A null or empty name means "UTF-8" (source) or
// "GBK" (target); an empty variable the caller passed is set to that name. An
// invalid byte sequence, or a character the target cannot hold, becomes "?" and
// the rest is converted. When `skipBytes` is given, that many leading output
// bytes are left out (beyond the end: empty). An unknown name gives empty bytes.
Bytes TranscodeBytes(const Bytes& data, Text* fromCharset = nullptr, Text* toCharset = nullptr,
                     std::optional<int> skipBytes = std::nullopt);

}  // namespace velmora
