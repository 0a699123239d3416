// The viewer's debug-stream channels. "TEAROFF" and "SYSLOG" are declared
// with the shell services, "TABLE" and "READER" by the record engine,
// "ANTLR" and "SCRIPT" by the script language.
#pragma once

#include "kxviewer/shellservices.h"
#include "kxlib/kxchannels.h"
#include "script/scriptbase/scriptchannels.h"

// Defined with the script language's recognizer support, whose header
// brings the ANTLR runtime, which does not mix with Qt's macros.
extern ZmLib::KX KxAntlrChannel;

extern ZmLib::KX KxvGuiChannel;
extern ZmLib::KX KxvUpgradeChannel;

constexpr int KXV_CHANNEL_COUNT = 8;
// The eight channels in the order main registers them.
extern ZmLib::KX* const KxvChannels[KXV_CHANNEL_COUNT];

// Registers the eight channels with the mask of the library's "SYS" channel.
void KxvRegisterChannels();
