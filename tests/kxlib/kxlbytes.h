// Bytes of document files for tests: a sectioned container written by hand
// (so that damaged and hostile files can be made) and little-endian u32s.
#pragma once

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

using Sections = std::vector<std::pair<std::string, std::string>>;

inline std::string Container(const Sections& sections)
{
    std::string out;
    for (const auto& s : sections) {
        char head[64];
        snprintf(head, sizeof(head), "\nSECTION:%10s:%-16zu\n", s.first.c_str(), s.second.size());
        out += head + s.second;
    }
    return out + "\n<<<END OF FILE>>>\n";
}

inline std::string U32s(std::initializer_list<uint32_t> values)
{
    std::string out;
    for (uint32_t v : values)
        out.append(reinterpret_cast<const char*>(&v), 4);
    return out;
}
