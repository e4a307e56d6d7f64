#include "web/cookies.h"

#include <vector>

namespace {

struct CookieList {
  std::vector<Text> names;
  std::vector<Text> values;
};

CookieList ParseCookies(const Text& cookies) {
  CookieList list;
  TextArray members = SplitText(cookies, ";");
  for (int i = 1; i <= ArrayCount(members); ++i) {
    Text member = ArrayMember(members, i);
    list.names.push_back(CookieName(member));
    list.values.push_back(CookieValue(member));
  }
  return list;
}

}  // namespace

Text CookieName(const Text& entry) {
  int eq = FindText(entry, "=");
  return TrimText(eq == -1 ? entry : TextLeft(entry, eq - 1));
}

Text CookieValue(const Text& entry) {
  int eq = FindText(entry, "=");
  if (eq == -1) return {};
  return TextRight(entry, TextLength(entry) - eq);
}

Text MergeCookies(Text& old, Text& fresh) {
  old = RemoveSpaces(old);
  fresh = RemoveSpaces(fresh);
  if (fresh.empty()) return old;

  CookieList kept = ParseCookies(old);
  CookieList incoming = ParseCookies(fresh);
  for (size_t k = 0; k < incoming.names.size(); ++k) {
    size_t l = 0;
    while (l < kept.names.size() && CompareText(kept.names[l], incoming.names[k]) != 0)
      ++l;
    if (l < kept.names.size()) {
      kept.values[l] = incoming.values[k];
    } else {
      kept.names.push_back(incoming.names[k]);
      kept.values.push_back(incoming.values[k]);
    }
  }

  old.clear();
  for (size_t l = 0; l < kept.names.size(); ++l) {
    const Text& value = kept.values[l];
    if (value == "deleted" || kept.names[l].empty() || value.empty()) continue;
    old += Concat(kept.names[l], "=", value, ";");
  }
  return old;
}
