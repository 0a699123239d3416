// How a path that a reader cannot take (longer than the 1099 characters a
// file object holds) is named in messages: its start and its end with "..."
// between, and its length, so that the user can still tell which file it was.
#pragma once

#include <cstring>
#include <string>

#include "utils/common/strbase.h"

inline bool PathFits(const char* path) { return path != nullptr && strlen(path) <= ZmLib::TEMP_STR_CAPACITY; }

inline std::string PathForMessage(const char* path)
{
    constexpr size_t head = 60;
    constexpr size_t tail = 40;
    if (path == nullptr)
        return std::string();
    const size_t length = strlen(path);
    if (length <= head + tail + 3)
        return path;
    return std::string(path, head) + "..." + std::string(path + length - tail) + " (" + std::to_string(length) +
           " characters)";
}
