#include "kxviewer/kxvchannels.h"

ZmLib::KX KxvGuiChannel("GUI");
ZmLib::KX KxvUpgradeChannel("UPGRADE");

ZmLib::KX* const KxvChannels[KXV_CHANNEL_COUNT] = {
    &KxvTearoffChannel, &KxvGuiChannel,    &KxvSyslogChannel, &KxvUpgradeChannel,
    &KxAntlrChannel,    &KxScriptChannel,  &KxTableChannel,   &KxReaderChannel,
};

void KxvRegisterChannels()
{
    for (ZmLib::KX* channel : KxvChannels)
        ZmLib::KX::Register(channel, ZmLib::KxSys.flags);
}
