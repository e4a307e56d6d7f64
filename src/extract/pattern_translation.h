// Rewrites a regular expression written in ECMAScript syntax into the syntax of the PCRE2 engine
// that `RegexObject` runs, so the user's pattern keeps its ECMAScript meaning.
//
// Promises:
// - The input and the output are UTF-8. Only ASCII syntax is rewritten; every other character is
//   copied as it is, so the result is valid UTF-8 whenever the input is.
// - Outside character classes: ^ and $ become assertions with the line rule below; \uXXXX (and a
//   surrogate pair of two of them) and \xHH become \x{...}; \v becomes the vertical tab; an escaped
//   letter that ECMAScript does not know stands for the letter itself, as it does there.
// - Inside character classes the same escapes are rewritten, ^ and $ are left alone, and [ is
//   escaped so PCRE2 never reads a POSIX class.
// - Line rule: with `multiline`, ^ matches at the start and just after LF or CR, and $ at the end
//   and just before LF or CR; without it they match only at the very start and the very end (a
//   final line break does not count as the end).
// - The result is meant for pcre2_compile with PCRE2_UTF, PCRE2_ALLOW_EMPTY_CLASS and
//   PCRE2_MATCH_UNSET_BACKREF, and without PCRE2_MULTILINE. A pattern that is malformed stays
//   malformed, and the engine rejects it.
// - A pure function: any thread may call it at any time.
#pragma once

#include <string>
#include <string_view>

std::string TranslatePattern(std::string_view pattern, bool multiline);
