#include "script/scriptbase/scriptchannels.h"

ZmLib::KX KxScriptChannel("SCRIPT");
