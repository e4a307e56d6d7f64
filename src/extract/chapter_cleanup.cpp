#include "extract/chapter_cleanup.h"

#include <algorithm>

#include "extract/regex_object.h"

Text StripBlankLines(std::string_view text) {
  Text stripped(text);
  if (TextLeft(stripped, 2) == "\r\n") stripped = TextRight(stripped, TextLength(stripped) - 2);
  if (TextRight(stripped, 2) == "\r\n") stripped = TextLeft(stripped, TextLength(stripped) - 2);
  // A line feed, any white space, then a carriage return: a blank line and the break before it.
  RegexObject blankLines;
  blankLines.Create("\\n\\s*\\r", stripped);
  return blankLines.Replace(Text());
}

Text CutBetweenMarkers(std::string_view text, std::string_view startMarker,
                       std::string_view endMarker) {
  const int start = FindText(text, startMarker, 1, true);
  if (start < 0) return Text();
  const int end = FindText(text, endMarker, start, true);
  const int length = TextLength(text);
  if (end < 0) {
    // An advert line without the domain: drop that line alone. A line feed is never the second
    // byte of a GBK character, so the bytes can be searched directly.
    const size_t lineStart = text.find_last_of('\n', static_cast<size_t>(start - 1));
    const size_t from = lineStart == std::string_view::npos ? 0 : lineStart + 1;
    const size_t lineEnd = text.find('\n', static_cast<size_t>(start - 1));
    const size_t to = lineEnd == std::string_view::npos ? text.size() : lineEnd + 1;
    return Concat(text.substr(0, from), text.substr(to));
  }
  const int cutEnd = end - 1 + TextLength(endMarker);
  return Concat(TextLeft(text, start - 1), TextRight(text, length - cutEnd));
}

namespace {

// Whether `word` occurs in `line` starting on a character boundary, as FindText finds it: a quick
// byte search, and a walk over whole characters only for a candidate.
bool HoldsWord(std::string_view line, std::string_view word) {
  size_t boundary = 0;  // a character boundary at or before every candidate still to come
  for (size_t at = line.find(word); at != std::string_view::npos; at = line.find(word, at + 1)) {
    while (boundary < at) {
      const bool lead = static_cast<unsigned char>(line[boundary]) >= 0x80;
      boundary += lead && boundary + 1 < line.size() ? 2 : 1;
    }
    if (boundary == at) return true;
  }
  return false;
}

}  // namespace

Text FilterNavigationLines(int count, const TextArray& lines) {
  Text result;
  const int last = std::min(count, ArrayCount(lines));
  for (int i = 1; i <= last; ++i) {
    const Text line = ArrayMember(lines, i);
    const bool navigation =
        std::any_of(navigationWords.begin(), navigationWords.end(),
                    [&](std::string_view word) { return HoldsWord(line, word); });
    if (!navigation) {
      result += line;
      result += "\r\n";
    }
  }
  return result;
}
