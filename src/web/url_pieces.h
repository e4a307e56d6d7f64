// Cutting a URL into host, port and path, and the value out of a header text.
//
// Promises:
// - Plain text cuts, no general URL parser: a missing scheme counts as "http://", a missing path
//   as "/", a port that is not a number as 0. Hosts come back in lower case; paths keep the
//   caller's letter case and carry query and fragment with them.
// - Pure functions; any thread may call them at any time.
#pragma once

#include <optional>

#include "text/text_ops.h"

// The host of `url`. With `suffixDots` omitted the host is cut from the scheme to the first "/"
// (`domainOnly`: only its last two labels). With `suffixDots` given, the last `suffixDots` + 2
// labels are kept (`domainOnly`: `suffixDots` + 1). `keepPort` keeps a ":port" that follows.
Text UrlHost(const Text& url, bool domainOnly = false, bool keepPort = false,
             std::optional<int> suffixDots = std::nullopt);

// The port after the host's last colon; without one, 443 for "https" URLs and 80 otherwise.
int UrlPort(const Text& url);

// Everything from the first "/" after the host to the end, or "/" when there is none.
Text UrlPath(const Text& url);

// The trimmed text after the first colon of `header` (further lines included); empty without one.
Text HeaderValue(const Text& header);
