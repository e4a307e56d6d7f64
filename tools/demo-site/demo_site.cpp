#include "demo_site.h"

#include <httplib.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

namespace {

constexpr int kBookId = 1537326;
constexpr int kFirstChapterId = 1000000;
constexpr const char* kHtmlType = "text/html; charset=utf-8";
// httplib listens with a backlog of 5; hundreds of clients connecting at once would have their
// connection attempts dropped and retried a second later.
constexpr int kListenBacklog = 1024;

const char* const kChapterNames[] = {
    "初入江湖", "夜雨孤灯", "山门之外", "一封旧信", "长街风起", "石桥夜话", "塔中之谜",
    "故人重逢", "归途",     "剑谱三页", "茶馆说书", "雪夜来客", "渡口",     "灯火阑珊",
    "城南旧事", "风雨欲来", "不速之客", "月下比剑", "远行",     "天亮以前",
};

// Sentences that paragraphs are built from. None holds a navigation word of the site or its
// advert markers, and none can form one with a neighbour. Some carry ASCII and characters that
// the pages write as character references.
const char* const kSentences[] = {
    "夜色渐深，城外的风吹过长街。",
    "少年握紧手中的长剑，目光落在远处的山门上。",
    "老人轻轻叹了一口气，说道：“这条路，终究要你自己去走。”",
    "街角的茶馆里，说书人正讲到最热闹的地方。",
    "他从怀里取出一封旧信，信纸早已泛黄。",
    "雨水顺着屋檐落下，打湿了门前的石阶。",
    "远处传来几声钟响，惊起一群飞鸟。",
    "她笑了笑，把灯笼挂在窗前。",
    "没有人知道那座塔里藏着什么。",
    "山路崎岖，马车走得很慢。",
    "掌柜的算盘打得噼啪作响，伙计们忙个不停。",
    "天边的云层里，隐约透出一线金光。",
    "“今晚不会太平。”他低声说。",
    "石桥下的河水比往年更急了。",
    "师父留下的剑谱只有三页，每一页都写满了批注。",
    "马蹄声由远及近，在客栈门口停了下来。",
    "炉火烧得正旺，屋里暖和了许多。",
    "他推开木门，院子里落满了枯叶。",
    "渡口的船家摇着橹，唱起了一支古老的歌。",
    "月光照在湖面上，像铺了一层碎银。",
    "墙上的告示写着 \"Rule #1\"，下面还有一行：A & B 两家不得私下往来。",
    "账房先生拨了拨算盘，说：“共计 1024 两，不多不少。”",
    "他在沙地上画了一个记号：x < y > z，谁也猜不透。",
    "门牌上刻着 Room 7，旁边有一行小字 'keep out'。",
    "信的末尾只有一个签名：L. Chen。",
    "城门口的守卫换了岗，新来的人个子很高。",
    "她把药碗放在桌上，转身走进了里屋。",
    "风停了，雪却下得更大了。",
};

constexpr int kNameCount = sizeof(kChapterNames) / sizeof(kChapterNames[0]);
constexpr int kSentenceCount = sizeof(kSentences) / sizeof(kSentences[0]);

uint64_t Mix(uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

bool PickedByFraction(int n, const DemoSiteOptions& options) {
  if (options.fractionFailure == DemoFailure::None || options.failFraction <= 0.0 || n < 1 ||
      n > options.chapters) {
    return false;
  }
  const double draw =
      static_cast<double>(Mix(0x5EEDull + static_cast<uint64_t>(n)) % 1000000) / 1000000.0;
  return draw < options.failFraction;
}

// Writes text as HTML: markup characters and quotes as character references, both kinds.
std::string Escape(const std::string& text) {
  static const std::pair<const char*, const char*> kRefs[] = {
      {"&", "&amp;"},
      {"<", "&lt;"},
      {">", "&gt;"},
      {"\"", "&quot;"},
      {"'", "&#39;"},
      {"\xE2\x80\x9C", "&#8220;"},
      {"\xE2\x80\x9D", "&#x201D;"},
  };
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (size_t i = 0; i < text.size();) {
    bool replaced = false;
    for (const auto& [plain, ref] : kRefs) {
      const size_t len = std::char_traits<char>::length(plain);
      if (text.compare(i, len, plain) == 0) {
        out += ref;
        i += len;
        replaced = true;
        break;
      }
    }
    if (!replaced) out += text[i++];
  }
  return out;
}

std::string ErrorPage(int status, const char* reason) {
  const std::string code = std::to_string(status);
  return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + code + " " + reason +
         "</title></head>\n<body><h1>" + code + " " + reason +
         "</h1><p>服务器暂时无法处理请求。</p>" + "</body></html>\n";
}

}  // namespace

std::string DemoTocPath() {
  return "/list/" + std::to_string(kBookId) + ".html";
}

int DemoChapterId(int n) {
  return kFirstChapterId + 13 * n + n % 3;
}

std::string DemoChapterPath(int n) {
  return "/chapter/" + std::to_string(kBookId) + "/" + std::to_string(DemoChapterId(n)) + ".html";
}

std::string DemoBookTitle(const DemoSiteOptions& options) {
  return options.bookTitle;
}

std::string DemoChapterHeading(int n) {
  const int index = ((n - 1) % kNameCount + kNameCount) % kNameCount;
  return "第" + std::to_string(n) + "章 " + kChapterNames[index];
}

std::vector<std::string> DemoChapterParagraphs(int n, const DemoSiteOptions& options) {
  std::vector<std::string> paragraphs;
  size_t total = 0;
  uint64_t state = Mix(static_cast<uint64_t>(n) * 0x100000001B3ull);
  do {
    state = Mix(state);
    const int sentences = 2 + static_cast<int>(state % 4);
    std::string paragraph;
    for (int i = 0; i < sentences; ++i) {
      state = Mix(state);
      paragraph += kSentences[state % kSentenceCount];
    }
    total += paragraph.size();
    paragraphs.push_back(std::move(paragraph));
  } while (total < static_cast<size_t>(std::max(options.chapterBytes, 0)));
  return paragraphs;
}

std::vector<int> DemoFractionChapters(const DemoSiteOptions& options) {
  std::vector<int> picked;
  for (int n = 1; n <= options.chapters; ++n) {
    if (PickedByFraction(n, options)) picked.push_back(n);
  }
  return picked;
}

bool DemoAdvertInCapitals(int n) {
  return n % 3 == 0;
}

std::string DemoTocPage(const DemoSiteOptions& options) {
  std::string page =
      "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n<title>" +
      options.bookTitle +
      "</title>\n<meta name=\"keywords\" content=\"Norvel小说网\">\n</head>\n<body>\n"
      "<div class=\"nav\"><a href=\"/\">首页</a> | <a href=\"/list/other.html\">其他作品</a> | "
      "<a href=\"/login.html\">登录</a></div>\n<h1>" +
      Escape(options.bookTitle) + "</h1>\n<p>作者：演示作者</p>\n<div class=\"list\"><dl>\n";
  for (int n = 1; n <= options.chapters; ++n) {
    page += "<dd><a href=\"" + DemoChapterPath(n) + "\">" + Escape(DemoChapterHeading(n)) +
            "</a></dd>\n";
  }
  page +=
      "</dl></div>\n<div class=\"footer\"><a href=\"/list/other.html\">返回书库</a> "
      "<a href=\"/chapter/" +
      std::to_string(kBookId) + "/index.html\">章节目录</a></div>\n</body>\n</html>\n";
  return page;
}

std::string DemoChapterPage(int n, const DemoSiteOptions& options, bool withAdvert) {
  const std::string heading = Escape(DemoChapterHeading(n));
  const std::string prev = n > 1 ? DemoChapterPath(n - 1) : DemoTocPath();
  const std::string next = n < options.chapters ? DemoChapterPath(n + 1) : DemoTocPath();
  std::string page =
      "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n<title>";
  page += heading + "_" + Escape(options.bookTitle) + "_Norvel小说网</title>\n";
  page +=
      "<style type=\"text/css\">\nbody { background: #f5f0e6; font-size: 18px; }\n"
      "#content { line-height: 2; }\n</style>\n</head>\n<body>\n<div class=\"top\">\n"
      "<div><a href=\"/\">首页</a></div>\n<div><a href=\"/login.html\">登录</a></div>\n"
      "<div><a href=\"/shelf.html\">我的书架</a> <a href=\"/history.html\">阅读记录</a></div>\n"
      "<div><a href=\"/message.html\">消息</a> (0)</div>\n"
      "<div><a href=\"/author.html\">写书</a> <a href=\"/pay.html\">充值</a></div>\n"
      "<div>看过的书</div>\n<div>Duang 一下</div>\n</div>\n"
      "<div class=\"tools\"><span>选择背景颜色</span><br /><span>选择字号</span><br />"
      "<a href=\"#\">全屏阅读</a></div>\n";
  page += "<h1>" + heading + "</h1>\n<!-- 正文开始 chapter " + std::to_string(n) + " -->\n";
  if (withAdvert) {
    page += "<div class=\"advert\">本书首发于Norvel小说网，请记住本站网址：";
    page += DemoAdvertInCapitals(n) ? "www.NORVEL.example" : "www.norvel.example";
    page += "</div>\n";
  }
  page += "<div id=\"content\">";
  bool first = true;
  for (const std::string& paragraph : DemoChapterParagraphs(n, options)) {
    if (!first) page += "<br /><br />";
    first = false;
    page += "&nbsp;&nbsp;&nbsp;&nbsp;" + Escape(paragraph);
  }
  page += "</div>\n";
  page += "<div class=\"footer\"><a href=\"" + prev + "\">上一章</a> | <a href=\"" + DemoTocPath() +
          "\">返回目录</a> | <a href=\"" + next + "\">下一章</a></div>\n";
  page +=
      "<div class=\"footer\"><a href=\"#\">添加书签</a> <a href=\"#\">发表评论</a></div>\n"
      "<script type=\"text/javascript\">var chapterId = " +
      std::to_string(DemoChapterId(n)) +
      "; if (chapterId > 0 && document.title) { document.title = document.title + \"\"; }"
      "</script>\n</body>\n</html>\n";
  return page;
}

namespace {

// Opens httplib's request processing to a warm-up run on the starting thread.
struct WarmableServer : httplib::Server {
  using httplib::Server::process_request;
};

// A request held in memory; the answer is thrown away.
struct MemoryStream : httplib::Stream {
  explicit MemoryStream(std::string request) : input(std::move(request)) {}
  bool is_readable() const override { return offset < input.size(); }
  bool is_writable() const override { return true; }
  ssize_t read(char* ptr, size_t size) override {
    const size_t n = std::min(size, input.size() - offset);
    input.copy(ptr, n, offset);
    offset += n;
    return static_cast<ssize_t>(n);
  }
  ssize_t write(const char*, size_t size) override { return static_cast<ssize_t>(size); }
  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    ip = "127.0.0.1";
    port = 0;
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    ip = "127.0.0.1";
    port = 0;
  }
  socket_t socket() const override { return INVALID_SOCKET; }

  std::string input;
  size_t offset = 0;
};

}  // namespace

struct DemoSite {
  DemoSiteOptions options;  // the book's content and the address; fixed while running
  WarmableServer server;
  std::thread listener;
  std::atomic<bool> listenerDone{false};
  int port = 0;
  int listenSocket = -1;

  mutable std::mutex mutex;
  std::condition_variable stopCv;
  bool stopping = false;
  bool stopped = false;
  DemoSiteOptions faults;  // latency and failures; may change while running
  std::map<std::string, int> counts;
  int total = 0;

  std::atomic<int> inFlight{0};
  std::atomic<int> peak{0};
};

namespace {

struct Decision {
  DemoFailure failure = DemoFailure::None;
  int latencyMs = 0;
};

// Counts the request and decides how it is answered. page: 0 the table of contents, 1..chapters
// a chapter, -1 anything else.
Decision Record(DemoSite& site, const std::string& path, int page) {
  std::lock_guard<std::mutex> lock(site.mutex);
  const int fetch = ++site.counts[path];
  ++site.total;
  Decision decision;
  decision.latencyMs = site.faults.latencyMs;
  if (page < 0) return decision;
  for (const DemoFault& fault : site.faults.faults) {
    if (fault.chapter == page) {
      if (fault.times < 0 || fetch <= fault.times) decision.failure = fault.failure;
      return decision;
    }
  }
  if (PickedByFraction(page, site.faults) &&
      (site.faults.fractionTimes < 0 || fetch <= site.faults.fractionTimes)) {
    decision.failure = site.faults.fractionFailure;
  }
  return decision;
}

// Waits up to ms milliseconds (for ever when ms < 0); false when the site began to stop.
bool Wait(DemoSite& site, int ms) {
  std::unique_lock<std::mutex> lock(site.mutex);
  if (ms < 0) {
    site.stopCv.wait(lock, [&] { return site.stopping; });
  } else {
    site.stopCv.wait_for(lock, std::chrono::milliseconds(ms), [&] { return site.stopping; });
  }
  return !site.stopping;
}

// Announces the whole body, sends only its first `sent` bytes, then drops the connection.
void CutOff(httplib::Response& res, std::string body, size_t sent) {
  const size_t length = std::max<size_t>(body.size(), 1);
  auto prefix = std::make_shared<std::string>(body.substr(0, std::min(sent, body.size())));
  res.set_content_provider(length, kHtmlType, [prefix](size_t, size_t, httplib::DataSink& sink) {
    if (!prefix->empty()) sink.write(prefix->data(), prefix->size());
    return false;
  });
}

void Answer(DemoSite& site, const httplib::Request& req, httplib::Response& res, int page) {
  const int now = site.inFlight.fetch_add(1) + 1;
  int seen = site.peak.load();
  while (now > seen && !site.peak.compare_exchange_weak(seen, now)) {
  }
  const Decision decision = Record(site, req.path, page);
  std::string body;
  if (page == 0) {
    body = DemoTocPage(site.options);
  } else if (page > 0) {
    body = DemoChapterPage(page, site.options, decision.failure != DemoFailure::NoAdvert);
  }
  if (decision.latencyMs > 0 && !Wait(site, decision.latencyMs)) {
    CutOff(res, body, 0);
  } else if (page < 0) {
    res.status = 404;
    res.set_content(ErrorPage(404, "Not Found"), kHtmlType);
  } else {
    switch (decision.failure) {
      case DemoFailure::None:
      case DemoFailure::NoAdvert:
        res.set_content(body, kHtmlType);
        break;
      case DemoFailure::EmptyBody:
        res.set_content("", kHtmlType);
        break;
      case DemoFailure::Error500:
        res.status = 500;
        res.set_content(ErrorPage(500, "Internal Server Error"), kHtmlType);
        break;
      case DemoFailure::Error500Empty:
        res.status = 500;
        break;
      case DemoFailure::Error503:
        res.status = 503;
        res.set_content(ErrorPage(503, "Service Unavailable"), kHtmlType);
        break;
      case DemoFailure::Error503Empty:
        res.status = 503;
        break;
      case DemoFailure::NotFound:
        res.status = 404;
        res.set_content(ErrorPage(404, "Not Found"), kHtmlType);
        break;
      case DemoFailure::CutBody:
        CutOff(res, body, body.size() / 2);
        break;
      case DemoFailure::Stall:
        Wait(site, -1);
        CutOff(res, body, 0);
        break;
      case DemoFailure::Drip: {
        auto shared = std::make_shared<std::string>(std::move(body));
        DemoSite* owner = &site;
        res.set_content_provider(shared->size(), kHtmlType,
                                 [shared, owner](size_t offset, size_t, httplib::DataSink& sink) {
                                   if (offset > 0 && !Wait(*owner, 1000)) return false;
                                   return sink.write(shared->data() + offset, 1);
                                 });
        break;
      }
    }
  }
  site.inFlight.fetch_sub(1);
}

int ChapterFromId(const DemoSite& site, const std::string& digits) {
  if (digits.size() > 9) return -1;
  const int id = std::stoi(digits);
  const int n = (id - kFirstChapterId) / 13;
  if (n < 1 || n > site.options.chapters || DemoChapterId(n) != id) return -1;
  return n;
}

}  // namespace

void DemoSiteDeleter::operator()(DemoSite* site) const {
  if (site == nullptr) return;
  StopDemoSite(*site);
  delete site;
}

DemoSiteHandle StartDemoSite(const DemoSiteOptions& options) {
  DemoSiteHandle site(new DemoSite);
  DemoSite* s = site.get();
  s->options = options;
  s->faults = options;
  const size_t threads = static_cast<size_t>(std::max(options.threads, 1));
  s->server.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
  s->server.set_socket_options([s](socket_t sock) {
    // httplib's default also sets SO_REUSEPORT, which would let a second site share the address
    // and take half of the requests; a busy address must make the start fail instead.
    int on = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    s->listenSocket = sock;
  });
  const time_t timeout = std::max(options.connectionTimeoutSec, 1);
  s->server.set_read_timeout(timeout, 0);
  s->server.set_write_timeout(timeout, 0);
  s->server.set_keep_alive_timeout(timeout);

  s->server.Get(DemoTocPath(), [s](const httplib::Request& req, httplib::Response& res) {
    Answer(*s, req, res, 0);
  });
  s->server.Get("/chapter/" + std::to_string(kBookId) + R"(/(\d+)\.html)",
                [s](const httplib::Request& req, httplib::Response& res) {
                  Answer(*s, req, res, ChapterFromId(*s, req.matches[1].str()));
                });
  s->server.Get(
      ".*", [s](const httplib::Request& req, httplib::Response& res) { Answer(*s, req, res, -1); });

  if (options.port == 0) {
    s->port = s->server.bind_to_any_port(options.address);
    if (s->port <= 0) return nullptr;
  } else {
    if (!s->server.bind_to_port(options.address, options.port)) return nullptr;
    s->port = options.port;
  }
  if (s->listenSocket >= 0) ::listen(s->listenSocket, kListenBacklog);

  // httplib builds function-local statics on its first request. Building them here, before the
  // server threads exist, orders them before every use, also for ThreadSanitizer, which cannot
  // see the library's own unguarded fast path.
  MemoryStream warmUp("GET /warm-up HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
  bool closed = false;
  s->server.process_request(warmUp, true, closed, [](httplib::Request&) {});
  ResetDemoRequestCounts(*s);

  s->listener = std::thread([s] {
    s->server.listen_after_bind();
    s->listenerDone = true;
  });
  // stop() only takes effect once the server reports running.
  while (!s->server.is_running() && !s->listenerDone) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return site;
}

void StopDemoSite(DemoSite& site) {
  {
    std::lock_guard<std::mutex> lock(site.mutex);
    if (site.stopped) return;
    site.stopped = true;
    site.stopping = true;
  }
  site.stopCv.notify_all();
  if (site.listener.joinable()) {
    while (!site.listenerDone) {
      site.server.stop();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    site.listener.join();
  }
}

int DemoSitePort(const DemoSite& site) {
  return site.port;
}

std::string DemoTocUrl(const DemoSite& site) {
  std::string url = "http://";
  url += site.options.address;
  if (site.port != 80) {
    url += ':';
    url += std::to_string(site.port);
  }
  url += DemoTocPath();
  return url;
}

int DemoRequestCount(const DemoSite& site, const std::string& path) {
  std::lock_guard<std::mutex> lock(site.mutex);
  const auto it = site.counts.find(path);
  return it == site.counts.end() ? 0 : it->second;
}

int DemoTotalRequests(const DemoSite& site) {
  std::lock_guard<std::mutex> lock(site.mutex);
  return site.total;
}

int DemoPeakConcurrency(const DemoSite& site) {
  return site.peak.load();
}

void ResetDemoRequestCounts(DemoSite& site) {
  std::lock_guard<std::mutex> lock(site.mutex);
  site.counts.clear();
  site.total = 0;
  site.peak = site.inFlight.load();
}

void UpdateDemoFaults(DemoSite& site, const DemoSiteOptions& options) {
  std::lock_guard<std::mutex> lock(site.mutex);
  site.faults.latencyMs = options.latencyMs;
  site.faults.faults = options.faults;
  site.faults.fractionFailure = options.fractionFailure;
  site.faults.failFraction = options.failFraction;
  site.faults.fractionTimes = options.fractionTimes;
}
