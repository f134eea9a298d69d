#include "texts/event_log.h"

namespace tev {

EventLog::EventLog(std::size_t capacity) : capacity_(capacity == 0 ? 1 : capacity) {
    lines_.emplace_back();
}

void EventLog::append(std::string line) {
    if (lines_.size() >= capacity_) lines_.pop_front();
    lines_.push_back(std::move(line));
    for (const Listener& l : listeners_) l(lines_.back());
}

void EventLog::append(LanguageMode mode, std::string_view english, std::string_view bilingual) {
    if (auto text = pickText(mode, english, bilingual)) append(std::move(*text));
}

void EventLog::clear() {
    lines_.clear();
    for (const auto& l : clearListeners_) l();
}

}  // namespace tev
