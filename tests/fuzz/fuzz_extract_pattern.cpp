// Pattern translation on arbitrary patterns, then compiling and running the result on a small
// subject: no crash, and a run that fails leaves no matches behind.
#include <cstdlib>

#include "extract/pattern_translation.h"
#include "extract/regex_object.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string> parts = SplitFuzzInput(data, size, 2);
  (void)TranslatePattern(parts[0], true);
  (void)TranslatePattern(parts[0], false);
  const std::string subject =
      parts[1].empty() ? std::string("<a href=\"/chapter/1/2.html\">\xb5\xda\x31</a>\r\naaa")
                       : parts[1];
  RegexObject regex;
  const bool ran = regex.Create(parts[0], subject, (size & 1) != 0, (size & 2) != 0,
                                (size & 4) != 0, (size & 8) != 0);
  if (!ran && regex.MatchCount() != 0) std::abort();
  const int count = regex.MatchCount();
  for (int i = 1; i <= count && i <= 16; ++i) {
    int offset = 0;
    (void)regex.MatchText(i, &offset);
    if (offset < -1 || offset > static_cast<int>(subject.size())) std::abort();
    (void)regex.SubmatchText(i, 1);
  }
  (void)regex.Replace("[$1$&$$]");
  return 0;
}
