// What the resolver learns, kept for the life of the process.
#pragma once

#include <string>

#include "http/cookies.h"
#include "text/text.h"

struct ResolverState {
  Text extractionCode;   // the code of the most recent resolution
  Text redirectHeaders;  // raw answer headers of the most recent short-link probe
  Text shareQuery;       // the link's text after its last "?"
  Text verifyUrl;        // the password-verification address, posted when a code is given
  Text verifyBody;
  Text responseText;     // the share page, then the most recent download answer
  CookieText cookieJar;  // the service's cookies; only ever merged into
  Text fileName;         // URL-decoded into code page 936
  Text shareId;
  Text shareUk;
  Text fsId;
  Text shareTimestamp;
  Text shareSign;
  Text downloadUrl;
  Text downloadBody;
  Text dlink;            // the direct download link
  Text captchaImageUrl;
  Text vcode;            // the captcha token: the image address's text after its last "?"

  // Why the most recent resolution gave no link ("" when it gave one); the
  // window does not show it, the command line does.
  std::string failure;
  // Set while the captcha loop runs, so that a press during its wait does not
  // start another one.
  bool captchaLoopRunning = false;
};

// Releases every text, in field order; called once as the process ends.
void ReleaseResolverState(ResolverState& state);
