#include "web/fetch_page.h"

#include <curl/curl.h>

#include <array>
#include <memory>
#include <mutex>

#include "web/cookies.h"
#include "web/fetch_test_hooks.h"
#include "web/url_pieces.h"

namespace {

const char kDefaultAgent[] = "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";
constexpr int kHeaderArea = 5000;

std::mutex limitsMutex;
FetchLimits& Limits() {
  static FetchLimits limits;
  return limits;
}

// The cookie store that every call without caller cookies shares; curl asks for one lock per
// kind of shared data.
std::array<std::mutex, CURL_LOCK_DATA_LAST> shareLocks;
CURLSH* cookieShare = nullptr;

void LockShare(CURL*, curl_lock_data data, curl_lock_access, void*) {
  shareLocks[data].lock();
}
void UnlockShare(CURL*, curl_lock_data data, void*) {
  shareLocks[data].unlock();
}

bool InitCurl() {
  static std::once_flag once;
  static bool ready = false;
  std::call_once(once, [] {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) return;
    cookieShare = curl_share_init();
    if (cookieShare) {
      curl_share_setopt(cookieShare, CURLSHOPT_LOCKFUNC, LockShare);
      curl_share_setopt(cookieShare, CURLSHOPT_UNLOCKFUNC, UnlockShare);
      curl_share_setopt(cookieShare, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    }
    ready = true;
  });
  return ready;
}

struct EasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct UrlDeleter {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct ListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
using UrlHandle = std::unique_ptr<CURLU, UrlDeleter>;
using HeaderList = std::unique_ptr<curl_slist, ListDeleter>;

// What one transfer received.
struct Response {
  Bytes body;
  Text headers;
  bool headersComplete = false;
  std::int64_t maxBody = 0;
  // A HEAD request that carries a body goes out as a custom verb, so curl would wait for a
  // response body that never comes; the transfer ends at the final header block instead.
  bool endAfterHeaders = false;
  bool endedAfterHeaders = false;
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* response = static_cast<Response*>(user);
  size_t n = size * count;
  if (static_cast<std::int64_t>(response->body.size() + n) > response->maxBody) return 0;
  response->body.insert(response->body.end(), data, data + n);
  return n;
}

// Keeps the header block of the latest response only: a status line starts a new block (after
// an interim 1xx or a proxy's CONNECT answer), and lines after its blank line are trailers.
size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  auto* response = static_cast<Response*>(user);
  size_t n = size * count;
  std::string_view line(data, n);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
    line.remove_suffix(1);
  if (line.substr(0, 5) == "HTTP/") {
    response->headers.clear();
    response->headersComplete = false;
  } else if (line.empty()) {
    response->headersComplete = true;
    const bool interim = response->headers.size() > 9 && response->headers[9] == '1';
    if (response->endAfterHeaders && !interim) {
      response->endedAfterHeaders = true;
      return 0;
    }
    return n;
  }
  if (!response->headersComplete) response->headers.append(line).append("\r\n");
  return n;
}

bool StartsWithName(std::string_view line, std::string_view name) {
  return line.size() > name.size() && FindText(line.substr(0, name.size()), name, 1, true) == 1 &&
         (line[name.size()] == ':' || line[name.size()] == ';');
}

// Bytes that cannot stand in a request target go out percent-encoded, so no address can break
// the request line.
Text EncodeTarget(std::string_view target) {
  static const char hex[] = "0123456789ABCDEF";
  Text out;
  for (unsigned char c : target) {
    if (c <= 0x20 || c >= 0x7F) {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// The header block as curl lines. Every CR or LF ends a line, so no text can smuggle a blank
// line into the request; a line with an empty value is written "Name;", curl's form for sending
// it instead of dropping it. `keepCookies` false leaves the caller's Cookie lines out.
HeaderList HeaderLines(const Text& block, bool keepCookies) {
  curl_slist* list = nullptr;
  bool hasExpect = false;
  size_t start = 0;
  while (start <= block.size()) {
    size_t end = block.find_first_of("\r\n", start);
    if (end == Text::npos) end = block.size();
    Text line = block.substr(start, end - start);
    start = end + 1;
    if (line.empty()) continue;
    if (!keepCookies && StartsWithName(line, "Cookie")) continue;
    if (StartsWithName(line, "Expect")) hasExpect = true;
    size_t colon = line.find(':');
    if (colon != Text::npos && TrimText(line.substr(colon + 1)).empty()) {
      line = Concat(line.substr(0, colon), ";");
    }
    curl_slist* grown = curl_slist_append(list, line.c_str());
    if (grown) list = grown;
  }
  // curl would otherwise add "Expect: 100-continue" to larger bodies.
  if (!hasExpect) {
    curl_slist* grown = curl_slist_append(list, "Expect:");
    if (grown) list = grown;
  }
  return HeaderList(list);
}

Text TargetHost(CURLU* url) {
  char* host = nullptr;
  if (curl_url_get(url, CURLUPART_HOST, &host, 0) != CURLUE_OK) return {};
  Text out = ToLower(host);
  curl_free(host);
  return out;
}

Text Scheme(CURLU* url) {
  char* scheme = nullptr;
  if (curl_url_get(url, CURLUPART_SCHEME, &scheme, 0) != CURLUE_OK) return {};
  Text out = ToLower(scheme);
  curl_free(scheme);
  return out;
}

Text UserAgent(const Text& requestHeaders) {
  if (FindText(requestHeaders, "User-Agent:", 1, true) == -1) return kDefaultAgent;
  Text agent = TrimText(TextBetween(Concat(requestHeaders, "\r\n"), "User-Agent:", "\r\n"));
  if (agent.empty()) agent = HeaderValue(requestHeaders);
  // The fallback may run over several lines; only the first can be an agent.
  return agent.substr(0, agent.find_first_of("\r\n"));
}

Text ComposeHeaders(Text h, const Text& url, const Text* cookies) {
  if (h.empty()) {
    h = "Accept: */*";
  } else if (FindText(h, "Accept:") == -1) {
    h += "\r\nAccept: */*";
  }
  if (FindText(h, "Referer:") == -1) h += Concat("\r\nReferer: ", url);
  if (FindText(h, "Accept-Language:") == -1) h += "\r\nAccept-Language: zh-cn";
  if (FindText(h, "Content-Type:") == -1) {
    h += "\r\nContent-Type: application/x-www-form-urlencoded";
  }
  if (cookies && !cookies->empty()) {
    h += FindText(*cookies, "Cookie:") != -1 ? Concat("\r\n", *cookies)
                                             : Concat("\r\nCookie: ", *cookies);
  }
  return h;
}

// The address curl connects to, from the same pieces the rest of the system cuts out of a URL.
// The fragment never goes on the wire.
UrlHandle TargetUrl(const Text& url, bool secure) {
  UrlHandle target(curl_url());
  if (!target) return nullptr;
  int port = UrlPort(url);
  if (port == 0) port = secure ? 443 : 80;
  if (port < 0 || port > 65535) return nullptr;
  Text path = UrlPath(url);
  path = path.substr(0, path.find('#'));
  size_t question = path.find('?');
  Text query = question == Text::npos ? Text() : path.substr(question + 1);
  path = path.substr(0, question);
  if (curl_url_set(target.get(), CURLUPART_SCHEME, secure ? "https" : "http", 0) != CURLUE_OK ||
      curl_url_set(target.get(), CURLUPART_HOST, UrlHost(url).c_str(), 0) != CURLUE_OK ||
      curl_url_set(target.get(), CURLUPART_PORT, ToText(port).c_str(), 0) != CURLUE_OK ||
      curl_url_set(target.get(), CURLUPART_PATH, EncodeTarget(path).c_str(), 0) != CURLUE_OK) {
    return nullptr;
  }
  if (question != Text::npos &&
      curl_url_set(target.get(), CURLUPART_QUERY, EncodeTarget(query).c_str(), 0) != CURLUE_OK) {
    return nullptr;
  }
  return target;
}

bool IsRedirect(long status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

}  // namespace

void SetFetchLimits(const FetchLimits& limits) {
  std::lock_guard<std::mutex> lock(limitsMutex);
  Limits() = limits;
}

FetchLimits GetFetchLimits() {
  std::lock_guard<std::mutex> lock(limitsMutex);
  return Limits();
}

Bytes FetchPage(const Text& url, int method, const Text& postText, Text* cookies, Text* cookiesOut,
                Text* requestHeaders, Text* responseHeaders, bool noRedirect, Bytes* postBytes,
                const Text& proxy) {
  Text ownCookiesOut, ownRequestHeaders, ownResponseHeaders;
  Bytes ownPostBytes;
  Text& cookiesOutRef = cookiesOut ? *cookiesOut : ownCookiesOut;
  Text& requestHeadersRef = requestHeaders ? *requestHeaders : ownRequestHeaders;
  Text& responseHeadersRef = responseHeaders ? *responseHeaders : ownResponseHeaders;
  Bytes& postBytesRef = postBytes ? *postBytes : ownPostBytes;

  if (method < 0 || method > 2) method = 0;
  const bool secure = ToLower(TextLeft(url, 8)) == "https://";
  const Text agent = UserAgent(requestHeadersRef);
  const FetchLimits limits = GetFetchLimits();

  if (!InitCurl()) return {};
  EasyHandle easy(curl_easy_init());
  if (!easy) return {};
  UrlHandle target = TargetUrl(url, secure);
  if (!target) return {};
  const Text firstHost = TargetHost(target.get());

  const Text block = ComposeHeaders(requestHeadersRef, url, cookies);
  requestHeadersRef = block;
  if (method != 0 && postBytesRef.empty()) postBytesRef = TextToBytes(postText);

  CURL* h = easy.get();
  Response response;
  response.maxBody = limits.maxBodyBytes;
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(h, CURLOPT_PATH_AS_IS, 1L);
  curl_easy_setopt(h, CURLOPT_USERAGENT, agent.c_str());
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &response);
  curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(h, CURLOPT_HEADERDATA, &response);
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, limits.connectTimeoutMs);
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, limits.idleSeconds);
  // A server that sends a byte now and then is never idle for long: only a limit on the whole
  // request ends it.
  curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, limits.transferTimeoutMs);
  curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.maxBodyBytes));
  if (!limits.caFile.empty()) curl_easy_setopt(h, CURLOPT_CAINFO, limits.caFile.c_str());
  if (!cookies && cookieShare) {
    curl_easy_setopt(h, CURLOPT_SHARE, cookieShare);
    curl_easy_setopt(h, CURLOPT_COOKIEFILE, "");
  }

  // Redirects are followed here rather than by curl, so that the response of a redirect that
  // is not followed (https to http) is the result, and each hop gets its own proxy choice.
  int verb = method;
  CURLcode outcome = CURLE_OK;
  HeaderList lines;
  for (int hop = 0;; ++hop) {
    const bool hopSecure = Scheme(target.get()) == "https";
    // A plain proxy carries http only; an https proxy setting carries both.
    const bool viaProxy = !proxy.empty() && (secure || !hopSecure);
    // An empty proxy also keeps curl from taking one from the environment.
    curl_easy_setopt(h, CURLOPT_PROXY, viaProxy ? proxy.c_str() : "");
    curl_easy_setopt(h, CURLOPT_NOPROXY, "");
    curl_easy_setopt(h, CURLOPT_CURLU, target.get());
    // The caller's cookies stay with the caller's site.
    lines = HeaderLines(block, TargetHost(target.get()) == firstHost);
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, lines.get());
    curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, nullptr);
    if (verb == 0) {
      curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    } else if (verb == 2 && postBytesRef.empty()) {
      curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
    } else {
      curl_easy_setopt(h, CURLOPT_NOBODY, 0L);
      curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE,
                       static_cast<curl_off_t>(postBytesRef.size()));
      curl_easy_setopt(h, CURLOPT_POSTFIELDS,
                       postBytesRef.empty() ? static_cast<const void*>("")
                                            : static_cast<const void*>(postBytesRef.data()));
      if (verb == 2) curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, "HEAD");
    }

    response.body.clear();
    response.headers.clear();
    response.headersComplete = false;
    response.endAfterHeaders = verb == 2 && !postBytesRef.empty();
    response.endedAfterHeaders = false;
    outcome = curl_easy_perform(h);
    if (outcome == CURLE_WRITE_ERROR && response.endedAfterHeaders) outcome = CURLE_OK;
    if (outcome != CURLE_OK || noRedirect) break;

    long status = 0;
    char* location = nullptr;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_getinfo(h, CURLINFO_REDIRECT_URL, &location);
    if (!IsRedirect(status) || !location) break;
    UrlHandle next(curl_url());
    if (!next || curl_url_set(next.get(), CURLUPART_URL, location, 0) != CURLUE_OK) break;
    const Text nextScheme = Scheme(next.get());
    if (nextScheme != "https" && (hopSecure || nextScheme != "http")) break;
    if (hop >= limits.maxRedirects) {
      outcome = CURLE_TOO_MANY_REDIRECTS;
      break;
    }
    // As browsers do, a POST answered by 301, 302 or 303 goes on as a GET.
    if (verb == 1 && (status == 301 || status == 302 || status == 303)) verb = 0;
    target = std::move(next);
  }

  Bytes body;
  if (outcome == CURLE_OK) body = std::move(response.body);
  easy.reset();

  // The block must fit the header area together with its terminating zero.
  if (response.headersComplete && TextLength(response.headers) < kHeaderArea) {
    responseHeadersRef = response.headers;
  } else {
    responseHeadersRef = BlankText(kHeaderArea);
  }
  responseHeadersRef = ReplaceText(responseHeadersRef, "Set-Cookie", "Set-Cookie", true);

  Text found;
  TextArray headerLines = SplitText(responseHeadersRef, "\r\n");
  for (int i = 1; i <= ArrayCount(headerLines); ++i) {
    Text line = ArrayMember(headerLines, i);
    if (FindText(line, "Set-Cookie") == -1) continue;
    Text entry = FindText(line, ";") != -1 ? TrimText(TextBetween(line, "Set-Cookie:", ";"))
                                           : TrimText(ReplaceText(line, "Set-Cookie:", {}, true));
    found += Concat(entry, "; ");
  }
  cookiesOutRef = TextLeft(found, TextLength(found) - 2);
  if (cookies) cookiesOutRef = MergeCookies(*cookies, cookiesOutRef);
  return body;
}
