#include "services/mqtt/rules/publish_queue.h"

namespace tev::mqtt {

void PublishQueue::put(std::string topic, std::string payload, bool retain) {
    if (capacity_ == 0) {
        ++dropped_;
        return;
    }
    const auto found = byTopic_.find(topic);
    if (found != byTopic_.end()) {
        payloadBytes_ -= found->second->payload.size();
        payloadBytes_ += payload.size();
        found->second->payload = std::move(payload);
        found->second->retain = retain;
        return;
    }
    if (order_.size() >= capacity_) {
        popFront();
        ++dropped_;
    }
    payloadBytes_ += payload.size();
    order_.push_back({topic, std::move(payload), retain});
    byTopic_.emplace(std::move(topic), std::prev(order_.end()));
}

void PublishQueue::popFront() {
    if (order_.empty()) return;
    payloadBytes_ -= order_.front().payload.size();
    byTopic_.erase(order_.front().topic);
    order_.pop_front();
}

}  // namespace tev::mqtt
