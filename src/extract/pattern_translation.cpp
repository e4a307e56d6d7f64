#include "extract/pattern_translation.h"

#include <cstdio>

namespace {

// Assertions for the line rule; a one-character lookbehind is fixed length, as PCRE2 requires.
constexpr std::string_view kLineStart = "(?<![^\\n\\r])";
constexpr std::string_view kLineEnd = "(?![^\\n\\r])";
constexpr std::string_view kSubjectStart = "\\A";
constexpr std::string_view kSubjectEnd = "\\z";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The value of `count` hex digits at `pos`, or -1 when they are not all there.
long HexDigits(std::string_view text, size_t pos, size_t count) {
  if (pos + count > text.size()) return -1;
  long value = 0;
  for (size_t i = 0; i < count; ++i) {
    const int digit = HexValue(text[pos + i]);
    if (digit < 0) return -1;
    value = value * 16 + digit;
  }
  return value;
}

void AppendCodePoint(std::string& out, long codePoint) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "\\x{%lx}", codePoint);
  out += buffer;
}

bool IsAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Escaped letters whose meaning ECMAScript and PCRE2 share (or that are handled separately).
bool IsSharedEscapeLetter(char c) {
  return std::string_view("bBdDsSwWfnrt").find(c) != std::string_view::npos;
}

// Translates the escape that starts with the backslash at `pos`; returns the position after it.
size_t TranslateEscape(std::string_view in, size_t pos, std::string& out) {
  if (pos + 1 >= in.size()) {
    out += in.substr(pos);  // a lone trailing backslash: the engine reports it
    return in.size();
  }
  const char c = in[pos + 1];
  if (c == 'u') {
    const long unit = HexDigits(in, pos + 2, 4);
    if (unit < 0) {
      out += 'u';
      return pos + 2;
    }
    if (unit >= 0xD800 && unit <= 0xDBFF && pos + 7 < in.size() && in[pos + 6] == '\\' &&
        in[pos + 7] == 'u') {
      const long low = HexDigits(in, pos + 8, 4);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendCodePoint(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        return pos + 12;
      }
    }
    AppendCodePoint(out, unit);
    return pos + 6;
  }
  if (c == 'x') {
    const long value = HexDigits(in, pos + 2, 2);
    if (value < 0) {
      out += 'x';
      return pos + 2;
    }
    AppendCodePoint(out, value);
    return pos + 4;
  }
  if (c == 'v') {
    out += "\\x{b}";
    return pos + 2;
  }
  if (c == 'c') {
    if (pos + 2 < in.size() && IsAsciiLetter(in[pos + 2])) {
      AppendCodePoint(out, in[pos + 2] % 32);
      return pos + 3;
    }
    out += "\\\\c";  // not a control escape: a backslash and a c
    return pos + 2;
  }
  if (c == 'k') {
    if (pos + 2 < in.size() && in[pos + 2] == '<') {
      out += "\\k";  // a named back reference
    } else {
      out += 'k';
    }
    return pos + 2;
  }
  if (IsAsciiLetter(c) && !IsSharedEscapeLetter(c)) {
    out += c;
    return pos + 2;
  }
  // Digits, shared letters and escaped punctuation mean the same in both; a backslash before a
  // byte of a multi-byte character is copied and the character follows unchanged.
  out += in.substr(pos, 2);
  return pos + 2;
}

}  // namespace

std::string TranslatePattern(std::string_view pattern, bool multiline) {
  std::string out;
  out.reserve(pattern.size() + 16);
  bool inClass = false;
  size_t pos = 0;
  while (pos < pattern.size()) {
    const char c = pattern[pos];
    if (c == '\\') {
      pos = TranslateEscape(pattern, pos, out);
      continue;
    }
    if (inClass) {
      if (c == ']') {
        inClass = false;
        out += c;
      } else if (c == '[') {
        out += "\\[";
      } else {
        out += c;
      }
      ++pos;
      continue;
    }
    switch (c) {
      case '[':
        inClass = true;
        out += c;
        if (pos + 1 < pattern.size() && pattern[pos + 1] == '^') {
          out += '^';
          ++pos;
        }
        break;
      case '^':
        out += multiline ? kLineStart : kSubjectStart;
        break;
      case '$':
        out += multiline ? kLineEnd : kSubjectEnd;
        break;
      default:
        out += c;
    }
    ++pos;
  }
  return out;
}
