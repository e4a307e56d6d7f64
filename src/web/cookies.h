// Folding the cookies a response set into a caller's own cookie string.
//
// Promises:
// - A cookie string is entries separated by ";"; each entry is name "=" value. Spaces (ASCII and
//   full-width) carry no meaning and are removed everywhere, inside values too.
// - The merged string lists each kept entry as "name=value;", a ";" after the last one too. New
//   values replace the first old entry of the same name (names compare exactly, letter case
//   counts), new names are appended, and entries whose value is empty or "deleted" are dropped.
// - No state; concurrent calls on different variables are independent.
#pragma once

#include "text/text_ops.h"

// Returns the merged string. Both arguments are replaced by their space-free forms, and `old`
// finally holds the result. When `fresh` is empty, `old` is returned space-free and otherwise
// unchanged.
Text MergeCookies(Text& old, Text& fresh);

// The trimmed text before the first "="; the whole entry, trimmed, when there is none.
Text CookieName(const Text& entry);
// The text after the first "=", untrimmed; empty when there is none.
Text CookieValue(const Text& entry);
