// URL pieces and header values on arbitrary text: no crash, a host never holds a "/", and a path
// always starts with one. The URL goes through the code-page conversion first, as every edit box
// text does, so it is well-formed GBK.
#include <cstdlib>

#include "fuzz_input.h"
#include "text/codepage.h"
#include "web/url_pieces.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string> parts = SplitFuzzInput(data, size, 2);
  const Text url = Utf8ToAnsi(parts[0]);
  const int dots = parts[1].empty() ? 0 : static_cast<unsigned char>(parts[1][0]) % 8;
  for (const Text& host : {UrlHost(url), UrlHost(url, true), UrlHost(url, false, true),
                           UrlHost(url, true, false, dots), UrlHost(url, false, true, dots)}) {
    if (host.find('/') != Text::npos) std::abort();
  }
  (void)UrlPort(url);
  const Text path = UrlPath(url);
  if (path.empty() || path[0] != '/') std::abort();
  (void)HeaderValue(url);
  (void)HeaderValue(parts[1]);
  return 0;
}
