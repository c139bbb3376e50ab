// The maker's update host as a user configures it: "name[:port]" (plain HTTP),
// "http://name[:port]" or "https://name[:port]"; the name may be a bracketed IPv6
// address.
#pragma once
#include <string>

// The start of every address built from the host: "http://name[:port]" or
// "https://name[:port]", the scheme in lower case. Empty for a blank value and for one
// that holds anything else (a path, a user, blanks): nothing may change the path or
// the scheme of the addresses built from it.
std::string updateHostBase(const std::string& configured);
