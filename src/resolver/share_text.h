// Finding every share in a pasted text: the share messages people copy from
// chats ("链接: … 提取码: …"), several at once, in UTF-8 or code page 936.
// Both front ends use it: the command line for its inputs, the window as a
// second chance for a link box the link test refuses.
#pragma once

#include <string_view>
#include <vector>

#include "text/text.h"

// One share in the form the resolver takes. `link` is ServiceOrigin followed
// by "/s/1<id>" or by "/share/link?shareid=<digits>&uk=<digits>"; `code` is
// four ASCII letters or digits, or "" when the text gives none. Both are ASCII.
struct ParsedShare {
  Text link;
  Text code;
  bool operator==(const ParsedShare&) const = default;
};

// Every share of the service's own host (http or https, the origin's port) in
// the text, in the order of first appearance, each link once.
// - The text is read as UTF-8 when it is valid UTF-8, and as code page 936 otherwise.
// - Forms: "/s/1<id>", "/share/link?…shareid=N…uk=M…", "/share/init?surl=<id>"
//   (the same share as "/s/1<id>"). The canonical link takes the origin's scheme.
// - The code is the link's own "pwd=" parameter, or else the first code after
//   the link and before the next http(s) link, given by a marker (提取码,
//   提取密码, 密码, 访问码, code, pwd) and a colon (ASCII or full-width) or a space.
//   A code is exactly four ASCII letters or digits not followed by another.
// - Zero-width characters are skipped anywhere, even inside a link; spaces and
//   punctuation end a link.
// - A link given twice keeps the code of the first occurrence that has one.
std::vector<ParsedShare> FindShares(std::string_view text);
