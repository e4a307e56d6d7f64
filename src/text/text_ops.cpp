#include "text/text_ops.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstring>

namespace {

// The length of the character starting at byte i: 2 for a lead byte with a byte after it.
size_t CharWidth(std::string_view text, size_t i) {
  return (static_cast<unsigned char>(text[i]) >= 0x80 && i + 1 < text.size()) ? 2 : 1;
}

unsigned char Fold(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
}

bool MatchesAt(std::string_view text, size_t at, std::string_view needle, bool ignoreCase) {
  if (!ignoreCase) return text.compare(at, needle.size(), needle) == 0;
  for (size_t k = 0; k < needle.size(); ++k) {
    if (Fold(static_cast<unsigned char>(text[at + k])) !=
        Fold(static_cast<unsigned char>(needle[k]))) {
      return false;
    }
  }
  return true;
}

// The first character start at or after byte `from`, walking from the beginning so that the walk
// never lands on the second byte of a pair.
size_t CharStartAtOrAfter(std::string_view text, size_t from) {
  size_t i = 0;
  while (i < from)
    i += CharWidth(text, i);
  return i;
}

// Tries a match at every character start from `i` (itself a character start) and returns the
// 0-based offset of the first match lying wholly in `text[0, regionEnd)`, or npos.
size_t FindForward(std::string_view text, std::string_view needle, size_t i, size_t regionEnd,
                   bool ignoreCase) {
  for (; i + needle.size() <= regionEnd; i += CharWidth(text, i)) {
    if (MatchesAt(text, i, needle, ignoreCase)) return i;
  }
  return std::string_view::npos;
}

bool IsFullWidthSpace(std::string_view text, size_t i) {
  return i + 1 < text.size() && static_cast<unsigned char>(text[i]) == 0xA1 &&
         static_cast<unsigned char>(text[i + 1]) == 0xA1;
}

// Width of the space character at i (1 or 2), or 0 when the character there is not a space.
size_t SpaceWidth(std::string_view text, size_t i) {
  if (text[i] == ' ') return 1;
  return IsFullWidthSpace(text, i) ? 2 : 0;
}

int ClampToInt(size_t n) {
  return n > INT_MAX ? INT_MAX : static_cast<int>(n);
}

}  // namespace

int ArrayCount(const TextArray& array) {
  return ClampToInt(array.size());
}

Text ArrayMember(const TextArray& array, int n) {
  if (n < 1 || static_cast<size_t>(n) > array.size()) return {};
  return array[n - 1];
}

int TextLength(std::string_view text) {
  return ClampToInt(text.size());
}

int FindText(std::string_view text, std::string_view needle, std::optional<int> start,
             bool ignoreCase) {
  const long long first = std::max<long long>(start.value_or(1), 1);
  if (first > static_cast<long long>(text.size())) return -1;
  if (needle.empty()) return 1;
  const size_t from = CharStartAtOrAfter(text, static_cast<size_t>(first - 1));
  const size_t at = FindForward(text, needle, from, text.size(), ignoreCase);
  return at == std::string_view::npos ? -1 : ClampToInt(at + 1);
}

int FindTextReverse(std::string_view text, std::string_view needle, std::optional<int> start,
                    bool ignoreCase) {
  size_t regionEnd = text.size();
  if (start) {
    if (*start <= 1) return -1;
    regionEnd = std::min<size_t>(static_cast<size_t>(*start) - 1, text.size());
  }
  if (needle.empty()) return regionEnd > 0 ? 1 : -1;
  int last = -1;
  size_t from = 0;
  for (;;) {
    const size_t at = FindForward(text, needle, from, regionEnd, ignoreCase);
    if (at == std::string_view::npos) return last;
    last = ClampToInt(at + 1);
    from = at + CharWidth(text, at);
  }
}

Text TextLeft(std::string_view text, int n) {
  if (n <= 0) return {};
  return Text(text.substr(0, static_cast<size_t>(n)));
}

Text TextRight(std::string_view text, int n) {
  if (n <= 0) return {};
  const size_t count = std::min<size_t>(static_cast<size_t>(n), text.size());
  return Text(text.substr(text.size() - count));
}

Text TextMid(std::string_view text, int start, int n) {
  if (start < 1 || static_cast<size_t>(start) > text.size() || n <= 0) return {};
  return Text(text.substr(static_cast<size_t>(start) - 1, static_cast<size_t>(n)));
}

Text ReplaceText(std::string_view text, std::string_view needle, std::string_view replacement,
                 bool ignoreCase) {
  if (text.empty() || needle.empty()) return Text(text);
  Text out;
  out.reserve(text.size());
  size_t i = 0;
  while (i + needle.size() <= text.size()) {
    if (MatchesAt(text, i, needle, ignoreCase)) {
      out.append(replacement);
      i += needle.size();
    } else {
      const size_t w = CharWidth(text, i);
      out.append(text.substr(i, w));
      i += w;
    }
  }
  out.append(text.substr(i));
  return out;
}

TextArray SplitText(std::string_view text, std::string_view delimiter) {
  TextArray members;
  if (text.empty()) return members;
  if (delimiter.empty()) {
    members.emplace_back(text);
    return members;
  }
  size_t pieceStart = 0;
  size_t i = 0;
  while (i + delimiter.size() <= text.size()) {
    if (text.compare(i, delimiter.size(), delimiter) == 0) {
      members.emplace_back(text.substr(pieceStart, i - pieceStart));
      i += delimiter.size();
      pieceStart = i;
    } else {
      i += CharWidth(text, i);
    }
  }
  if (pieceStart < text.size()) members.emplace_back(text.substr(pieceStart));
  return members;
}

Text TrimText(std::string_view text) {
  size_t begin = 0;
  size_t w;
  while (begin < text.size() && (w = SpaceWidth(text, begin)) > 0)
    begin += w;
  // The end of the last non-space character, found walking forwards so pairs stay whole.
  size_t end = begin;
  for (size_t i = begin; i < text.size();) {
    const size_t sw = SpaceWidth(text, i);
    const size_t cw = sw > 0 ? sw : CharWidth(text, i);
    if (sw == 0) end = i + cw;
    i += cw;
  }
  return Text(text.substr(begin, end - begin));
}

Text RemoveSpaces(std::string_view text) {
  Text out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const size_t sw = SpaceWidth(text, i);
    if (sw > 0) {
      i += sw;
      continue;
    }
    const size_t cw = CharWidth(text, i);
    out.append(text.substr(i, cw));
    i += cw;
  }
  return out;
}

Text ToLower(std::string_view text) {
  Text out(text);
  for (size_t i = 0; i < out.size();) {
    const size_t w = CharWidth(out, i);
    if (w == 1) out[i] = static_cast<char>(Fold(static_cast<unsigned char>(out[i])));
    i += w;
  }
  return out;
}

int ToInteger(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  bool any = false;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    any = true;
    // Saturate instead of overflowing on absurdly long digit runs.
    value = std::min<long long>(value * 10 + (text[i] - '0'), static_cast<long long>(INT_MAX) + 1);
  }
  if (!any) return 0;
  if (negative) return static_cast<int>(-value);
  return static_cast<int>(std::min<long long>(value, INT_MAX));
}

Text ToText(long long value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return Text(buffer, result.ptr);
}

Text BytesToText(const Bytes& bytes) {
  const auto zero = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
  return Text(bytes.begin(), zero);
}

Bytes TextToBytes(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

Text BlankText(int n) {
  return n < 1 ? Text() : Text(static_cast<size_t>(n), ' ');
}

Bytes BlankBytes(int n) {
  return n <= 0 ? Bytes() : Bytes(static_cast<size_t>(n), 0);
}

Bytes BytesLeft(const Bytes& bytes, int n) {
  if (n <= 0) return {};
  const size_t count = std::min<size_t>(static_cast<size_t>(n), bytes.size());
  return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(count));
}

int BytesLength(const Bytes& bytes) {
  return ClampToInt(bytes.size());
}

Text CharFromCode(int code) {
  if (code <= 0 || code > 255) return {};
  return Text(1, static_cast<char>(code));
}

int CompareText(std::string_view a, std::string_view b) {
  // std::string_view compares through char_traits<char>, which orders as unsigned char.
  const int c = a.compare(b);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

bool CompareBytes(const Bytes& a, const Bytes& b) {
  return a == b;
}

Text TextBetween(std::string_view text, std::string_view startMarker, std::string_view endMarker,
                 std::optional<int> start, bool ignoreCase) {
  // "#引号" in GBK: a marker may stand for a double quote this way.
  static constexpr std::string_view kQuoteMarker = "#\xD2\xFD\xBA\xC5";
  const Text from = ReplaceText(startMarker, kQuoteMarker, "\"");
  const Text to = ReplaceText(endMarker, kQuoteMarker, "\"");
  int p = FindText(text, from, start, ignoreCase);
  if (p != -1) p += TextLength(from);
  const int q = FindText(text, to, p, ignoreCase);
  if (p == -1 || q == -1) return {};
  return TextMid(text, p, q - p);
}
