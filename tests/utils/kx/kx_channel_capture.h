// Keeps the events of some debug-stream channels instead of sending them on,
// for the lifetime of the capture; the threshold is raised when one is given.
#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "utils/kx/kx.h"

namespace kxtest {

struct ChannelEvent {
    std::string channel;
    int level;
    uint16_t flags;
    uint64_t key;
    std::string function;
    std::string text;
};

inline std::vector<ChannelEvent>& ChannelEvents()
{
    static std::vector<ChannelEvent> events;
    return events;
}

inline int CaptureChannelEvent(ZmLib::KXEVENT* event, ZmLib::KX* channel)
{
    ChannelEvents().push_back({channel->name ? channel->name : "", event->level, event->flags, event->key,
                               event->function ? event->function : "", event->text ? event->text : ""});
    return 0;
}

class ChannelCapture {
public:
    ChannelCapture(std::initializer_list<ZmLib::KX*> channels, std::optional<int32_t> threshold = std::nullopt)
    {
        ChannelEvents().clear();
        for (ZmLib::KX* channel : channels) {
            saved_.push_back({channel, {channel->output, channel->threshold}});
            channel->output = &CaptureChannelEvent;
            if (threshold)
                channel->threshold = *threshold;
        }
    }
    ~ChannelCapture()
    {
        for (auto& [channel, state] : saved_) {
            channel->output = state.first;
            channel->threshold = state.second;
        }
    }
    ChannelCapture(const ChannelCapture&) = delete;
    ChannelCapture& operator=(const ChannelCapture&) = delete;

    // The texts of the events, of one channel or of all.
    static std::vector<std::string> Texts(const std::string& channel = "")
    {
        std::vector<std::string> texts;
        for (const ChannelEvent& e : ChannelEvents())
            if (channel.empty() || e.channel == channel)
                texts.push_back(e.text);
        return texts;
    }

private:
    std::vector<std::pair<ZmLib::KX*, std::pair<ZmLib::KxOutputFn, int32_t>>> saved_;
};

} // namespace kxtest
