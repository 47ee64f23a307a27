// Taking a web address apart for the page fetch. The address may carry
// "http://", "https://" or no scheme, any letter case, and a trailing "/" or
// none. Nothing else is parsed (no user names, bracketed IPv6 hosts or
// fragments): odd input gives odd parts, never an error.
#pragma once

#include "text/text.h"

namespace velmora {

// The host, lower-cased: everything after the scheme up to the next "/", so a
// query straight after the host belongs to it. An address without "https://" at
// its start is read as http, and when "http://" stands anywhere in it the host is
// taken after that occurrence. `domainOnly` keeps the last two dot-separated
// labels (before the port is cut); without `keepPort` the host ends at its first ":".
Text UrlHost(const Text& url, bool domainOnly = false, bool keepPort = false);

// The number after the host's last ":"; without one, 443 when the address starts
// with "https" in any case (no "://" needed) and 80 otherwise. "host:" gives 0.
int UrlPort(const Text& url);

// The address from the first "/" at or after where its host stands, query and
// all, in the address's own letter case; "/" when there is none.
Text UrlPath(const Text& url);

}  // namespace velmora
