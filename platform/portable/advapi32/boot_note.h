// The note a hive keeps of the host boot its volatile keys belong to: a small file beside
// the hive holding the host's boot identifier. The machine restarts with its host, and its
// volatile keys go with the boot they were made in.
#pragma once

#include <string>

namespace pw::registry {

// The host's boot identifier; empty where the host has none to read.
std::string hostBootId();

// The boot a note names; empty when there is no note.
std::string readBootNote(const std::string& path);

// Writes the note whole (a new file renamed into place); false when it cannot.
bool writeBootNote(const std::string& path, const std::string& bootId);

}  // namespace pw::registry
