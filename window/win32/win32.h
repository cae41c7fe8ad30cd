#pragma once

// The Windows headers as the binding uses them: wide-character functions named explicitly, and
// without the macros that would rename the program's own names (min, max, MessageBox).

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#undef MessageBox
