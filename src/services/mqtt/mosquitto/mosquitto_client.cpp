#include "services/mqtt/mosquitto/mosquitto_client.h"

#include <mosquitto.h>

#include <chrono>
#include <cstring>
#include <deque>
#include <future>

#include "services/mqtt/rules/backoff.h"

namespace tev::mqtt {

namespace {

constexpr int kLoopTimeoutMs = 200;
// Events waiting for takeEvents(); an outage makes a few per minute at most.
constexpr std::size_t kMaxEvents = 64;
constexpr const char* kTlsCertificateFolder = "/etc/ssl/certs";

std::string waitText(int ms) {
    return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
}

struct LibraryInit {
    LibraryInit() { mosquitto_lib_init(); }
};

}  // namespace

struct MosquittoClient::Shared {
    MqttSettings settings;
    std::string password;
    Presence presence;
    mosquitto* mosq = nullptr;

    std::atomic<bool> stopping{false};
    std::atomic<bool> connected{false};
    std::atomic<int> unwritten{0};
    std::atomic<bool> finished{false};

    std::mutex mutex;
    std::condition_variable wake;
    std::deque<ClientEvent> events;
    bool refusedThisAttempt = false;

    void push(ClientEvent::Kind kind, std::string reason) {
        std::lock_guard lock(mutex);
        if (events.size() >= kMaxEvents) events.pop_front();
        events.push_back({kind, std::move(reason)});
    }

    // Waits up to `ms` or until stop() is called.
    void pause(int ms) {
        std::unique_lock lock(mutex);
        wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping.load(); });
    }

    void run();
};

namespace {

void onConnect(mosquitto* m, void* user, int rc) {
    auto* s = static_cast<MosquittoClient::Shared*>(user);
    if (rc != 0) {
        s->refusedThisAttempt = true;
        s->push(ClientEvent::Kind::Refused, mosquitto_connack_string(rc));
        return;
    }
    s->unwritten = 0;
    s->connected = true;
    mosquitto_publish(m, nullptr, s->presence.topic.c_str(),
                      static_cast<int>(s->presence.online.size()), s->presence.online.data(), 1,
                      true);
    s->push(ClientEvent::Kind::Connected, {});
}

void onDisconnect(mosquitto*, void* user, int rc) {
    auto* s = static_cast<MosquittoClient::Shared*>(user);
    const bool wasConnected = s->connected.exchange(false);
    s->unwritten = 0;
    if (rc != 0 && wasConnected && !s->stopping)
        s->push(ClientEvent::Kind::Lost, mosquitto_strerror(rc));
}

void onPublish(mosquitto*, void* user, int) {
    auto* s = static_cast<MosquittoClient::Shared*>(user);
    if (s->unwritten > 0) --s->unwritten;
}

}  // namespace

void MosquittoClient::Shared::run() {
    Backoff backoff;
    bool first = true;
    while (!stopping) {
        refusedThisAttempt = false;
        const int rc = first ? mosquitto_connect(mosq, settings.host.c_str(), settings.port,
                                                 settings.keepAliveSeconds)
                             : mosquitto_reconnect(mosq);
        if (rc == MOSQ_ERR_INVAL) {
            // Settings the library refuses stay refused: trying again would only promise.
            push(ClientEvent::Kind::Failed, mosquitto_strerror(rc));
            break;
        }
        if (rc != MOSQ_ERR_SUCCESS) {
            // A failed first connect leaves nothing to reconnect to: try afresh next time.
            push(ClientEvent::Kind::Unreachable,
                 rc == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(rc));
            pause(backoff.next());
            continue;
        }
        first = false;
        // A broker that takes the TCP connection and never answers is given up on after
        // handshakeTimeoutMs, as one that cannot be reached, and tried again later.
        const auto attemptStart = std::chrono::steady_clock::now();
        while (!stopping) {
            const int loop = mosquitto_loop(mosq, kLoopTimeoutMs, 1);
            if (connected) backoff.reset();
            if (loop != MOSQ_ERR_SUCCESS) {
                if (!connected && !refusedThisAttempt && !stopping)
                    push(ClientEvent::Kind::Unreachable,
                         loop == MOSQ_ERR_CONN_LOST ? std::string("the connection was closed")
                         : loop == MOSQ_ERR_ERRNO   ? std::string(std::strerror(errno))
                                                    : std::string(mosquitto_strerror(loop)));
                break;
            }
            if (!connected && !refusedThisAttempt &&
                std::chrono::steady_clock::now() - attemptStart >
                    std::chrono::milliseconds(settings.handshakeTimeoutMs)) {
                push(ClientEvent::Kind::Unreachable,
                     "no answer to the connection within " + waitText(settings.handshakeTimeoutMs));
                mosquitto_disconnect(mosq);
                break;
            }
        }
        connected = false;
        if (!stopping) pause(backoff.next());
    }
    if (connected) {
        mosquitto_publish(mosq, nullptr, presence.topic.c_str(),
                          static_cast<int>(presence.offline.size()), presence.offline.data(), 1,
                          true);
        mosquitto_disconnect(mosq);
        // Writes what is queued (the goodbye) before the socket closes.
        for (int i = 0; i < 10 && mosquitto_socket(mosq) >= 0; ++i)
            if (mosquitto_loop(mosq, 50, 1) != MOSQ_ERR_SUCCESS) break;
    }
    finished = true;
}

MosquittoClient::MosquittoClient() : shared_(std::make_shared<Shared>()) {
    static LibraryInit init;
}

MosquittoClient::~MosquittoClient() {
    stop();
}

void MosquittoClient::start(const MqttSettings& settings, const std::string& password,
                            const Presence& presence) {
    if (shared_->mosq != nullptr) return;
    Shared& s = *shared_;
    s.settings = settings;
    s.password = password;
    s.presence = presence;
    s.mosq =
        mosquitto_new(settings.clientId.empty() ? nullptr : settings.clientId.c_str(), true, &s);
    if (s.mosq == nullptr) {
        s.push(ClientEvent::Kind::Failed,
               std::string("the MQTT client could not be created: ") + std::strerror(errno));
        return;
    }
    // The worker thread runs the loop; publish() from another thread only queues and wakes it.
    mosquitto_threaded_set(s.mosq, true);
    mosquitto_connect_callback_set(s.mosq, onConnect);
    mosquitto_disconnect_callback_set(s.mosq, onDisconnect);
    mosquitto_publish_callback_set(s.mosq, onPublish);
    mosquitto_will_set(s.mosq, presence.topic.c_str(), static_cast<int>(presence.offline.size()),
                       presence.offline.data(), 1, true);
    if (!settings.user.empty())
        mosquitto_username_pw_set(s.mosq, settings.user.c_str(),
                                  password.empty() ? nullptr : password.c_str());
    if (settings.tls) {
        const int rc =
            mosquitto_tls_set(s.mosq, nullptr, kTlsCertificateFolder, nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            // Without TLS the connection would go out in the clear: none is made.
            s.push(ClientEvent::Kind::Failed,
                   std::string("TLS could not be set up: ") + mosquitto_strerror(rc));
            mosquitto_destroy(s.mosq);
            s.mosq = nullptr;
            return;
        }
    }
    std::shared_ptr<Shared> keep = shared_;
    worker_ = std::thread([keep] { keep->run(); });
}

bool MosquittoClient::publish(const std::string& topic, const std::string& payload, bool retain) {
    Shared& s = *shared_;
    if (s.mosq == nullptr || !s.connected || s.stopping || s.unwritten >= kMaxUnwritten)
        return false;
    ++s.unwritten;
    const int rc = mosquitto_publish(s.mosq, nullptr, topic.c_str(),
                                     static_cast<int>(payload.size()), payload.data(), 0, retain);
    if (rc != MOSQ_ERR_SUCCESS) {
        --s.unwritten;
        return false;
    }
    return true;
}

std::vector<ClientEvent> MosquittoClient::takeEvents() {
    std::lock_guard lock(shared_->mutex);
    std::vector<ClientEvent> out(shared_->events.begin(), shared_->events.end());
    shared_->events.clear();
    return out;
}

void MosquittoClient::stop() {
    Shared& s = *shared_;
    if (!worker_.joinable()) return;
    {
        std::lock_guard lock(s.mutex);
        s.stopping = true;
    }
    s.wake.notify_all();
    // A connect to a host that does not answer can take minutes: the program does not wait
    // for it; the detached worker keeps the shared state alive until it ends.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStopWaitMs);
    while (!s.finished && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (s.finished) {
        worker_.join();
        mosquitto_destroy(s.mosq);
        s.mosq = nullptr;
    } else {
        worker_.detach();
    }
}

}  // namespace tev::mqtt
