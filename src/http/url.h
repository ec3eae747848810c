// Splitting a link into what the connect and open-request calls need. Links
// may start with "http://" or "https://" in any letter case, or have no
// scheme (http). Nothing fails: a malformed link gives what the rules give and
// the request that follows fails instead.
#pragma once

#include <string_view>

#include "text/text.h"

// The host in lower case; with keepPort followed by ":" and the port when the link names one.
Text UrlHost(std::string_view url, bool keepPort = false);
// The port to connect to: the link's own, or 443 for https and 80 otherwise.
int UrlPort(std::string_view url);
// The object name: from the first "/" after the first place the host's text
// occurs (which may lie inside the scheme), query and fragment included; at least "/".
Text UrlPath(std::string_view url);
