#include "text/charset.h"

#include <unicode/ucnv.h>

#include <map>
#include <memory>

namespace velmora {

namespace {

struct ConverterCloser {
  void operator()(UConverter* c) const { ucnv_close(c); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

// Which side of a conversion a converter serves: the same name may stand on both.
enum class Side { kSource, kTarget };

// This thread's converter for a character-set name, reset and ready; null when
// ICU does not know the name.
UConverter* ThreadConverter(const char* name, Side side) {
  thread_local std::map<std::string, ConverterPtr, std::less<>> converters[2];
  auto& cache = converters[side == Side::kSource ? 0 : 1];
  auto it = cache.find(std::string_view(name));
  if (it == cache.end()) {
    UErrorCode status = U_ZERO_ERROR;
    ConverterPtr converter(ucnv_open(name, &status));
    if (U_FAILURE(status)) return nullptr;
    ucnv_setSubstChars(converter.get(), "?", 1, &status);
    it = cache.emplace(name, std::move(converter)).first;
  }
  ucnv_reset(it->second.get());
  return it->second.get();
}

UConverter* Gbk(Side side) { return ThreadConverter("GBK", side); }

}  // namespace

std::u16string GbkToUtf16(std::string_view gbk, std::vector<std::int32_t>* offsets) {
  std::u16string out;
  UConverter* converter = Gbk(Side::kSource);
  if (!converter || gbk.empty()) {
    if (offsets) offsets->clear();
    return out;
  }
  // A GBK byte gives at most one UTF-16 unit, so this size is always enough.
  out.resize(gbk.size());
  if (offsets) offsets->resize(gbk.size());
  UChar* target = out.data();
  const char* source = gbk.data();
  UErrorCode status = U_ZERO_ERROR;
  ucnv_toUnicode(converter, &target, out.data() + out.size(), &source, gbk.data() + gbk.size(),
                 offsets ? offsets->data() : nullptr, true, &status);
  std::size_t produced = static_cast<std::size_t>(target - out.data());
  out.resize(U_FAILURE(status) ? 0 : produced);
  if (offsets) offsets->resize(out.size());
  return out;
}

Text Utf16ToGbk(std::u16string_view utf16) {
  UConverter* converter = Gbk(Side::kTarget);
  if (!converter || utf16.empty()) return Text();
  std::string out(static_cast<std::size_t>(UCNV_GET_MAX_BYTES_FOR_STRING(
                      static_cast<int32_t>(utf16.size()), ucnv_getMaxCharSize(converter))),
                  '\0');
  UErrorCode status = U_ZERO_ERROR;
  int32_t length = ucnv_fromUChars(converter, out.data(), static_cast<int32_t>(out.size()),
                                   utf16.data(), static_cast<int32_t>(utf16.size()), &status);
  if (U_FAILURE(status)) return Text();
  out.resize(static_cast<std::size_t>(length));
  return Text(std::move(out));
}

std::optional<std::string> ConvertCharset(std::string_view data, const char* fromCharset,
                                          const char* toCharset) {
  UConverter* from = ThreadConverter(fromCharset, Side::kSource);
  UConverter* to = from ? ThreadConverter(toCharset, Side::kTarget) : nullptr;
  if (!from || !to) return std::nullopt;
  std::string out;
  if (data.empty()) return out;
  // Straight from one converter to the other through a UTF-16 pivot buffer; the
  // output grows as needed. Both converters were reset, so every call continues.
  out.resize(data.size() * 2 + 16);
  char* target = out.data();
  const char* source = data.data();
  UErrorCode status = U_ZERO_ERROR;
  UChar pivot[4096];
  UChar* pivotSource = pivot;
  UChar* pivotTarget = pivot;
  for (;;) {
    status = U_ZERO_ERROR;
    ucnv_convertEx(to, from, &target, out.data() + out.size(), &source, data.data() + data.size(),
                   pivot, &pivotSource, &pivotTarget, pivot + std::size(pivot), false, true,
                   &status);
    if (status != U_BUFFER_OVERFLOW_ERROR) break;
    std::size_t written = static_cast<std::size_t>(target - out.data());
    out.resize(out.size() * 2);
    target = out.data() + written;
  }
  if (U_FAILURE(status)) return std::nullopt;
  out.resize(static_cast<std::size_t>(target - out.data()));
  return out;
}

Text Utf8ToGbk(std::string_view utf8) {
  return Text(ConvertCharset(utf8, "UTF-8", "GBK").value_or(std::string()));
}

std::string GbkToUtf8(std::string_view gbk) {
  return ConvertCharset(gbk, "GBK", "UTF-8").value_or(std::string());
}

}  // namespace velmora
