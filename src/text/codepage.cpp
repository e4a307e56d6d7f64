#include "text/codepage.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <vector>

namespace {

constexpr char16_t kReplacement = 0xFFFD;

std::string_view UpToZero(std::string_view text) {
  const size_t zero = text.find('\0');
  return zero == std::string_view::npos ? text : text.substr(0, zero);
}

std::u16string_view UpToZeroUnit(std::u16string_view units) {
  const size_t zero = units.find(u'\0');
  return zero == std::u16string_view::npos ? units : units.substr(0, zero);
}

// --- GBK (code page 936) -------------------------------------------------------------------

// Both directions as flat tables, built once from the C library's CP936 converter.
struct GbkTables {
  // Double-byte codes: index (lead - 0x81) * 256 + trail; 0 where the code is undefined.
  std::vector<char16_t> decode = std::vector<char16_t>(126 * 256, 0);
  // UTF-16 unit to GBK: a single byte below 0x100, a double-byte code above; 0 where none.
  std::vector<std::uint16_t> encode = std::vector<std::uint16_t>(65536, 0);
};

const GbkTables& Gbk() {
  static const GbkTables tables = [] {
    GbkTables t;
    iconv_t cd = iconv_open("UTF-16LE", "CP936");
    auto convert = [&](const char* in, size_t inLen) -> char16_t {
      char out[8];
      char* inPtr = const_cast<char*>(in);
      char* outPtr = out;
      size_t outLeft = sizeof out;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      if (iconv(cd, &inPtr, &inLen, &outPtr, &outLeft) == static_cast<size_t>(-1)) return 0;
      if (sizeof out - outLeft != 2) return 0;
      return static_cast<char16_t>(static_cast<unsigned char>(out[0]) |
                                   (static_cast<unsigned char>(out[1]) << 8));
    };
    for (unsigned code = 1; code < 0x80; ++code)
      t.encode[code] = static_cast<std::uint16_t>(code);
    for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
      for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
        if (trail == 0x7F) continue;
        const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
        const char16_t unit = cd == reinterpret_cast<iconv_t>(-1) ? 0 : convert(pair, 2);
        if (unit == 0 || unit == kReplacement) continue;
        t.decode[(lead - 0x81) * 256 + trail] = unit;
        if (t.encode[unit] == 0) t.encode[unit] = static_cast<std::uint16_t>(lead << 8 | trail);
      }
    }
    if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    // Windows' code page 936 has the euro sign as the single byte 0x80.
    t.encode[0x20AC] = 0x80;
    return t;
  }();
  return tables;
}

void DecodeGbk(std::string_view in, std::u16string& out) {
  const GbkTables& t = Gbk();
  for (size_t i = 0; i < in.size();) {
    const unsigned char b = static_cast<unsigned char>(in[i]);
    if (b < 0x80) {
      out.push_back(b);
      ++i;
    } else if (b == 0x80) {
      out.push_back(0x20AC);
      ++i;
    } else if (b == 0xFF || i + 1 >= in.size()) {
      out.push_back(kReplacement);
      ++i;
    } else {
      const char16_t unit = t.decode[(b - 0x81) * 256 + static_cast<unsigned char>(in[i + 1])];
      if (unit != 0) {
        out.push_back(unit);
        i += 2;
      } else {
        // A lead byte without a valid trail byte: the trail is read again on its own.
        out.push_back(kReplacement);
        ++i;
      }
    }
  }
}

void EncodeGbk(std::u16string_view in, std::string& out) {
  const GbkTables& t = Gbk();
  for (const char16_t unit : in) {
    if (unit == 0xA0) {
      out.push_back(' ');
      continue;
    }
    const std::uint16_t code = t.encode[unit];
    if (code == 0) {
      out.push_back('?');
    } else if (code < 0x100) {
      out.push_back(static_cast<char>(code));
    } else {
      out.push_back(static_cast<char>(code >> 8));
      out.push_back(static_cast<char>(code & 0xFF));
    }
  }
}

// --- UTF-8 -----------------------------------------------------------------------------------

// Decodes UTF-8; every maximal ill-formed subsequence becomes one U+FFFD.
void DecodeUtf8(std::string_view in, std::u16string& out) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(in[i]); };
  for (size_t i = 0; i < in.size();) {
    const unsigned char b = byte(i);
    if (b < 0x80) {
      out.push_back(b);
      ++i;
      continue;
    }
    size_t need;
    char32_t cp;
    unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (b >= 0xC2 && b <= 0xDF) {
      need = 1;
      cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      need = 2;
      cp = b & 0x0F;
      if (b == 0xE0) lo = 0xA0;
      if (b == 0xED) hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      need = 3;
      cp = b & 0x07;
      if (b == 0xF0) lo = 0x90;
      if (b == 0xF4) hi = 0x8F;
    } else {
      out.push_back(kReplacement);
      ++i;
      continue;
    }
    size_t j = 1;
    for (; j <= need; ++j) {
      if (i + j >= in.size()) break;
      const unsigned char c = byte(i + j);
      if (j == 1 ? (c < lo || c > hi) : (c < 0x80 || c > 0xBF)) break;
      cp = (cp << 6) | (c & 0x3F);
    }
    if (j <= need) {
      out.push_back(kReplacement);
      i += j;
      continue;
    }
    i += need + 1;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
}

void EncodeUtf8(std::u16string_view in, std::string& out) {
  for (size_t i = 0; i < in.size(); ++i) {
    char32_t cp = in[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 &&
        in[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (in[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = kReplacement;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
}

// --- Any other code page, through iconv (a descriptor per call: nothing shared) -------------

bool IconvConvert(const char* to, const char* from, std::string_view in, std::string& out) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  char* inPtr = const_cast<char*>(in.data());
  size_t inLeft = in.size();
  char buffer[4096];
  while (inLeft > 0) {
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    const size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    out.append(buffer, static_cast<size_t>(outPtr - buffer));
    if (r == static_cast<size_t>(-1) && errno != E2BIG) {
      // An unconvertible or cut sequence: skip one byte (or one UTF-16 unit) and go on.
      const size_t skip = std::string_view(from) == "UTF-16LE" ? 2 : 1;
      if (std::string_view(to) == "UTF-16LE") {
        out.append("\xFD\xFF", 2);
      } else {
        out.push_back('?');
      }
      const size_t n = std::min(skip, inLeft);
      inPtr += n;
      inLeft -= n;
    }
  }
  iconv_close(cd);
  return true;
}

std::string CodePageName(int codePage) {
  return "CP" + std::to_string(codePage);
}

int Normalise(int codePage) {
  return codePage == 0 ? 936 : codePage;
}

void Decode(std::string_view in, int codePage, std::u16string& out) {
  switch (Normalise(codePage)) {
    case 936:
      DecodeGbk(in, out);
      return;
    case 65001:
      DecodeUtf8(in, out);
      return;
    default: {
      std::string raw;
      if (!IconvConvert("UTF-16LE", CodePageName(codePage).c_str(), in, raw)) return;
      for (size_t i = 0; i + 1 < raw.size(); i += 2) {
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(raw[i]) |
                                            (static_cast<unsigned char>(raw[i + 1]) << 8)));
      }
    }
  }
}

void Encode(std::u16string_view in, int codePage, std::string& out) {
  switch (Normalise(codePage)) {
    case 936:
      EncodeGbk(in, out);
      return;
    case 65001:
      EncodeUtf8(in, out);
      return;
    default: {
      std::string raw;
      raw.reserve(in.size() * 2);
      for (const char16_t unit : in) {
        raw.push_back(static_cast<char>(unit & 0xFF));
        raw.push_back(static_cast<char>(unit >> 8));
      }
      IconvConvert(CodePageName(codePage).c_str(), "UTF-16LE", raw, out);
    }
  }
}

}  // namespace

Bytes TextToUtf16(std::string_view text, int codePage) {
  std::u16string units;
  Decode(UpToZero(text), codePage, units);
  Bytes out;
  out.reserve(units.size() * 2 + 2);
  for (const char16_t unit : units) {
    if (unit == 0) break;
    out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    out.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  out.push_back(0);
  out.push_back(0);
  return out;
}

Text Utf16ToText(const Bytes& utf16, int codePage) {
  std::u16string units;
  units.reserve(utf16.size() / 2);
  for (size_t i = 0; i + 1 < utf16.size(); i += 2) {
    const char16_t unit = static_cast<char16_t>(utf16[i] | (utf16[i + 1] << 8));
    if (unit == 0) break;
    units.push_back(unit);
  }
  Text out;
  out.reserve(units.size() * 2);
  Encode(units, codePage, out);
  return Text(UpToZero(out));
}

Text Utf8ToAnsi(std::string_view text) {
  std::u16string units;
  units.reserve(text.size());
  DecodeUtf8(UpToZero(text), units);
  Text out;
  out.reserve(units.size() * 2);
  EncodeGbk(units, out);
  return out;
}

std::string GbkToUtf8(std::string_view gbk) {
  std::u16string units;
  units.reserve(gbk.size());
  DecodeGbk(gbk, units);
  std::string out;
  out.reserve(units.size() * 3);
  EncodeUtf8(units, out);
  return out;
}

std::u16string GbkToUtf16(std::string_view gbk) {
  std::u16string units;
  units.reserve(gbk.size());
  DecodeGbk(gbk, units);
  return units;
}

Text Utf16ToGbk(std::u16string_view utf16) {
  Text out;
  out.reserve(utf16.size() * 2);
  EncodeGbk(UpToZeroUnit(utf16), out);
  return out;
}
