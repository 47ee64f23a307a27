// Character-set conversion through ICU's converters. "GBK" is ICU's GBK
// converter, which is Windows code page 936. Converters are kept per thread and
// never shared between threads. Invalid input and characters the target cannot
// hold become "?" (U+FFFD on the way to UTF-16); nothing is ever dropped whole.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/text.h"

namespace velmora {

// GBK bytes to UTF-16. When `offsets` is given it receives, for every UTF-16
// unit, the byte offset in `gbk` of the character it came from.
std::u16string GbkToUtf16(std::string_view gbk, std::vector<std::int32_t>* offsets = nullptr);
Text Utf16ToGbk(std::u16string_view utf16);

// Source code holds its Chinese texts in UTF-8; this gives them in GBK.
Text Utf8ToGbk(std::string_view utf8);
std::string GbkToUtf8(std::string_view gbk);

// `data` decoded whole in `fromCharset` and encoded whole in `toCharset`, as the
// converter names its character sets; nullopt when either name is unknown.
std::optional<std::string> ConvertCharset(std::string_view data, const char* fromCharset,
                                          const char* toCharset);

}  // namespace velmora
