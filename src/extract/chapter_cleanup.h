// The cleanup that turns the rendered text of a chapter page into the chapter's text: blank lines
// out, the site's advert span cut, the site's navigation lines dropped.
//
// Promises:
// - Every function returns a fresh Text and leaves its arguments alone. Nothing throws.
// - Safe from any number of threads at once: `StripBlankLines` uses a regular-expression object of
//   its own per call, the others read only their arguments and the constant tables below.
#pragma once

#include <array>
#include <string_view>

#include "text/text_ops.h"

// The advert line of the site's chapter pages starts with "本书首发" (GBK) and runs through the
// site's domain, which may be written in any case.
inline constexpr std::string_view chapterStartMarker = "\xb1\xbe\xca\xe9\xca\xd7\xb7\xa2";
inline constexpr std::string_view chapterEndMarker = "norvel.example";

// Words that mark a line as the site's navigation, in GBK, tried in this order.
inline constexpr std::array<std::string_view, 17> navigationWords = {
    "\xb5\xc7\xc2\xbc",  // 登录
    "\xbf\xb4\xb9\xfd",  // 看过
    "Duang",
    "\xca\xe9\xbc\xdc ",                                 // 书架 followed by a space
    "\xcf\xfb\xcf\xa2",                                  // 消息
    "\xd0\xb4\xca\xe9",                                  // 写书
    "\xb3\xe4\xd6\xb5",                                  // 充值
    "\xca\xd7\xd2\xb3",                                  // 首页
    "Norvel\xd0\xa1\xcb\xb5\xcd\xf8",                    // Norvel小说网
    "\xc8\xab\xc6\xc1\xd4\xc4\xb6\xc1",                  // 全屏阅读
    "\xb7\xa2\xb1\xed\xc6\xc0\xc2\xdb",                  // 发表评论
    "\xb7\xb5\xbb\xd8\xc4\xbf\xc2\xbc",                  // 返回目录
    "\xcc\xed\xbc\xd3\xca\xe9\xc7\xa9",                  // 添加书签
    "\xc9\xcf\xd2\xbb\xd5\xc2",                          // 上一章
    "\xcf\xc2\xd2\xbb\xd5\xc2",                          // 下一章
    "\xd1\xa1\xd4\xf1\xb1\xb3\xbe\xb0\xd1\xd5\xc9\xab",  // 选择背景颜色
    "\xd1\xa1\xd4\xf1\xd7\xd6\xba\xc5",                  // 选择字号
};

// Drops one CR LF at the start and one at the end, then every line that is empty or holds only
// white space together with the line break before it. Indentation of other lines stays. Empty
// Text when the regular expression cannot run.
Text StripBlankLines(std::string_view text);

// Removes the span from the first `startMarker` through the first `endMarker` at or after it
// (both searched ignoring ASCII case). Without a start marker the result is empty Text. With a
// start marker but no end marker after it, only the line holding the start marker is removed,
// its line break included, so the chapter is kept.
Text CutBetweenMarkers(std::string_view text, std::string_view startMarker,
                       std::string_view endMarker);

// Lines 1 to `count` that hold none of the navigation words (case respected), each followed by
// CR LF. A count beyond the array is read as the array's own count.
Text FilterNavigationLines(int count, const TextArray& lines);
