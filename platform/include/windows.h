// The Win32 API as the programs see it on Linux: our own declarations with the published names, values and
// record layouts, implemented by the platform libraries.
#pragma once

#include "windef.h"
#include "winerror.h"
#include "winnt.h"
#include "winbase.h"
#if __has_include("winuser.h")
#include "winuser.h"
#endif
#if __has_include("wingdi.h")
#include "wingdi.h"
#endif
#if __has_include("winsvc.h")
#include "winsvc.h"
#endif
#if __has_include("securitybaseapi.h")
#include "securitybaseapi.h"
#endif
