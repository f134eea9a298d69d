#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "services/mqtt/rules/mqtt_client.h"

struct mosquitto;

namespace tev::mqtt {

// MqttClient on libmosquitto. One worker thread of its own connects (name look-up and TCP
// connect may take long, so never on the caller's thread), runs the network loop and
// reconnects with a doubling wait after every failure. publish() only queues the message in
// libmosquitto, which wakes the worker to write it; at most kMaxUnwritten messages wait there,
// so a slow broker cannot make the library's queue grow.
class MosquittoClient final : public MqttClient {
  public:
    static constexpr int kMaxUnwritten = 256;
    static constexpr int kStopWaitMs = 2000;

    MosquittoClient();
    ~MosquittoClient() override;

    void start(const MqttSettings& settings, const std::string& password,
               const Presence& presence) override;
    bool publish(const std::string& topic, const std::string& payload, bool retain) override;
    std::vector<ClientEvent> takeEvents() override;
    void stop() override;

    // The shared state of the worker and the callbacks; public for the C callbacks.
    struct Shared;

  private:
    std::shared_ptr<Shared> shared_;
    std::thread worker_;
};

}  // namespace tev::mqtt
