// The object behind a file handle: an open descriptor of the host.
#pragma once

#include "machine/handles.h"

namespace pw::kernel {

struct FileObject : handles::ObjectOf<handles::Kind::File> {
  int fd = -1;
  bool owned = true;         // the standard handles are not closed with the object
  bool inheritable = false;  // a started program may receive it as a standard handle
  bool readable = true;      // opened with read access
  ~FileObject() override;
};

}  // namespace pw::kernel
