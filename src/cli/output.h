// How the command writes a share's outcome: the direct link on its own line,
// an error line, or one JSON object.
#pragma once

#include <string>

#include "cli/batch.h"

// "error: LINK: REASON"
std::string ErrorLine(const ShareResult& result);
// {"link":…,"code":…,"file":…,"dlink":…,"ok":…,"error":…} on one line, always valid UTF-8;
// with "saved" (the downloaded file) and "aria2_gid" when there are such.
std::string JsonLine(const ShareResult& result);
