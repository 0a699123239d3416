// Internal faults of a table (inside KxTable members): the error report
// with the failed condition, then the program stops.
#pragma once

#define KXTABLE_CHECK(expr, text)              \
    do {                                       \
        if (!(expr))                           \
            Fatal(__func__, __LINE__, (text)); \
    } while (0)
