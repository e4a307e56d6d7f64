#include "extract/html_to_text.h"

#include <gumbo.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "text/codepage.h"

namespace {

// --- Nesting bound ---------------------------------------------------------------------------

// The HTML parser's cost grows with the square of the nesting depth, so tags that would nest
// deeper than this are left out before parsing. Browsers cap their trees at a similar depth.
constexpr int kMaxNesting = 1024;

bool StartsWithNoCase(std::string_view text, size_t pos, std::string_view word) {
  if (pos + word.size() > text.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    char c = text[pos + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != word[i]) return false;
  }
  return true;
}

bool IsTagNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == ':';
}

// Elements that never hold children or whose end tags the parser implies: they do not deepen
// the tree as their tags suggest, so they are not counted.
bool CountsForNesting(std::string_view name) {
  static constexpr std::string_view kUncounted[] = {
      "area",  "base",     "basefont", "bgsound",  "body",   "br",     "caption",
      "col",   "colgroup", "dd",       "dt",       "embed",  "frame",  "head",
      "hr",    "html",     "img",      "image",    "input",  "keygen", "li",
      "link",  "menuitem", "meta",     "optgroup", "option", "p",      "param",
      "rb",    "rp",       "rt",       "rtc",      "source", "tbody",  "td",
      "tfoot", "th",       "thead",    "tr",       "track",  "wbr"};
  for (const std::string_view word : kUncounted) {
    if (name == word) return false;
  }
  return true;
}

bool IsRawTextElement(std::string_view name) {
  static constexpr std::string_view kRaw[] = {"script", "style",  "textarea", "title",
                                              "xmp",    "iframe", "noembed",  "noframes"};
  for (const std::string_view word : kRaw) {
    if (name == word) return true;
  }
  return false;
}

// The input with the start tags that would nest deeper than kMaxNesting (and as many end tags
// after them) left out; the input itself when nothing nests that deep.
std::string BoundNesting(std::string html) {
  std::vector<std::pair<size_t, size_t>> drops;
  // The elements open at this point, as the parser would hold them, and per name how many are
  // open and how many start tags were left out.
  std::vector<std::string> open;
  std::unordered_map<std::string, std::pair<int, int>> counts;
  size_t pos = 0;
  while ((pos = html.find('<', pos)) != std::string::npos) {
    const size_t tagStart = pos;
    if (html.compare(pos, 4, "<!--") == 0) {
      const size_t end = html.find("-->", pos + 4);
      if (end == std::string::npos) break;
      pos = end + 3;
      continue;
    }
    const bool endTag = pos + 1 < html.size() && html[pos + 1] == '/';
    size_t nameStart = pos + (endTag ? 2 : 1);
    if (nameStart >= html.size() || !std::isalpha(static_cast<unsigned char>(html[nameStart]))) {
      pos = nameStart;
      continue;
    }
    size_t nameEnd = nameStart;
    std::string name;
    while (nameEnd < html.size() && IsTagNameChar(html[nameEnd])) {
      name += static_cast<char>(std::tolower(static_cast<unsigned char>(html[nameEnd])));
      ++nameEnd;
    }
    // The tag ends at the first '>' outside a quoted attribute value.
    size_t end = nameEnd;
    char quote = 0;
    while (end < html.size() && (quote != 0 || html[end] != '>')) {
      if (quote != 0 && html[end] == quote) {
        quote = 0;
      } else if (quote == 0 && (html[end] == '"' || html[end] == '\'')) {
        quote = html[end];
      }
      ++end;
    }
    if (end >= html.size()) break;
    pos = end + 1;
    if (IsRawTextElement(name)) {
      if (endTag) continue;
      // Up to the matching end tag everything is text; a "<div>" inside a script is no tag.
      size_t close = pos;
      while ((close = html.find("</", close)) != std::string::npos &&
             !StartsWithNoCase(html, close + 2, name)) {
        close += 2;
      }
      pos = close == std::string::npos ? html.size() : close;
      continue;
    }
    if (!CountsForNesting(name)) continue;
    auto& [openCount, leftOut] = counts[name];
    if (endTag) {
      if (openCount > 0) {
        // The end tag closes its element and everything opened inside it.
        while (!open.empty()) {
          const std::string last = std::move(open.back());
          open.pop_back();
          --counts[last].first;
          if (last == name) break;
        }
      } else if (leftOut > 0) {
        --leftOut;
        drops.emplace_back(tagStart, pos);
      }
      continue;  // an end tag without a start tag: the parser ignores it too
    }
    if (html[end - 1] == '/') continue;  // self-closing, as in foreign content
    if (open.size() >= static_cast<size_t>(kMaxNesting)) {
      ++leftOut;
      drops.emplace_back(tagStart, pos);
    } else {
      ++openCount;
      open.push_back(name);
    }
  }
  if (drops.empty()) return html;
  std::string bounded;
  bounded.reserve(html.size());
  size_t copied = 0;
  for (const auto& [from, to] : drops) {
    bounded.append(html, copied, from - copied);
    copied = to;
  }
  bounded.append(html, copied);
  return bounded;
}

// --- Parser memory -----------------------------------------------------------------------------

// The parser allocates from an arena that is dropped whole after the walk: no per-node frees, and
// none of the parser's own recursion over the tree when it is destroyed.
class Arena {
 public:
  Arena() = default;
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;
  ~Arena() {
    for (void* block : blocks)
      std::free(block);
  }

  void* Allocate(size_t size) {
    size = (size + 15) & ~static_cast<size_t>(15);
    if (size > kBlockSize / 4) return Keep(std::malloc(size));
    if (size > left) {
      current = static_cast<char*>(Keep(std::malloc(kBlockSize)));
      left = current == nullptr ? 0 : kBlockSize;
      if (current == nullptr) return nullptr;
    }
    void* result = current;
    current += size;
    left -= size;
    return result;
  }

  static void* AllocateHook(void* arena, size_t size) {
    return static_cast<Arena*>(arena)->Allocate(size);
  }
  static void FreeHook(void*, void*) {}

 private:
  static constexpr size_t kBlockSize = 64 * 1024;

  void* Keep(void* block) {
    if (block != nullptr) blocks.push_back(block);
    return block;
  }

  std::vector<void*> blocks;
  char* current = nullptr;
  size_t left = 0;
};

// --- Rendering -------------------------------------------------------------------------------

bool IsSkipped(const GumboNode& node) {
  switch (node.v.element.tag) {
    case GUMBO_TAG_HEAD:
    case GUMBO_TAG_TITLE:
    case GUMBO_TAG_SCRIPT:
    case GUMBO_TAG_STYLE:
    case GUMBO_TAG_TEMPLATE:
    case GUMBO_TAG_NOSCRIPT:
    case GUMBO_TAG_IFRAME:
    case GUMBO_TAG_OBJECT:
    case GUMBO_TAG_EMBED:
    case GUMBO_TAG_CANVAS:
    case GUMBO_TAG_VIDEO:
    case GUMBO_TAG_AUDIO:
    case GUMBO_TAG_TEXTAREA:
    case GUMBO_TAG_NOEMBED:
    case GUMBO_TAG_NOFRAMES:
      return true;
    default:
      return gumbo_get_attribute(&node.v.element.attributes, "hidden") != nullptr;
  }
}

// Line breaks an element asks for before and after itself.
int BreaksAround(GumboTag tag) {
  switch (tag) {
    case GUMBO_TAG_P:
      return 2;
    case GUMBO_TAG_ADDRESS:
    case GUMBO_TAG_ARTICLE:
    case GUMBO_TAG_ASIDE:
    case GUMBO_TAG_BLOCKQUOTE:
    case GUMBO_TAG_CAPTION:
    case GUMBO_TAG_CENTER:
    case GUMBO_TAG_DD:
    case GUMBO_TAG_DETAILS:
    case GUMBO_TAG_DIR:
    case GUMBO_TAG_DIV:
    case GUMBO_TAG_DL:
    case GUMBO_TAG_DT:
    case GUMBO_TAG_FIELDSET:
    case GUMBO_TAG_FIGCAPTION:
    case GUMBO_TAG_FIGURE:
    case GUMBO_TAG_FOOTER:
    case GUMBO_TAG_FORM:
    case GUMBO_TAG_FRAMESET:
    case GUMBO_TAG_H1:
    case GUMBO_TAG_H2:
    case GUMBO_TAG_H3:
    case GUMBO_TAG_H4:
    case GUMBO_TAG_H5:
    case GUMBO_TAG_H6:
    case GUMBO_TAG_HEADER:
    case GUMBO_TAG_HGROUP:
    case GUMBO_TAG_HR:
    case GUMBO_TAG_LEGEND:
    case GUMBO_TAG_LI:
    case GUMBO_TAG_LISTING:
    case GUMBO_TAG_MAIN:
    case GUMBO_TAG_MENU:
    case GUMBO_TAG_NAV:
    case GUMBO_TAG_OL:
    case GUMBO_TAG_PLAINTEXT:
    case GUMBO_TAG_PRE:
    case GUMBO_TAG_SECTION:
    case GUMBO_TAG_SUMMARY:
    case GUMBO_TAG_TABLE:
    case GUMBO_TAG_TR:
    case GUMBO_TAG_UL:
    case GUMBO_TAG_XMP:
      return 1;
    default:
      return 0;
  }
}

bool KeepsWhiteSpace(GumboTag tag) {
  return tag == GUMBO_TAG_PRE || tag == GUMBO_TAG_LISTING || tag == GUMBO_TAG_XMP ||
         tag == GUMBO_TAG_PLAINTEXT;
}

bool IsCell(const GumboNode* node) {
  return node->type == GUMBO_NODE_ELEMENT &&
         (node->v.element.tag == GUMBO_TAG_TD || node->v.element.tag == GUMBO_TAG_TH);
}

// A table cell followed by another cell of its row.
bool HasNextCell(const GumboNode& cell) {
  if (cell.parent == nullptr || cell.parent->type != GUMBO_NODE_ELEMENT) return false;
  const GumboVector& siblings = cell.parent->v.element.children;
  for (unsigned i = static_cast<unsigned>(cell.index_within_parent) + 1; i < siblings.length; ++i) {
    const auto* sibling = static_cast<const GumboNode*>(siblings.data[i]);
    if (sibling->type == GUMBO_NODE_ELEMENT) return IsCell(sibling);
  }
  return false;
}

bool IsCollapsible(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// Writes UTF-8 text with CR LF breaks. Line breaks that blocks ask for are held back until
// content follows, so none is written at the start or the end, and the larger of two adjacent
// requests wins; the breaks that <br> already wrote count towards a request.
class Writer {
 public:
  void RequestBreaks(int count) {
    pendingBreaks = std::max(pendingBreaks, count);
    pendingSpace = false;
  }

  void LineBreak() {
    FlushBreaks();
    out += "\r\n";
    ++trailingBreaks;
    lineHasContent = false;
    pendingSpace = false;
  }

  void Tab() {
    FlushBreaks();
    out += '\t';
    trailingBreaks = 0;
    lineHasContent = false;  // the next cell's leading white space is dropped like a line's
    pendingSpace = false;
  }

  void Flowing(std::string_view text) {
    size_t pos = 0;
    while (pos < text.size()) {
      if (IsCollapsible(text[pos])) {
        if (lineHasContent) pendingSpace = true;
        ++pos;
        continue;
      }
      size_t end = pos;
      while (end < text.size() && !IsCollapsible(text[end]))
        ++end;
      FlushBreaks();
      if (pendingSpace && lineHasContent) out += ' ';
      pendingSpace = false;
      out.append(text, pos, end - pos);
      lineHasContent = true;
      trailingBreaks = 0;
      pos = end;
    }
  }

  void Preformatted(std::string_view text) {
    if (text.empty()) return;
    FlushBreaks();
    pendingSpace = false;
    for (size_t i = 0; i < text.size(); ++i) {
      const char c = text[i];
      if (c == '\n' || c == '\r') {
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        out += "\r\n";
        ++trailingBreaks;
        lineHasContent = false;
      } else {
        out += c;
        trailingBreaks = 0;
        lineHasContent = true;
      }
    }
  }

  std::string Take() { return std::move(out); }

 private:
  void FlushBreaks() {
    if (pendingBreaks > 0 && !out.empty()) {
      for (int i = trailingBreaks; i < pendingBreaks; ++i)
        out += "\r\n";
      trailingBreaks = std::max(trailingBreaks, pendingBreaks);
      lineHasContent = false;
    }
    pendingBreaks = 0;
  }

  std::string out;
  int pendingBreaks = 0;
  int trailingBreaks = 0;
  bool pendingSpace = false;
  bool lineHasContent = false;
};

const GumboVector& ChildrenOf(const GumboNode& node) {
  return node.type == GUMBO_NODE_DOCUMENT ? node.v.document.children : node.v.element.children;
}

// Walks the tree with an explicit stack, so the depth of the page never reaches the call stack.
std::string Render(const GumboNode& root) {
  Writer writer;
  std::vector<std::pair<const GumboNode*, unsigned>> stack;
  stack.emplace_back(&root, 0);
  int keepWhiteSpace = 0;
  while (!stack.empty()) {
    const GumboNode* node = stack.back().first;
    const GumboVector& children = ChildrenOf(*node);
    if (stack.back().second < children.length) {
      const auto* child = static_cast<const GumboNode*>(children.data[stack.back().second++]);
      switch (child->type) {
        case GUMBO_NODE_TEXT:
        case GUMBO_NODE_WHITESPACE:
        case GUMBO_NODE_CDATA:
          if (keepWhiteSpace > 0) {
            writer.Preformatted(child->v.text.text);
          } else {
            writer.Flowing(child->v.text.text);
          }
          break;
        case GUMBO_NODE_ELEMENT: {
          if (IsSkipped(*child)) break;
          const GumboTag tag = child->v.element.tag;
          if (tag == GUMBO_TAG_BR) {
            writer.LineBreak();
            break;
          }
          if (const int breaks = BreaksAround(tag); breaks > 0) writer.RequestBreaks(breaks);
          if (KeepsWhiteSpace(tag)) ++keepWhiteSpace;
          stack.emplace_back(child, 0);
          break;
        }
        default:
          break;  // comments, templates and the document type render nothing
      }
      continue;
    }
    if (node->type == GUMBO_NODE_ELEMENT) {
      const GumboTag tag = node->v.element.tag;
      if (KeepsWhiteSpace(tag)) --keepWhiteSpace;
      if (const int breaks = BreaksAround(tag); breaks > 0) writer.RequestBreaks(breaks);
      if (IsCell(node) && HasNextCell(*node)) writer.Tab();
    }
    stack.pop_back();
  }
  return writer.Take();
}

}  // namespace

Text HtmlToText(std::string_view html) {
  if (html.empty()) return Text();
  const std::string markup = BoundNesting(GbkToUtf8(html));
  Arena arena;
  GumboOptions options = kGumboDefaultOptions;
  options.allocator = &Arena::AllocateHook;
  options.deallocator = &Arena::FreeHook;
  options.userdata = &arena;
  options.max_errors = 0;
  GumboOutput* output = gumbo_parse_with_options(&options, markup.data(), markup.size());
  if (output == nullptr || output->document == nullptr) return Text();
  return Utf8ToAnsi(Render(*output->document));
}
