// Where the machine keeps the security of its files and folders: with each one, in an
// extended attribute of its host file, as NTFS keeps a descriptor with its file (and as
// Wine keeps one in "user.wine.sd"). The descriptor then follows its file wherever the
// host moves or copies it (cp -a, tar --xattrs), is gone when the file is, and a new
// file at the same path starts afresh; no second store can drift from the files.
//
// What is kept is the object's own part: its owner and group, whether its list is
// protected from inheritance, and its explicit entries. The entries it inherits are
// worked out from its folders whenever they are read, so a change to a folder reaches
// everything below it at once, as SetNamedSecurityInfo's propagation does on Windows.
// A file or folder without the attribute has inherited entries only; a drive's root
// without it has the list a fresh Windows gives C:\.
//
// A host file system without user extended attributes (tmpfs before Linux 6.6) keeps
// nothing: every object reads as freshly made, and setting answers ERROR_NOT_SUPPORTED.
#pragma once

#include "advapi32/security_objects.h"

#include <optional>
#include <string>

namespace pw::security {

// The stored part of the object at a host path; nullopt when it has none, or when what
// is there is not a descriptor this machine wrote (it is then ignored, as if missing).
std::optional<Descriptor> storedDescriptor(const std::string& host);

// Stores the object's own part; a Win32 error, 0 on success.
DWORD storeDescriptor(const std::string& host, const Descriptor& own);

// What an object has before anything is set: a drive's root the list of a fresh
// Windows' C:\ (protected); anything else its owner and group and no entries of its own.
Descriptor initialDescriptor(bool driveRoot);

}  // namespace pw::security
