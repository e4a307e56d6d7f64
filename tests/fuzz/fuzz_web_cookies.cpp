// Cookie merging on arbitrary strings: no crash, no space survives, both arguments come back
// space-free, and `old` ends up holding the result. The strings are well-formed GBK, as every
// header text is after its conversion.
#include <cstdlib>

#include "fuzz_input.h"
#include "text/codepage.h"
#include "web/cookies.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string> parts = SplitFuzzInput(data, size, 2);
  Text old = Utf8ToAnsi(parts[0]);
  Text fresh = Utf8ToAnsi(parts[1]);
  const Text merged = MergeCookies(old, fresh);
  if (merged.find(' ') != Text::npos || fresh.find(' ') != Text::npos) std::abort();
  if (old != merged) std::abort();
  (void)CookieName(parts[0]);
  (void)CookieValue(parts[0]);
  (void)CookieName(parts[1]);
  (void)CookieValue(parts[1]);
  return 0;
}
