// Enter and leave records of the framework's public operations, on the
// "TEAROFF" channel with the qualified operation name.
#pragma once

#include "kxviewer/shellservices.h"
#include "utils/kx/kx.h"

#define TEAROFF_TRACE(level, name) ::ZmLib::KxFuncGuard tearoffTrace_(KxvTearoffChannel, (level), (name))
