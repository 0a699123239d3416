// Debug-stream channel of the script languages.
#pragma once

#include "utils/kx/kx.h"

// "SCRIPT": interpreter prints and front-end warnings.
extern ZmLib::KX KxScriptChannel;
