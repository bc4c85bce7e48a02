// What the name-string calls share: the X.500 key names of attribute types.
#pragma once

#include <string>
#include <string_view>

namespace pw::cert {

// The X.500 key name of a dotted attribute type ("CN" for 2.5.4.3), or empty.
std::string_view keyNameOf(std::string_view oid);
// The dotted attribute type of a key name, compared without regard to case, or empty.
std::string_view oidOfKeyName(std::string_view key);

}  // namespace pw::cert
