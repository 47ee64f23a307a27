// Cutting a value out of a larger text.
#pragma once

#include "text/text.h"

namespace velmora {

// The five-byte marker "#引号" (GBK 23 D2 FD BA C5) that stands for a double
// quote inside the markers of TextBetween.
extern const Text kQuoteMarker;

// The bytes between the first `startMarker` at or after `startPosition` and the
// next `endMarker` after it; the empty text when either is missing. Quote
// markers in both markers become double quotes first. Without `caseSensitive`
// the searches ignore the case of ASCII letters.
Text TextBetween(const Text& text, const Text& startMarker, const Text& endMarker,
                 int startPosition = 0, bool caseSensitive = false);

// The value of a header line: what follows its first ":", spaces trimmed at both
// ends; the empty text when there is no colon.
Text ValueAfterColon(const Text& text);

}  // namespace velmora
