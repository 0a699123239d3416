#include "kxlib/kxchannels.h"

ZmLib::KX KxReaderChannel("READER");
ZmLib::KX KxTableChannel("TABLE");
