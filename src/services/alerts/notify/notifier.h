#pragma once

#include <string>

namespace tev::alerts {

// Tells the desktop user of something outside the window (a notification bubble).
class Notifier {
  public:
    virtual ~Notifier() = default;
    virtual void notify(const std::string& summary, const std::string& body) = 0;
};

}  // namespace tev::alerts
