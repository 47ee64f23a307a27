#include "app/qt_text.h"

#include <string_view>

#include "text/charset.h"

namespace velmora {

QString ToQString(const Text& text) {
  const std::u16string utf16 = GbkToUtf16(text.view());
  return QString::fromUtf16(utf16.data(), static_cast<qsizetype>(utf16.size()));
}

Text ToText(const QString& string) {
  const QStringView view(string);
  return Utf16ToGbk(std::u16string_view(view.utf16(), static_cast<std::size_t>(view.size())));
}

}  // namespace velmora
