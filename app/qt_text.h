// The one place where texts cross between the program's GBK `Text` values and
// the UTF-16 strings Qt shows. Both directions go through ICU's GBK converter.
#pragma once

#include <QString>

#include "text/text.h"

namespace velmora {

// Invalid GBK sequences show as U+FFFD.
QString ToQString(const Text& text);
// Characters GBK cannot hold become "?".
Text ToText(const QString& string);

}  // namespace velmora
