#include "regex/regex_object.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "regex/subject_units.h"
#include "text/charset.h"

namespace velmora {

namespace {

// Bounds on one search, so that a pattern that backtracks without end cannot hang
// the caller; a search that reaches one ends the match list. The engine counts
// the match limit afresh at every start position. The row pattern needs about
// 300 steps for a row, plus one for every character its lazy groups pass over,
// and a depth of 20: these limits take lines of up to a million characters, and
// a runaway start position gives up after about 4 ms (JIT) or 20 ms (interpreter).
constexpr std::uint32_t kMatchLimit = 1'000'000;  // backtracking steps of one search
constexpr std::uint32_t kDepthLimit = 100'000;    // nested backtracking points (interpreter)
constexpr PCRE2_SIZE kHeapLimitKiB = 64 * 1024;   // backtracking frames (interpreter)
constexpr PCRE2_SIZE kJitStackStart = 32 * 1024;
constexpr PCRE2_SIZE kJitStackMax = 8 * 1024 * 1024;

struct Pcre2Free {
  void operator()(pcre2_code* p) const { pcre2_code_free(p); }
  void operator()(pcre2_compile_context* p) const { pcre2_compile_context_free(p); }
  void operator()(pcre2_match_context* p) const { pcre2_match_context_free(p); }
  void operator()(pcre2_match_data* p) const { pcre2_match_data_free(p); }
  void operator()(pcre2_jit_stack* p) const { pcre2_jit_stack_free(p); }
};
template <typename T>
using Pcre2Ptr = std::unique_ptr<T, Pcre2Free>;

const Text& QuoteMarker() {
  static const Text marker = Utf8ToGbk("#引号");
  return marker;
}

PCRE2_SPTR Units(std::u16string_view s) { return reinterpret_cast<PCRE2_SPTR>(s.data()); }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

struct RegexObject::State {
  // The compiled pattern and its match data, kept while Create brings the same
  // pattern and options again.
  Pcre2Ptr<pcre2_code> code;
  Pcre2Ptr<pcre2_match_data> matchData;
  Text codePattern;
  std::uint32_t codeOptions = 0;
  int codeGroups = 0;

  // Made once, on the first Create.
  Pcre2Ptr<pcre2_compile_context> compileContext;
  Pcre2Ptr<pcre2_jit_stack> jitStack;  // assigned to the match context
  Pcre2Ptr<pcre2_match_context> matchContext;

  // What the last Create left.
  bool created = false;  // a pattern was given
  bool matched = false;  // the pattern compiled and ran: the match list below is valid
  bool ignoreCase = false;
  Text pattern;
  Text subject;
  int groups = 0;
  // For every match, (groups + 1) pairs of byte offsets into `subject`, the whole
  // match first; -1 for a group that took no part.
  std::vector<std::int32_t> spans;
  // For every match, the offset of its start in UTF-16 units.
  std::vector<std::int32_t> firstIndex;
  // Scratch: the subject in UTF-16, and the byte offset in `subject` of each unit.
  std::u16string units;
  std::vector<std::int32_t> unitBytes;

  bool Prepare();
  bool Compile(const Text& source, std::uint32_t options);
  void Run(bool global, bool wellFormed);

  int Count() const { return static_cast<int>(firstIndex.size()); }
  bool HasMatch(int index) const { return matched && index >= 1 && index <= Count(); }
  bool HasGroup(int index, int group) const {
    return HasMatch(index) && group >= 1 && group <= groups;
  }
  std::size_t SpanAt(int match) const {  // where the spans of a 0-based match begin
    return static_cast<std::size_t>(match) * 2 * static_cast<std::size_t>(groups + 1);
  }
  std::string_view Span(int match, int group) const {  // 0-based match, group 0 the whole match
    std::size_t at = SpanAt(match) + static_cast<std::size_t>(group) * 2;
    if (spans[at] < 0) return {};
    return subject.view().substr(static_cast<std::size_t>(spans[at]),
                                 static_cast<std::size_t>(spans[at + 1] - spans[at]));
  }
  void AppendExpansion(std::string& out, std::string_view replacement, int match) const;
  void FillPosition(int match, const Text& found, int* position) const;
};

bool RegexObject::State::Prepare() {
  if (matchContext) return true;
  Pcre2Ptr<pcre2_compile_context> compile(pcre2_compile_context_create(nullptr));
  Pcre2Ptr<pcre2_match_context> match(pcre2_match_context_create(nullptr));
  Pcre2Ptr<pcre2_jit_stack> stack(pcre2_jit_stack_create(kJitStackStart, kJitStackMax, nullptr));
  if (!compile || !match) return false;
  // Only the line feed ends a line: the dot matches a carriage return.
  pcre2_set_newline(compile.get(), PCRE2_NEWLINE_LF);
  pcre2_set_match_limit(match.get(), kMatchLimit);
  pcre2_set_depth_limit(match.get(), kDepthLimit);
  pcre2_set_heap_limit(match.get(), kHeapLimitKiB);
  // Without its own stack the JIT has 32 KiB of machine stack; no stack at all
  // (creation failed) leaves it at that.
  if (stack) pcre2_jit_stack_assign(match.get(), nullptr, stack.get());
  compileContext = std::move(compile);
  matchContext = std::move(match);
  jitStack = std::move(stack);
  return true;
}

bool RegexObject::State::Compile(const Text& source, std::uint32_t options) {
  if (code && codeOptions == options && codePattern == source) return true;
  code.reset();
  matchData.reset();
  std::u16string sourceUnits = GbkToUtf16(source.view());
  if (sourceUnits.empty() && !source.empty()) return false;
  int error = 0;
  PCRE2_SIZE errorOffset = 0;
  Pcre2Ptr<pcre2_code> compiled(pcre2_compile(Units(sourceUnits), sourceUnits.size(), options,
                                              &error, &errorOffset, compileContext.get()));
  if (!compiled) return false;
  // Where the machine has no JIT this fails and the interpreter runs instead.
  pcre2_jit_compile(compiled.get(), PCRE2_JIT_COMPLETE);
  std::uint32_t captures = 0;
  pcre2_pattern_info(compiled.get(), PCRE2_INFO_CAPTURECOUNT, &captures);
  Pcre2Ptr<pcre2_match_data> data(pcre2_match_data_create_from_pattern(compiled.get(), nullptr));
  if (!data) return false;
  code = std::move(compiled);
  matchData = std::move(data);
  codePattern = source;
  codeOptions = options;
  codeGroups = static_cast<int>(captures);
  return true;
}

void RegexObject::State::Run(bool global, bool wellFormed) {
  const PCRE2_SIZE length = units.size();
  auto byteAt = [&](PCRE2_SIZE unit) {
    return unit < unitBytes.size() ? unitBytes[unit] : static_cast<std::int32_t>(subject.size());
  };
  PCRE2_SIZE offset = 0;
  // The subject's encoding is checked once: by its conversion when that found no
  // surrogate, else by the first search. Later searches skip the check.
  std::uint32_t flags = wellFormed ? PCRE2_NO_UTF_CHECK : 0;
  for (;;) {
    int rc = pcre2_match(code.get(), Units(units), length, offset, flags, matchData.get(),
                         matchContext.get());
    // No further match, or a search that ran into a limit: the list ends here and
    // keeps what was found before.
    if (rc < 0) break;
    flags = PCRE2_NO_UTF_CHECK;
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(matchData.get());
    const PCRE2_SIZE start = ovector[0];
    const PCRE2_SIZE end = ovector[1];
    if (end < start) break;  // only a \K inside a lookahead does this
    firstIndex.push_back(static_cast<std::int32_t>(start));
    for (int g = 0; g <= groups; ++g) {
      PCRE2_SIZE a = ovector[2 * g];
      PCRE2_SIZE b = ovector[2 * g + 1];
      if (g < rc && a != PCRE2_UNSET && b != PCRE2_UNSET && a <= b) {
        spans.push_back(byteAt(a));
        spans.push_back(byteAt(b));
      } else {
        spans.push_back(-1);
        spans.push_back(-1);
      }
    }
    if (!global) break;
    offset = end;
    if (end == start) {
      // An empty match: the next search starts one whole character further on
      // (a surrogate pair is one character), so nothing matches twice.
      if (offset >= length) break;
      bool pair = offset + 1 < length && (units[offset] & 0xFC00) == 0xD800 &&
                  (units[offset + 1] & 0xFC00) == 0xDC00;
      offset += pair ? 2 : 1;
    }
  }
}

void RegexObject::State::AppendExpansion(std::string& out, std::string_view replacement,
                                         int match) const {
  for (std::size_t i = 0; i < replacement.size();) {
    unsigned char c = static_cast<unsigned char>(replacement[i]);
    if (c >= 0x80 && i + 1 < replacement.size()) {  // a two-byte character, copied whole
      out.append(replacement.substr(i, 2));
      i += 2;
      continue;
    }
    if (c != '$' || i + 1 == replacement.size()) {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    char next = replacement[i + 1];
    if (next == '$') {
      out += '$';
      i += 2;
      continue;
    }
    if (next == '&') {
      out.append(Span(match, 0));
      i += 2;
      continue;
    }
    if (IsDigit(next)) {
      // Two digits when that group exists, else one digit and a literal digit.
      int one = next - '0';
      if (i + 2 < replacement.size() && IsDigit(replacement[i + 2])) {
        int two = one * 10 + (replacement[i + 2] - '0');
        if (two >= 1 && two <= groups) {
          out.append(Span(match, two));
          i += 3;
          continue;
        }
      }
      if (one >= 1 && one <= groups) {
        out.append(Span(match, one));
        i += 2;
        continue;
      }
    }
    out += '$';  // any other dollar sign stands for itself
    ++i;
  }
}

// The match's offset in UTF-16 units is used unchanged as the 1-based byte start
// of a search for the text in the kept subject; the position is the first
// occurrence from there, 0-based (-2 when none). Letters compare as the object
// compares them: without regard to case unless it was created case-sensitive.
void RegexObject::State::FillPosition(int match, const Text& found, int* position) const {
  if (!position) return;
  *position = FindText(subject, found, firstIndex[static_cast<std::size_t>(match)], ignoreCase) - 1;
}

RegexObject::RegexObject() : state_(std::make_unique<State>()) {}

RegexObject::~RegexObject() = default;

bool RegexObject::Create(const Text& pattern, const Text& subject, bool caseSensitive,
                         bool multiline, bool global, bool expandQuoteMarker) {
  State& s = *state_;
  s.matched = false;
  s.spans.clear();
  s.firstIndex.clear();
  s.groups = 0;
  s.created = true;
  s.ignoreCase = !caseSensitive;
  s.pattern = expandQuoteMarker ? ReplaceText(pattern, QuoteMarker(), "\"") : pattern;
  s.subject = subject;

  // No PCRE2_UCP: \d, \s and \w keep their ASCII meaning. "\uhhhh" and "\xhh"
  // name characters, as in the engine this object stands for. "$" without
  // multiline matches at the very end only, not before a final line feed.
  std::uint32_t options = PCRE2_UTF | PCRE2_ALT_BSUX;
  if (!caseSensitive) options |= PCRE2_CASELESS;
  options |= multiline ? PCRE2_MULTILINE : PCRE2_DOLLAR_ENDONLY;
  if (!s.Prepare() || !s.Compile(s.pattern, options)) {
    s.code.reset();
    s.matchData.reset();
    return false;
  }

  bool wellFormed = SubjectToUtf16(s.subject.view(), s.units, s.unitBytes);
  if (s.units.empty() && !s.subject.empty()) return false;
  s.groups = s.codeGroups;
  s.Run(global, wellFormed);
  s.matched = true;
  return true;
}

void RegexObject::NoOp() {}

Text RegexObject::GetPattern() const { return state_->created ? state_->pattern : Text(); }

Text RegexObject::Replace(const Text& replacement) {
  const State& s = *state_;
  if (!s.matched) return Text();
  std::string_view subject = s.subject.view();
  std::string out;
  out.reserve(subject.size());
  std::size_t copied = 0;
  for (int m = 0; m < s.Count(); ++m) {
    std::size_t at = s.SpanAt(m);
    auto start = std::max(static_cast<std::size_t>(s.spans[at]), copied);
    out.append(subject.substr(copied, start - copied));
    s.AppendExpansion(out, replacement.view(), m);
    copied = static_cast<std::size_t>(s.spans[at + 1]);
  }
  out.append(subject.substr(copied));
  return Text(std::move(out));
}

int RegexObject::MatchCount() const { return state_->matched ? state_->Count() : 0; }

Text RegexObject::MatchText(int index, int* position) const {
  const State& s = *state_;
  if (!s.HasMatch(index)) return Text();
  Text found(s.Span(index - 1, 0));
  s.FillPosition(index - 1, found, position);
  return found;
}

Text RegexObject::SubmatchText(int matchIndex, int submatchIndex, int* position) const {
  const State& s = *state_;
  if (!s.HasGroup(matchIndex, submatchIndex)) return Text();
  Text found(s.Span(matchIndex - 1, submatchIndex));
  s.FillPosition(matchIndex - 1, found, position);
  return found;
}

int RegexObject::SubmatchCount() const {
  const State& s = *state_;
  return s.matched && s.Count() > 0 ? s.groups : 0;
}

}  // namespace velmora
