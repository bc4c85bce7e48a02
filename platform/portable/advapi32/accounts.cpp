// LookupAccountNameA and LookupAccountSidA over the table of well-known accounts, and
// the text form of SIDs.
#include <windows.h>

#include "advapi32/accounts.h"
#include "machine/guard.h"

#include <cstdio>
#include <cstring>

namespace pw::security {
namespace {

constexpr Account kAccounts[] = {
    {"S-1-0-0", "", WinNullSid, "NULL SID", "", SidTypeWellKnownGroup},
    {"S-1-1-0", "WD", WinWorldSid, "Everyone", "", SidTypeWellKnownGroup},
    {"S-1-2-0", "", WinLocalSid, "LOCAL", "", SidTypeWellKnownGroup},
    {"S-1-3-0", "CO", WinCreatorOwnerSid, "CREATOR OWNER", "", SidTypeWellKnownGroup},
    {"S-1-3-1", "CG", WinCreatorGroupSid, "CREATOR GROUP", "", SidTypeWellKnownGroup},
    {"S-1-5-2", "NU", WinNetworkSid, "NETWORK", "NT AUTHORITY", SidTypeWellKnownGroup},
    {"S-1-5-4", "IU", WinInteractiveSid, "INTERACTIVE", "NT AUTHORITY", SidTypeWellKnownGroup},
    {"S-1-5-6", "SU", WinServiceSid, "SERVICE", "NT AUTHORITY", SidTypeWellKnownGroup},
    {"S-1-5-7", "AN", WinAnonymousSid, "ANONYMOUS LOGON", "NT AUTHORITY", SidTypeWellKnownGroup},
    {"S-1-5-11", "AU", WinAuthenticatedUserSid, "Authenticated Users", "NT AUTHORITY",
     SidTypeWellKnownGroup},
    {"S-1-5-18", "SY", WinLocalSystemSid, "SYSTEM", "NT AUTHORITY", SidTypeWellKnownGroup},
    {"S-1-5-19", "LS", WinLocalServiceSid, "LOCAL SERVICE", "NT AUTHORITY", SidTypeWellKnownGroup},
    {"S-1-5-20", "NS", WinNetworkServiceSid, "NETWORK SERVICE", "NT AUTHORITY",
     SidTypeWellKnownGroup},
    {"S-1-5-32", "", WinBuiltinDomainSid, "BUILTIN", "BUILTIN", SidTypeDomain},
    {"S-1-5-32-544", "BA", WinBuiltinAdministratorsSid, "Administrators", "BUILTIN", SidTypeAlias},
    {"S-1-5-32-545", "BU", WinBuiltinUsersSid, "Users", "BUILTIN", SidTypeAlias},
    {"S-1-5-32-546", "BG", WinBuiltinGuestsSid, "Guests", "BUILTIN", SidTypeAlias},
    {"S-1-5-32-547", "PU", WinBuiltinPowerUsersSid, "Power Users", "BUILTIN", SidTypeAlias},
    {"S-1-5-32-551", "BO", WinBuiltinBackupOperatorsSid, "Backup Operators", "BUILTIN",
     SidTypeAlias},
};

bool equalNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = char(x - 32);
    if (y >= 'a' && y <= 'z') y = char(y - 32);
    if (x != y) return false;
  }
  return true;
}

// A decimal number of at most 32 bits, all of `text`.
bool parseNumber(std::string_view text, uint64_t limit, uint64_t* value) {
  if (text.empty()) return false;
  uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + uint64_t(c - '0');
    if (v > limit) return false;
  }
  *value = v;
  return true;
}

// A hexadecimal authority "0x..." of at most 48 bits.
bool parseHexAuthority(std::string_view text, uint64_t* value) {
  if (text.size() < 3 || text.size() > 14 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X'))
    return false;
  uint64_t v = 0;
  for (char c : text.substr(2)) {
    int digit = c >= '0' && c <= '9'   ? c - '0'
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                       : -1;
    if (digit < 0) return false;
    v = v * 16 + uint64_t(digit);
  }
  *value = v;
  return true;
}

}  // namespace

std::span<const Account> accounts() { return kAccounts; }

const Account* accountNamed(std::string_view name) {
  size_t cut = name.find('\\');
  std::string_view domain =
      cut == std::string_view::npos ? std::string_view() : name.substr(0, cut);
  std::string_view account = cut == std::string_view::npos ? name : name.substr(cut + 1);
  for (const Account& a : kAccounts) {
    if (!equalNoCase(account, a.name)) continue;
    if (cut == std::string_view::npos || equalNoCase(domain, a.domain)) return &a;
  }
  return nullptr;
}

const Account* accountOf(const void* sid) {
  for (const Account& a : kAccounts)
    if (sameSid(parseSidText(a.sid), sid)) return &a;
  return nullptr;
}

Bytes parseSidText(std::string_view text) {
  if (text.size() == 2) {
    for (const Account& a : kAccounts)
      if (*a.alias && equalNoCase(text, a.alias)) return parseSidText(a.sid);
    return {};
  }
  // S-1-<authority>-<sub>[-<sub>...]: one to fifteen sub-authorities.
  if (text.size() < 2 || (text[0] != 'S' && text[0] != 's') || text[1] != '-') return {};
  std::vector<std::string_view> parts;
  for (size_t at = 2;;) {
    size_t dash = text.find('-', at);
    parts.push_back(text.substr(at, dash == std::string_view::npos ? dash : dash - at));
    if (dash == std::string_view::npos) break;
    at = dash + 1;
  }
  uint64_t revision = 0, authority = 0;
  if (parts.size() < 3 || parts.size() > 2 + SID_MAX_SUB_AUTHORITIES) return {};
  if (!parseNumber(parts[0], 255, &revision) || revision != SID_REVISION) return {};
  if (!parseNumber(parts[1], 0xFFFFFFFFu, &authority) && !parseHexAuthority(parts[1], &authority))
    return {};
  Bytes sid = {SID_REVISION, BYTE(parts.size() - 2)};
  for (int shift = 40; shift >= 0; shift -= 8) sid.push_back(BYTE(authority >> shift));
  for (size_t i = 2; i < parts.size(); ++i) {
    uint64_t sub = 0;
    if (!parseNumber(parts[i], 0xFFFFFFFFu, &sub)) return {};
    DWORD value = DWORD(sub);
    const BYTE* p = reinterpret_cast<const BYTE*>(&value);
    sid.insert(sid.end(), p, p + 4);
  }
  return sid;
}

std::string sidText(const void* sid) {
  auto* p = static_cast<const BYTE*>(sid);
  uint64_t authority = 0;
  for (int i = 2; i < 8; ++i) authority = (authority << 8) | p[i];
  char buf[32];
  if (authority >> 32)
    std::snprintf(buf, sizeof buf, "0x%012llX", static_cast<unsigned long long>(authority));
  else
    std::snprintf(buf, sizeof buf, "%llu", static_cast<unsigned long long>(authority));
  std::string text = "S-1-" + std::string(buf);
  for (BYTE i = 0; i < p[1]; ++i) {
    DWORD sub;
    std::memcpy(&sub, p + 8 + 4 * i, 4);
    text += "-" + std::to_string(sub);
  }
  return text;
}

const Bytes& administratorsSid() {
  static const Bytes sid = parseSidText("S-1-5-32-544");
  return sid;
}

const Bytes& systemSid() {
  static const Bytes sid = parseSidText("S-1-5-18");
  return sid;
}

}  // namespace pw::security

namespace {

using pw::security::Account;

// Copies `text` into a caller's buffer of `*chars` characters under the size protocol of
// the account functions: the length without the terminator on success, with it when the
// buffer is short.
bool fits(LPSTR buffer, LPDWORD chars, const char* text) {
  return buffer && *chars > std::strlen(text);
}

}  // namespace

BOOL WINAPI LookupAccountNameA(LPCSTR system, LPCSTR name, PSID sid, LPDWORD cbSid, LPSTR domain,
                               LPDWORD cchDomain, PSID_NAME_USE use) {
  return pw::guarded(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
    if (!name || !cbSid || !cchDomain || !use) return pw::fail(ERROR_INVALID_PARAMETER);
    const Account* account = pw::security::accountNamed(name);
    if (!account) return pw::fail(ERROR_NONE_MAPPED);
    pw::security::Bytes bytes = pw::security::parseSidText(account->sid);
    size_t domainLength = std::strlen(account->domain);
    if (!sid || *cbSid < bytes.size() || !fits(domain, cchDomain, account->domain)) {
      *cbSid = DWORD(bytes.size());
      *cchDomain = DWORD(domainLength + 1);
      return pw::fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(sid, bytes.data(), bytes.size());
    std::memcpy(domain, account->domain, domainLength + 1);
    *cbSid = DWORD(bytes.size());
    *cchDomain = DWORD(domainLength);
    *use = account->use;
    return TRUE;
  });
}

BOOL WINAPI LookupAccountSidA(LPCSTR system, PSID sid, LPSTR name, LPDWORD cchName, LPSTR domain,
                              LPDWORD cchDomain, PSID_NAME_USE use) {
  return pw::guarded(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
    if (!cchName || !cchDomain || !use) return pw::fail(ERROR_INVALID_PARAMETER);
    // An invalid SID names no account either (Wine answers so; Windows documents nothing).
    const Account* account = pw::security::sidLength(sid) ? pw::security::accountOf(sid) : nullptr;
    if (!account) return pw::fail(ERROR_NONE_MAPPED);
    size_t nameLength = std::strlen(account->name), domainLength = std::strlen(account->domain);
    if (!fits(name, cchName, account->name) || !fits(domain, cchDomain, account->domain)) {
      *cchName = DWORD(nameLength + 1);
      *cchDomain = DWORD(domainLength + 1);
      return pw::fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(name, account->name, nameLength + 1);
    std::memcpy(domain, account->domain, domainLength + 1);
    *cchName = DWORD(nameLength);
    *cchDomain = DWORD(domainLength);
    *use = account->use;
    return TRUE;
  });
}
