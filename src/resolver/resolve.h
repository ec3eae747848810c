// Turning a share link and its extraction code into the file's direct link.
#pragma once

#include "resolver/platform.h"
#include "resolver/state.h"

inline constexpr std::u16string_view kForeignLinkWarning = u"您输入的地址并非百度网盘的地址！";
inline constexpr std::u16string_view kForeignLinkCaption = u"友情提示：";

// Whether the link begins with the service's origin and "/", byte for byte:
// the only links the resolver takes.
bool IsServiceLink(std::string_view link);

// The direct download link, or "" when there is none. A short link in `link`
// is replaced by its redirect target; `code` is not changed.
Text ResolveShareLink(Text& link, const Text& code, ResolverState& state, ResolverPlatform& platform);

// The captcha window's confirm button: posts the answer with the captcha token
// until the service stops asking, then closes the window.
void ResubmitWithCaptcha(ResolverState& state, ResolverPlatform& platform);
