// The one share the scripted resolver tests serve: its links and the
// addresses the resolver composes for it.
#pragma once

#include <string>

#include "resolver/origin.h"

namespace scripted_share {

inline const std::string O(ServiceOrigin);
inline const std::string kShortLink = O + "/s/1AbCd";
inline const std::string kLongLink = O + "/share/link?shareid=111&uk=222";
inline const std::string kVerifyUrl =
    O + "/share/verify?shareid=111&uk=222&t=1700000000123&channel=chunlei&clienttype=0&web=1";
inline const std::string kDownloadUrl =
    O + "/share/download?channel=chunlei&clienttype=0&web=1&uk=222&shareid=111&timestamp=1700000000"
        "&sign=s1gn&bdstoken=null";

}  // namespace scripted_share
