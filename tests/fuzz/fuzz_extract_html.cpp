// HTML-to-text rendering of arbitrary pages, and the chapter cleanup after it: no crash, no hang.
#include "extract/chapter_cleanup.h"
#include "extract/html_to_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string page(reinterpret_cast<const char*>(data), size);
  const Text text = StripBlankLines(HtmlToText(page));
  const Text cut = CutBetweenMarkers(text, chapterStartMarker, chapterEndMarker);
  const TextArray lines = SplitText(cut, "\r\n");
  (void)FilterNavigationLines(ArrayCount(lines), lines);
  return 0;
}
