// Debug-stream channels of the record engine.
#pragma once

#include "utils/kx/kx.h"

// Readers and the document file.
extern ZmLib::KX KxReaderChannel;
// Tables and record analysis.
extern ZmLib::KX KxTableChannel;
