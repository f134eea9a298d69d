#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <string>
#include <unordered_map>

namespace tev::mqtt {

struct OutgoingMessage {
    std::string topic;
    std::string payload;
    bool retain = false;
};

// Messages waiting for the broker, at most one per topic: a newer message for a topic replaces
// the waiting one in its place. The queue holds at most `capacity` topics; a message for a new
// topic when it is full pushes out the oldest waiting one. So a broker that is away for days
// costs a fixed amount of memory, and it gets the newest state of everything when it is back.
class PublishQueue {
  public:
    explicit PublishQueue(std::size_t capacity) : capacity_(capacity) {}

    void put(std::string topic, std::string payload, bool retain);
    bool empty() const { return order_.empty(); }
    std::size_t size() const { return order_.size(); }
    std::size_t capacity() const { return capacity_; }
    const OutgoingMessage& front() const { return order_.front(); }
    void popFront();
    // Messages pushed out by newer topics since the start.
    std::uint64_t dropped() const { return dropped_; }
    std::size_t payloadBytes() const { return payloadBytes_; }

  private:
    std::size_t capacity_;
    std::list<OutgoingMessage> order_;
    std::unordered_map<std::string, std::list<OutgoingMessage>::iterator> byTopic_;
    std::uint64_t dropped_ = 0;
    std::size_t payloadBytes_ = 0;
};

}  // namespace tev::mqtt
