#include "web/url_pieces.h"

namespace {

Text HostMode(Text t, bool domainOnly) {
  if (TextRight(t, 1) != "/") t += "/";
  Text host;
  if (TextLeft(t, 8) == "https://") {
    host = TextBetween(t, "https://", "/");
  } else {
    if (FindText(t, "http://") == -1) t = Concat("http://", t);
    host = TextBetween(t, "http://", "/");
  }
  if (domainOnly) {
    TextArray labels = SplitText(host, ".");
    int count = ArrayCount(labels);
    if (count > 1) host = Concat(ArrayMember(labels, count - 1), ".", ArrayMember(labels, count));
  }
  return host;
}

Text SuffixMode(Text t, bool domainOnly, int suffixDots) {
  t = ReplaceText(t, "http://");
  t = ReplaceText(t, "https://");
  int slash = FindText(t, "/");
  if (slash != -1) t = TextLeft(t, slash - 1);
  int length = TextLength(t);
  int m = length;
  for (int i = 0; i < suffixDots && m != -1; ++i)
    m = FindTextReverse(t, ".", m);
  // A start of -1 searches nothing, so a host with too few dots stays whole below.
  int o = FindTextReverse(t, ".", m);
  if (domainOnly) return TextRight(t, length - o);
  if (o != -1) {
    int o2 = FindTextReverse(t, ".", o);
    if (o2 != -1) t = TextRight(t, length - o2);
  }
  return t;
}

}  // namespace

Text UrlHost(const Text& url, bool domainOnly, bool keepPort, std::optional<int> suffixDots) {
  Text t = ToLower(url);
  t = suffixDots ? SuffixMode(t, domainOnly, *suffixDots) : HostMode(t, domainOnly);
  if (keepPort) return t;
  int colon = FindText(t, ":");
  return colon == -1 ? t : TextLeft(t, colon - 1);
}

int UrlPort(const Text& url) {
  Text h = UrlHost(url, false, true);
  int c = FindTextReverse(h, ":");
  if (c == -1) return TextLeft(ToLower(url), 5) == "https" ? 443 : 80;
  return ToInteger(TextRight(h, TextLength(h) - c));
}

Text UrlPath(const Text& url) {
  Text h = UrlHost(url);
  int a = FindText(url, h, 1, true);
  int b = FindText(url, "/", a, true);
  if (b <= 0) return "/";
  return TextRight(url, TextLength(url) - b + 1);
}

Text HeaderValue(const Text& header) {
  int c = FindText(header, ":");
  if (c == -1) return {};
  return TrimText(TextRight(header, TextLength(header) - c));
}
