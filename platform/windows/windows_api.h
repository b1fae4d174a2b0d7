// windows.h for the platform layer, less the macro that would rename
// platform::ReplaceFile to ReplaceFileW.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#undef ReplaceFile
