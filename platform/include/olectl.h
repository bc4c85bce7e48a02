// OLE controls: the self-registration codes live with the other result codes.
#pragma once

#include <winerror.h>
