// Texts of the shell's own making: durations and the System Log's time of
// day.
#pragma once

#include <cstdint>

#include <QString>

// "%d.%06d" seconds and microseconds; negative counts get a leading '-'.
QString FormatMicroseconds(int64_t microseconds);

// "%2d:%02d:%02d" of the local time of day at utcMicros (microseconds since
// 1970, UTC). The zone offset is taken for that moment, so the text follows
// a daylight-saving change while the program runs.
QString TimeOfDayText(int64_t utcMicros);
// The same for now.
QString TimeOfDayNow();
