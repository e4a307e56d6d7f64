// One complete, synchronous HTTP or HTTPS request, returning the response body.
//
// Promises:
// - Every call is self-contained: its own connection, nothing reused from earlier calls. The only
//   state shared between calls is one process-wide in-memory cookie store, used whenever the
//   caller omits `cookies` and left untouched when it supplies them.
// - The request carries exactly the composed header block (returned in `requestHeaders`), the
//   default user agent unless the caller's headers name one, and no header of the client's own
//   apart from Host and the body length. HTTPS certificates are checked against the system's
//   trust store. Redirects are followed (http to http or https, https to https) unless
//   `noRedirect`; a redirect from https to http is not followed and its response is the result.
// - Failures are quiet: no connection within 60 s, nothing received for 60 s, a body above
//   64 MiB, or any other failed transfer gives the empty body. The status code is not examined.
// - Any number of threads may call it at once; each call blocks its thread until it is done.
#pragma once

#include "text/text_ops.h"

// `method`: 0 GET, 1 POST, 2 HEAD; anything else is GET. `postText` is the body when `postBytes`
// is empty. In/out and out arguments are pointers; nullptr means omitted. A supplied `cookies`,
// even an empty one, bypasses the shared cookie store, goes out as the Cookie line and gets the
// response's cookies merged in (so do `cookiesOut`). `cookiesOut` receives the response's cookies
// as "name=value" entries joined by "; ". `requestHeaders` holds extra lines separated by CR LF on
// entry and the whole block that was sent on return. `responseHeaders` receives the final
// response's status and header lines, each ended by CR LF (5000 spaces when the block is 5000
// bytes or more, or missing). `proxy` is "host:port"; empty means a direct connection.
Bytes FetchPage(const Text& url, int method = 0, const Text& postText = {}, Text* cookies = nullptr,
                Text* cookiesOut = nullptr, Text* requestHeaders = nullptr,
                Text* responseHeaders = nullptr, bool noRedirect = false,
                Bytes* postBytes = nullptr, const Text& proxy = {});
