// The file layer the hives are opened through: SQLite's own unix layer, except that
// the writes one commit makes to a write-ahead log reach the file in one system call
// and the log's shared-memory index is mapped with its pages populated.
#pragma once

namespace pw::registry {

// The name to open a hive with (sqlite3_open_v2's zVfs), registered on first use;
// nullptr (SQLite's default layer) when it cannot be registered.
const char* hiveVfsName();

}  // namespace pw::registry
