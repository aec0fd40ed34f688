// The one definition of the class, interface and type library identifiers.
#include <windows.h>
#include <initguid.h>

#include "velmora_h.h"
