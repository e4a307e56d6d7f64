// Code-page conversion on arbitrary bytes: no crash, and GBK that came out of a conversion goes
// through the Unicode edge and back unchanged.
#include <cstdlib>

#include "text/codepage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const Text gbk = Utf8ToAnsi(input);
  if (gbk.find('\0') != Text::npos) std::abort();
  if (Utf8ToAnsi(GbkToUtf8(gbk)) != gbk) std::abort();
  if (Utf16ToGbk(GbkToUtf16(gbk)) != gbk) std::abort();
  (void)Utf16ToText(TextToUtf16(input, 936), 65001);
  (void)GbkToUtf8(input);
  return 0;
}
