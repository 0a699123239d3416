#include "kxviewer/buildstamp.h"

const char* BuildStamp() { return __DATE__ " " __TIME__ " "; }
