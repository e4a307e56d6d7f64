// GBK text values and the operations every other subsystem uses on them.
//
// Promises:
// - `Text` is a byte string in code page 936 (GBK). A byte below 0x80 is one ASCII character; a
//   byte of 0x80 or above starts a double-byte character together with the byte after it.
//   Lengths and positions count bytes; positions are 1-based; a search that finds nothing gives -1.
//   A Text holds no zero byte; operations that build a Text from raw bytes stop at the first one.
// - Searching, replacing, splitting, trimming and case changes step over whole characters: no
//   match, cut or case change ever starts on the second byte of a double-byte character. Cuts by
//   count (`TextLeft`, `TextRight`, `TextMid`) count plain bytes.
// - Every operation is a pure function: inputs are left unchanged and a fresh value is returned.
//   Any thread may call any of them at any time.
// - An omitted optional argument is `std::nullopt` (or the stated default), so an omitted start
//   position can be told apart from a given one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using Text = std::string;
using Bytes = std::vector<std::uint8_t>;

// A 1-based sequence of Texts, as `SplitText` makes it. Read it with `ArrayCount` and
// `ArrayMember`.
using TextArray = std::vector<Text>;

int ArrayCount(const TextArray& array);
// Member n, 1-based; empty Text when n is outside 1..count.
Text ArrayMember(const TextArray& array, int n);

int TextLength(std::string_view text);

// Position of the first needle at or after `start` (omitted: 1); -1 when none.
int FindText(std::string_view text, std::string_view needle,
             std::optional<int> start = std::nullopt, bool ignoreCase = false);
// Position of the last needle lying wholly before `start` (omitted: the whole text); -1 when none.
int FindTextReverse(std::string_view text, std::string_view needle,
                    std::optional<int> start = std::nullopt, bool ignoreCase = false);

Text TextLeft(std::string_view text, int n);
Text TextRight(std::string_view text, int n);
Text TextMid(std::string_view text, int start, int n);

// Every needle, left to right, replaced once; the replacement is never scanned again.
Text ReplaceText(std::string_view text, std::string_view needle, std::string_view replacement = {},
                 bool ignoreCase = false);

// Pieces between delimiters; an empty text gives no members; a trailing empty piece is dropped.
TextArray SplitText(std::string_view text, std::string_view delimiter);

// Spaces are the ASCII space and the GBK full-width space 0xA1 0xA1.
Text TrimText(std::string_view text);
Text RemoveSpaces(std::string_view text);
Text ToLower(std::string_view text);

int ToInteger(std::string_view text);
Text ToText(long long value);

Text BytesToText(const Bytes& bytes);
Bytes TextToBytes(std::string_view text);
Text BlankText(int n);
Bytes BlankBytes(int n);
Bytes BytesLeft(const Bytes& bytes, int n);
int BytesLength(const Bytes& bytes);
Text CharFromCode(int code);

template <typename... Parts>
Text Concat(const Parts&... parts) {
  Text out;
  out.reserve((std::string_view(parts).size() + ... + 0));
  (out.append(std::string_view(parts)), ...);
  return out;
}

template <typename... Parts>
Bytes ConcatBytes(const Parts&... parts) {
  Bytes out;
  out.reserve((parts.size() + ... + 0));
  (out.insert(out.end(), parts.begin(), parts.end()), ...);
  return out;
}

// Unsigned byte-by-byte comparison: negative, 0 or positive.
int CompareText(std::string_view a, std::string_view b);
bool CompareBytes(const Bytes& a, const Bytes& b);

// The text between the first `startMarker` found from `start` and the first `endMarker` after it;
// empty when either is missing. "#引号" in a marker stands for a double quote.
Text TextBetween(std::string_view text, std::string_view startMarker, std::string_view endMarker,
                 std::optional<int> start = std::nullopt, bool ignoreCase = false);
