// What the name-string calls share: the X.500 key names of attribute types, and a Name
// as its relative names, each a list of attributes with the value's tag and bytes.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace pw::cert {

// The X.500 key name of a dotted attribute type ("CN" for 2.5.4.3), or empty.
std::string_view keyNameOf(std::string_view oid);
// The dotted attribute type of a key name ("CN", or another name Windows reads, such as
// "ST" or "Email"), compared without regard to case, or empty.
std::string_view oidOfKeyName(std::string_view key);

struct NameAttribute {
  std::string oid;    // dotted
  BYTE tag = 0;       // the value's tag
  std::string value;  // its content bytes
};
using NameRdn = std::vector<NameAttribute>;

// A DER Name's relative names; 0, or the ASN.1 error crypt32's decoder gives.
DWORD decodeName(std::string_view der, std::vector<NameRdn>* out);
// The DER of a Name, each relative name's attributes in DER's set order.
std::string encodeName(const std::vector<NameRdn>& rdns);

}  // namespace pw::cert
