// What a fresh workstation has before anyone administers it, laid into its machine
// hive by the process that creates the hive, in the same transaction.
#pragma once

struct sqlite3;

namespace pw::machine {

// The class registrations of the components a current Windows registers at setup:
// the newer enrolment objects (certenroll.dll), not the older control. The keys of
// each class belong to the system, as on Windows. Runs inside the layout's write
// transaction; an SQLite result code.
int registerBuiltinClasses(sqlite3* db);

}  // namespace pw::machine
