// The viewer's debug-stream channels. "TEAROFF" and "SYSLOG" are declared
// with the shell services, "TABLE" and "READER" by the record engine.
#pragma once

#include "kxviewer/shellservices.h"
#include "kxlib/kxchannels.h"

extern ZmLib::KX KxvGuiChannel;
extern ZmLib::KX KxvUpgradeChannel;
extern ZmLib::KX KxvAntlrChannel;
extern ZmLib::KX KxvScriptChannel;

constexpr int KXV_CHANNEL_COUNT = 8;
// The eight channels in the order main registers them.
extern ZmLib::KX* const KxvChannels[KXV_CHANNEL_COUNT];

// Registers the eight channels with the mask of the library's "SYS" channel.
void KxvRegisterChannels();
