// RegexObject: one regular-expression engine together with the subject of its last run and the
// matches of that run.
//
// Promises:
// - Patterns use ECMAScript syntax (groups numbered from 1 by their opening parentheses, lazy
//   quantifiers, lookahead, back references, \uXXXX escapes). They work on characters: the
//   pattern, the subject and the replacement are decoded from GBK, and every text that comes back
//   is GBK again (a no-break space comes back as an ASCII space).
// - The dot matches any character but the line feed; \s matches space, tab, CR, LF, FF and VT;
//   \d and \w are ASCII. Ignoring case folds letters. With `multiline`, ^ matches at the start and
//   just after LF or CR, and $ at the end and just before LF or CR. With `global` every match is
//   taken, left to right; after an empty match the search moves on by one character.
// - `Create` returns false, and every query then gives 0 or empty Text, when the pattern does not
//   compile or its run exceeds the engine's match, depth or memory limits; the matches of an
//   earlier run are gone either way. Nothing throws and nothing is reported.
// - A match or group index outside the last run's matches or the pattern's groups gives empty
//   Text; a group that took no part in its match gives empty Text.
// - Threads: one object is used by one thread at a time. Any number of objects may be used on any
//   number of threads at once; they share nothing, and no per-thread set-up is needed.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "text/text_ops.h"

class RegexObject {
 public:
  RegexObject();
  ~RegexObject();
  // A copy shares the compiled engine and the match list and holds its own copy of the subject.
  RegexObject(const RegexObject& other);
  RegexObject& operator=(const RegexObject& other);

  // Compiles `pattern` with its options and runs it once over `subject`. With
  // `expandQuoteMarker`, every "#引号" in the pattern stands for a double quote. True when the run
  // produced a match list, also an empty one.
  bool Create(std::string_view pattern, std::string_view subject, bool caseSensitive = false,
              bool multiline = true, bool global = true, bool expandQuoteMarker = false);
  void Noop();
  // The pattern of the last Create after the quote-marker step; empty before the first.
  Text GetPattern() const;
  // The subject of the last Create with its matches replaced (all of them when global, else the
  // first). The replacement understands $1 to $99, $&, $`, $' and $$. Empty Text when the last
  // run failed or there was none.
  Text Replace(std::string_view replacement = {}) const;
  int MatchCount() const;
  // Match `index`, 1-based. `offset`, when given, receives the 0-based byte offset of the match in
  // the subject Text, or -1 when there is no such match.
  Text MatchText(int index, int* offset = nullptr) const;
  // What group `groupIndex` captured in match `matchIndex`, both 1-based. `offset` as above, -1
  // also when the group took no part in the match.
  Text SubmatchText(int matchIndex, int groupIndex, int* offset = nullptr) const;
  // The number of capturing groups, read from the first match; 0 when the run found none.
  int SubmatchCount() const;

 private:
  struct Engine;
  struct Run;

  // Every match of `engine` over `subjectUtf8`; null when the run hit a limit or failed.
  static std::shared_ptr<const Run> Execute(const Engine& engine, std::string subjectUtf8);
  // The text of `group` (0: the whole match) in the 0-based `match` of the last run.
  Text Span(int match, int group, int* offset) const;

  std::shared_ptr<const Engine> engine;
  // The last run's matches; null before the first Create and when the run failed.
  std::shared_ptr<const Run> matches;
  Text subject;
};
