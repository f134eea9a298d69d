#pragma once

#include <QDBusConnection>

#include "services/alerts/notify/notifier.h"

namespace tev::alerts {

// Desktop notifications through org.freedesktop.Notifications on the session bus. The call
// does not wait for an answer, so a slow or missing notification server never holds up a meter
// message; without a session bus or a server nothing is shown and nothing is reported.
class DbusNotifier final : public Notifier {
  public:
    static constexpr const char* kAppName = "TEV3P";
    // How long a bubble stays, in ms; the server's default when -1.
    static constexpr int kExpireMs = -1;

    DbusNotifier();  // the session bus
    explicit DbusNotifier(const QDBusConnection& connection);

    void notify(const std::string& summary, const std::string& body) override;
    int sent() const { return sent_; }

  private:
    QDBusConnection connection_;
    int sent_ = 0;
};

}  // namespace tev::alerts
