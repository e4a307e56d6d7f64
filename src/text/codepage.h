// Conversion between code pages and UTF-16, and the edge conversions that carry GBK Text into
// and out of the libraries that work on Unicode (the regex engine, the HTML parser, Qt, file
// names).
//
// Promises:
// - Code pages by their Windows numbers: 0 is this system's ANSI code page, which is 936; 936 is
//   GBK as Windows defines it (the single byte 0x80 is the euro sign); 65001 is UTF-8. Any other
//   number is handed to the C library's iconv as "CP<number>"; one it does not know converts to
//   nothing.
// - A byte sequence that is not valid in its code page decodes to U+FFFD. A character without a
//   form in the target code page is written as "?", one per UTF-16 unit, except the no-break space
//   U+00A0, which is written as an ASCII space wherever text goes into GBK: novel pages indent
//   every paragraph with it.
// - Nothing is reported; the empty input gives the empty result.
// - Safe from any number of threads at once: the GBK tables are built once and only read after.
#pragma once

#include <string>
#include <string_view>

#include "text/text_ops.h"

// Decodes `text` (up to its first zero byte) into little-endian UTF-16 units followed by one
// terminating zero unit.
Bytes TextToUtf16(std::string_view text, int codePage = 65001);
// Encodes UTF-16 units, up to the first zero unit, into `codePage`.
Text Utf16ToText(const Bytes& utf16, int codePage = 0);
// UTF-8 to GBK by way of UTF-16.
Text Utf8ToAnsi(std::string_view text);

// Edge conversions for code that works on Unicode strings.
std::string GbkToUtf8(std::string_view gbk);
std::u16string GbkToUtf16(std::string_view gbk);
Text Utf16ToGbk(std::u16string_view utf16);
