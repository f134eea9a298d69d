#pragma once

#include <cstdio>

#include "platform/dialogs.h"

namespace tev::app {

// Without a display nobody can answer a message box: its text goes to standard error, and a
// question is answered No (the choice that changes nothing).
class HeadlessMessageBoxes final : public MessageBoxes {
  public:
    void inform(const std::string& title, const std::string& text) override {
        std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
    }
    void warn(const std::string& title, const std::string& text) override {
        std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
    }
    bool askYesNo(const std::string& title, const std::string& text) override {
        std::fprintf(stderr, "%s: %s (answered No)\n", title.c_str(), text.c_str());
        return false;
    }
};

}  // namespace tev::app
