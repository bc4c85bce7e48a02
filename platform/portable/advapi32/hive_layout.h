// The tables of a hive and the keys a hive of its kind starts with. A fresh hive is
// laid out, and a hive written by an older build is brought up to date, by the first
// process that opens it, in one write transaction.
#pragma once

#include <cstdint>

struct sqlite3;

namespace pw::registry {

// The local machine's hive, the current user's, and the default user's (HKEY_USERS\.DEFAULT).
enum class HiveId { Machine, User, DefaultUser };

// Marks kept on a key's row.
enum KeyFlag : int64_t {
  // A hive root (HKLM\SOFTWARE, HKLM\SYSTEM, ...): no one deletes it.
  kKeyUndeletable = 1,
  // Belongs to the machine itself: the registry functions cannot delete it or any key
  // below it (keys created below it later are marked too); only the machine's own
  // administration can (PwDeleteSystemKeyA).
  kKeySystemOwned = 2,
  // Takes no new subkeys: the local machine's root, where only hives are mounted.
  kKeySealed = 4,
  // Created with REG_OPTION_VOLATILE: its subkeys must be volatile too.
  kKeyVolatile = 8,
};

// The layout version a hive has once laid out.
constexpr int kLayoutVersion = 3;

// The current time as a FILETIME counts it (100 ns since 1601), as a key's last write
// time is kept.
int64_t fileTimeNow();

// The layout version the hive's file records (0 for a fresh file, -1 when unreadable).
int layoutVersion(sqlite3* db);

// Lays out the hive or brings it up to kLayoutVersion; an SQLite result code.
int layOutHive(sqlite3* db, HiveId id);

// Writes what the workstation's setup leaves in a fresh machine hive
// (machine/setup.h), inside the caller's write transaction; an SQLite result code.
int writeSetupValues(sqlite3* db);

// Marks the key `id` and every key below it as owned by the system, inside the
// caller's write transaction; an SQLite result code.
int markSubtreeSystemOwned(sqlite3* db, int64_t id);

}  // namespace pw::registry
