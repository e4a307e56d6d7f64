#include "extract/regex_object.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include "extract/pattern_translation.h"
#include "text/codepage.h"

namespace {

// Limits that end a run which backtracks without end; such a run fails like a bad pattern.
constexpr uint32_t kMatchLimit = 10'000'000;
constexpr uint32_t kDepthLimit = 1'000'000;
constexpr uint32_t kHeapLimitKiB = 256 * 1024;
constexpr size_t kJitStackStart = 32 * 1024;
constexpr size_t kJitStackMax = 8 * 1024 * 1024;

size_t Utf8CharLength(unsigned char lead) {
  if (lead < 0xC0) return 1;
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  return 4;
}

// "#引号" in GBK: the marker a pattern may use for a double quote.
constexpr std::string_view kQuoteMarker = "#\xd2\xfd\xba\xc5";

}  // namespace

struct RegexObject::Engine {
  Text pattern;
  bool global = true;
  pcre2_code* code = nullptr;  // null when the pattern did not compile
  bool jit = false;

  Engine() = default;
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;
  ~Engine() { pcre2_code_free(code); }
};

struct RegexObject::Run {
  std::string subjectUtf8;
  int groupCount = 0;
  int matchCount = 0;
  // Per match, start and end of the match and then of each group, as UTF-8 byte offsets into
  // `subjectUtf8`; PCRE2_UNSET for a group that took no part.
  std::vector<size_t> spans;

  size_t SpanIndex(int match, int group) const {
    return (static_cast<size_t>(match) * (groupCount + 1) + group) * 2;
  }
};

std::shared_ptr<const RegexObject::Run> RegexObject::Execute(const Engine& engine,
                                                             std::string subjectUtf8) {
  if (engine.code == nullptr) return nullptr;
  auto run = std::make_shared<Run>();
  run->subjectUtf8 = std::move(subjectUtf8);
  uint32_t captureCount = 0;
  pcre2_pattern_info(engine.code, PCRE2_INFO_CAPTURECOUNT, &captureCount);
  run->groupCount = static_cast<int>(captureCount);

  pcre2_match_data* data = pcre2_match_data_create_from_pattern(engine.code, nullptr);
  pcre2_match_context* context = pcre2_match_context_create(nullptr);
  pcre2_jit_stack* jitStack = nullptr;  // made only when the default one is too small
  bool ok = data != nullptr && context != nullptr;
  if (ok) {
    pcre2_set_match_limit(context, kMatchLimit);
    pcre2_set_depth_limit(context, kDepthLimit);
    pcre2_set_heap_limit(context, kHeapLimitKiB);
  }

  const auto* text = reinterpret_cast<PCRE2_SPTR>(run->subjectUtf8.data());
  const size_t length = run->subjectUtf8.size();
  size_t start = 0;
  uint32_t options = 0;  // the first call checks the subject's UTF-8, later ones need not
  while (ok && start <= length) {
    int rc = pcre2_match(engine.code, text, length, start, options, data, context);
    if (rc == PCRE2_ERROR_JIT_STACKLIMIT && jitStack == nullptr) {
      jitStack = pcre2_jit_stack_create(kJitStackStart, kJitStackMax, nullptr);
      if (jitStack != nullptr) {
        pcre2_jit_stack_assign(context, nullptr, jitStack);
        rc = pcre2_match(engine.code, text, length, start, options, data, context);
      }
    }
    if (rc == PCRE2_ERROR_JIT_STACKLIMIT) {
      // The interpreter keeps its backtracking on the heap and can go on where JIT ran out.
      rc = pcre2_match(engine.code, text, length, start, options | PCRE2_NO_JIT, data, context);
    }
    options = PCRE2_NO_UTF_CHECK;
    if (rc == PCRE2_ERROR_NOMATCH) break;
    if (rc <= 0) {
      ok = false;
      break;
    }
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data);
    for (uint32_t i = 0; i <= captureCount; ++i) {
      const bool set = i < static_cast<uint32_t>(rc);
      run->spans.push_back(set ? ovector[2 * i] : PCRE2_UNSET);
      run->spans.push_back(set ? ovector[2 * i + 1] : PCRE2_UNSET);
    }
    ++run->matchCount;
    const size_t matchStart = ovector[0];
    const size_t matchEnd = ovector[1];
    if (!engine.global) break;
    if (matchEnd > matchStart) {
      start = matchEnd;
    } else {
      if (matchEnd >= length) break;
      start = matchEnd + Utf8CharLength(static_cast<unsigned char>(run->subjectUtf8[matchEnd]));
    }
  }

  pcre2_jit_stack_free(jitStack);
  pcre2_match_context_free(context);
  pcre2_match_data_free(data);
  if (!ok) return nullptr;
  return run;
}

RegexObject::RegexObject() = default;
RegexObject::~RegexObject() = default;
RegexObject::RegexObject(const RegexObject& other) = default;
RegexObject& RegexObject::operator=(const RegexObject& other) = default;

bool RegexObject::Create(std::string_view pattern, std::string_view subjectText, bool caseSensitive,
                         bool multiline, bool global, bool expandQuoteMarker) {
  engine.reset();
  matches.reset();

  auto made = std::make_shared<Engine>();
  made->pattern = expandQuoteMarker ? ReplaceText(pattern, kQuoteMarker, "\"") : Text(pattern);
  made->global = global;
  const std::string translated = TranslatePattern(GbkToUtf8(made->pattern), multiline);
  uint32_t options = PCRE2_UTF | PCRE2_MATCH_UNSET_BACKREF | PCRE2_ALLOW_EMPTY_CLASS;
  if (!caseSensitive) options |= PCRE2_CASELESS;
  pcre2_compile_context* compileContext = pcre2_compile_context_create(nullptr);
  if (compileContext != nullptr) {
    // The dot then matches every character but LF, a carriage return included.
    pcre2_set_newline(compileContext, PCRE2_NEWLINE_LF);
    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    made->code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(translated.data()), translated.size(),
                               options, &errorCode, &errorOffset, compileContext);
    pcre2_compile_context_free(compileContext);
  }
  if (made->code != nullptr) made->jit = pcre2_jit_compile(made->code, PCRE2_JIT_COMPLETE) == 0;

  subject = Text(subjectText);
  matches = Execute(*made, GbkToUtf8(subject));
  engine = std::move(made);
  return matches != nullptr;
}

void RegexObject::Noop() {}

Text RegexObject::GetPattern() const {
  return engine ? engine->pattern : Text();
}

Text RegexObject::Replace(std::string_view replacement) const {
  if (!matches) return Text();
  // The pattern runs over the same subject with the same options as in Create, so the matches of
  // that run are the ones a fresh run would find.
  const std::string& source = matches->subjectUtf8;
  const std::string with = GbkToUtf8(replacement);
  const int groups = matches->groupCount;
  std::string out;
  out.reserve(source.size());
  size_t copied = 0;
  for (int match = 0; match < matches->matchCount; ++match) {
    const size_t* spans = &matches->spans[matches->SpanIndex(match, 0)];
    const size_t matchStart = spans[0];
    const size_t matchEnd = spans[1];
    out.append(source, copied, matchStart - copied);
    const auto appendGroup = [&](int group) {
      const size_t from = spans[2 * group];
      if (from != PCRE2_UNSET) out.append(source, from, spans[2 * group + 1] - from);
    };
    for (size_t i = 0; i < with.size(); ++i) {
      const char c = with[i];
      const char next = i + 1 < with.size() ? with[i + 1] : '\0';
      if (c != '$' || next == '\0') {
        out += c;
      } else if (next == '$') {
        out += '$';
        ++i;
      } else if (next == '&') {
        appendGroup(0);
        ++i;
      } else if (next == '`') {
        out.append(source, 0, matchStart);
        ++i;
      } else if (next == '\'') {
        out.append(source, matchEnd);
        ++i;
      } else if (next >= '0' && next <= '9') {
        const int one = next - '0';
        const char after = i + 2 < with.size() ? with[i + 2] : '\0';
        const int two = after >= '0' && after <= '9' ? one * 10 + (after - '0') : -1;
        if (two >= 1 && two <= groups) {
          appendGroup(two);
          i += 2;
        } else if (one >= 1 && one <= groups) {
          appendGroup(one);
          ++i;
        } else {
          out += c;
        }
      } else {
        out += c;
      }
    }
    copied = matchEnd;
  }
  out.append(source, copied);
  return Utf8ToAnsi(out);
}

int RegexObject::MatchCount() const {
  return matches ? matches->matchCount : 0;
}

Text RegexObject::Span(int match, int group, int* offset) const {
  const size_t index = matches->SpanIndex(match, group);
  const size_t from = matches->spans[index];
  if (offset != nullptr) {
    // Every character re-encodes to as many GBK bytes as it was decoded from, so the GBK length
    // of the UTF-8 text before the span is its byte offset in the subject.
    *offset = from == PCRE2_UNSET
                  ? -1
                  : static_cast<int>(
                        Utf8ToAnsi(std::string_view(matches->subjectUtf8).substr(0, from)).size());
  }
  if (from == PCRE2_UNSET) return Text();
  // Converted when asked for: most runs (the blank-line strip) never read their matches.
  return Utf8ToAnsi(
      std::string_view(matches->subjectUtf8).substr(from, matches->spans[index + 1] - from));
}

Text RegexObject::MatchText(int index, int* offset) const {
  if (offset != nullptr) *offset = -1;
  if (index < 1 || index > MatchCount()) return Text();
  return Span(index - 1, 0, offset);
}

Text RegexObject::SubmatchText(int matchIndex, int groupIndex, int* offset) const {
  if (offset != nullptr) *offset = -1;
  if (matchIndex < 1 || matchIndex > MatchCount()) return Text();
  if (groupIndex < 1 || groupIndex > matches->groupCount) return Text();
  return Span(matchIndex - 1, groupIndex, offset);
}

int RegexObject::SubmatchCount() const {
  if (MatchCount() == 0) return 0;
  return matches->groupCount;
}
