// One regular expression run over one subject, with its matches and groups
// handed out by 1-based index. Texts go in and come out in GBK; matching works
// on characters. Every failure gives an empty result: 0, false or the empty text.
#pragma once

#include <memory>

#include "text/text.h"

namespace velmora {

class RegexObject {
 public:
  RegexObject();
  virtual ~RegexObject();
  RegexObject(const RegexObject&) = delete;
  RegexObject& operator=(const RegexObject&) = delete;

  // Compiles `pattern` and runs it over `subject`, replacing everything the last
  // call left. Without `caseSensitive` letters match either case; `global` finds
  // every match, left to right; `multiline` lets ^ and $ match at line breaks;
  // the dot never matches a line feed. `expandQuoteMarker` turns "#引号" in the
  // pattern into a double quote. False when the pattern is rejected; true
  // otherwise, also when nothing matched.
  virtual bool Create(const Text& pattern, const Text& subject, bool caseSensitive = false,
                      bool multiline = true, bool global = true, bool expandQuoteMarker = false);
  virtual void NoOp();
  virtual Text GetPattern() const;
  // The kept subject with the matches of the last Create replaced; the replacement
  // may name "$1".."$99", "$&" (the match) and "$$" (a dollar sign).
  virtual Text Replace(const Text& replacement = Text());
  virtual int MatchCount() const;
  // Match `index` (from 1); empty when out of range. `position`, when given,
  // receives a 0-based byte offset of the text in the subject.
  virtual Text MatchText(int index, int* position = nullptr) const;
  // Group `submatchIndex` (from 1) of match `matchIndex` (from 1); empty for a
  // group that took no part and for indices out of range.
  virtual Text SubmatchText(int matchIndex, int submatchIndex, int* position = nullptr) const;
  // The number of groups of the first match; 0 when there is no match.
  virtual int SubmatchCount() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace velmora
