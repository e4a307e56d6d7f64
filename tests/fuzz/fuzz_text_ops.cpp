// The text operations on arbitrary bytes: no crash, and the properties callers rely on.
#include <cstdlib>

#include "fuzz_input.h"
#include "text/text_ops.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// True when byte position p (1-based) starts a character of `text`.
bool StartsCharacter(const Text& text, int p) {
  size_t i = 0;
  while (static_cast<int>(i) < p - 1) {
    i += (static_cast<unsigned char>(text[i]) >= 0x80 && i + 1 < text.size()) ? 2 : 1;
  }
  return static_cast<int>(i) == p - 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto parts = SplitFuzzInput(data, size, 3);
  const Text& text = parts[0];
  const Text& needle = parts[1];
  const Text& other = parts[2];
  const int start = size > 0 ? static_cast<int>(data[0] % 40) - 5 : 1;

  for (const bool ignoreCase : {false, true}) {
    const int p = FindText(text, needle, start, ignoreCase);
    if (p != -1 && !needle.empty()) {
      Check(p >= 1 && p + TextLength(needle) - 1 <= TextLength(text));
      Check(StartsCharacter(text, p));
    }
    const int r = FindTextReverse(text, needle, start, ignoreCase);
    if (r != -1 && !needle.empty()) Check(StartsCharacter(text, r));
    const Text replaced = ReplaceText(text, needle, other, ignoreCase);
    if (!ignoreCase) Check(ReplaceText(text, needle, needle) == text);
    (void)replaced;
    (void)TextBetween(text, needle, other, start, ignoreCase);
  }

  const TextArray pieces = SplitText(text, needle);
  if (!needle.empty()) {
    Text joined;
    for (int i = 1; i <= ArrayCount(pieces); ++i) {
      joined += ArrayMember(pieces, i);
      if (i < ArrayCount(pieces)) joined += needle;
    }
    // Joining the pieces gives the text back, less a delimiter that ended it.
    Check(text.compare(0, joined.size(), joined) == 0);
  }

  const Text trimmed = TrimText(text);
  Check(trimmed.size() <= text.size());
  Check(TrimText(trimmed) == trimmed);
  Check(RemoveSpaces(RemoveSpaces(text)) == RemoveSpaces(text));
  Check(ToLower(text).size() == text.size());
  (void)ToInteger(text);
  (void)TextMid(text, start, static_cast<int>(needle.size()) - 2);
  Check(BytesToText(TextToBytes(text)) == text);
  return 0;
}
