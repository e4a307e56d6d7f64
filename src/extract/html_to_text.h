// Renders the markup of a fetched page as plain text, the way a browser's innerText reads it.
//
// Promises:
// - Input: the whole page in GBK, head included. Result: the text of the page's body in GBK;
//   empty Text when nothing renders.
// - Line breaks are CR LF. A block boundary, a table row and <br> start a new line; paragraphs are
//   separated by a blank line; table cells on one row are separated by a tab.
// - No markup is left and character references are decoded. Comments and the content of script,
//   style, head, title, template, noscript, embedded objects, form text areas and any element
//   with the `hidden` attribute are not rendered.
// - Runs of spaces, tabs and line breaks in the source become one space, and no space is left at
//   the start or end of a line. No-break spaces are kept and come out as ASCII spaces. Inside
//   <pre> the source's white space and line breaks are kept.
// - Pages nested deeper than a browser would nest them are rendered with the excess tags left out
//   (their text stays), so any page renders in time and within the stack.
// - Safe from any number of threads at once: every call parses on its own, nothing is cached.
#pragma once

#include <string_view>

#include "text/text_ops.h"

Text HtmlToText(std::string_view html);
