#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tev {

// The language in which the program writes its texts.
enum class LanguageMode : int { English = 1, Chinese = 2, Bilingual = 3 };

// A message with an English and a bilingual form: the English one in English mode, the
// bilingual one in bilingual mode and none in Chinese-only mode.
inline std::optional<std::string> pickText(LanguageMode mode, std::string_view english,
                                           std::string_view bilingual) {
    switch (mode) {
        case LanguageMode::English:
            return std::string(english);
        case LanguageMode::Bilingual:
            return std::string(bilingual);
        default:
            return std::nullopt;
    }
}

// The event log of the main window. Lines are only appended; only the Reset command clears
// it. It starts with one empty line. So that a flood from the network cannot exhaust memory
// over weeks, only the newest `capacity` lines are kept.
class EventLog {
  public:
    using Listener = std::function<void(const std::string& line)>;

    static constexpr std::size_t kDefaultCapacity = 100000;

    explicit EventLog(std::size_t capacity = kDefaultCapacity);

    void append(std::string line);
    // Appends the form that `mode` asks for, if any.
    void append(LanguageMode mode, std::string_view english, std::string_view bilingual);
    void clear();

    const std::deque<std::string>& lines() const { return lines_; }
    std::size_t capacity() const { return capacity_; }

    // Called with every appended line (the memo, standard output).
    void addListener(Listener listener) { listeners_.push_back(std::move(listener)); }
    // Called after clear().
    void addClearListener(std::function<void()> listener) {
        clearListeners_.push_back(std::move(listener));
    }

  private:
    std::size_t capacity_;
    std::deque<std::string> lines_;
    std::vector<Listener> listeners_;
    std::vector<std::function<void()>> clearListeners_;
};

}  // namespace tev
