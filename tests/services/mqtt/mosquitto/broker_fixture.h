#pragma once

#include <mosquitto.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace tev::testing {

inline constexpr int kBrokerWaitMs = 10000;

// A mosquitto broker of the test's own on 127.0.0.1 and a port that was free, without
// persistence. Stop and start again keep the port.
class Broker {
  public:
    // `extraConf` lines are added to the configuration (e.g. a password file).
    bool start(const QString& extraConf = {}) {
        if (port_ == 0) {
            QTcpServer probe;
            if (!probe.listen(QHostAddress::LocalHost, 0)) return false;
            port_ = probe.serverPort();
        }
        // A broker started as root reads its files as the mosquitto user.
        QFile::setPermissions(dir_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                               QFile::ReadOther | QFile::ExeOther |
                                               QFile::ReadGroup | QFile::ExeGroup);
        QFile conf(dir_.filePath("mosquitto.conf"));
        if (!conf.open(QIODevice::WriteOnly)) return false;
        if (!extraConf.isEmpty()) extraConf_ = extraConf;
        conf.write(QString("listener %1 127.0.0.1\npersistence false\n%2\n")
                       .arg(port_)
                       .arg(extraConf_.isEmpty() ? "allow_anonymous true" : extraConf_)
                       .toUtf8());
        conf.close();
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start(MOSQUITTO_PATH, {"-c", conf.fileName()});
        if (!process_.waitForStarted(kBrokerWaitMs)) return false;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < kBrokerWaitMs) {
            QTcpSocket s;
            s.connectToHost(QHostAddress::LocalHost, port_);
            if (s.waitForConnected(200)) return true;
            if (process_.state() == QProcess::NotRunning) return false;
            QThread::msleep(50);
        }
        return false;
    }
    void stop() {
        process_.terminate();
        if (!process_.waitForFinished(kBrokerWaitMs)) {
            process_.kill();
            process_.waitForFinished(kBrokerWaitMs);
        }
    }
    ~Broker() {
        if (process_.state() != QProcess::NotRunning) stop();
    }
    int port() const { return port_; }
    QString path(const QString& name) const { return dir_.filePath(name); }

  private:
    QTemporaryDir dir_;
    QProcess process_;
    int port_ = 0;
    QString extraConf_;
};

// A subscriber on libmosquitto's own thread that keeps every message it receives. It also
// subscribes to a marker topic of its own: drain() publishes on it and waits for the marker to
// come back, after which every message the broker had for the subscriber then has arrived.
class Subscriber {
  public:
    struct Message {
        std::string topic, payload;
        bool retain;
    };

    Subscriber(int port, std::vector<std::string> topics) : topics_(std::move(topics)) {
        mosquitto_lib_init();
        mosq_ = mosquitto_new(nullptr, true, this);
        marker_ = "tev3p-test/marker/" + std::to_string(reinterpret_cast<std::uintptr_t>(this));
        mosquitto_connect_callback_set(mosq_, [](mosquitto* m, void* self, int rc) {
            if (rc != 0) return;
            auto* s = static_cast<Subscriber*>(self);
            s->acks_ = 0;
            for (const std::string& t : s->topics_) mosquitto_subscribe(m, nullptr, t.c_str(), 1);
            mosquitto_subscribe(m, nullptr, s->marker_.c_str(), 1);
        });
        mosquitto_subscribe_callback_set(mosq_, [](mosquitto*, void* self, int, int, const int*) {
            ++static_cast<Subscriber*>(self)->acks_;
        });
        mosquitto_message_callback_set(
            mosq_, [](mosquitto*, void* self, const mosquitto_message* msg) {
                auto* s = static_cast<Subscriber*>(self);
                if (s->marker_ == msg->topic) {
                    ++s->markers_;
                    return;
                }
                std::lock_guard lock(s->mutex_);
                s->messages_.push_back({msg->topic,
                                        std::string(static_cast<const char*>(msg->payload),
                                                    static_cast<std::size_t>(msg->payloadlen)),
                                        msg->retain});
            });
        mosquitto_connect(mosq_, "127.0.0.1", port, 30);
        mosquitto_loop_start(mosq_);
    }
    ~Subscriber() {
        mosquitto_disconnect(mosq_);
        mosquitto_loop_stop(mosq_, true);
        mosquitto_destroy(mosq_);
    }

    std::vector<Message> messages() const {
        std::lock_guard lock(mutex_);
        return messages_;
    }
    // Until one message received so far satisfies `pred`.
    template <typename Pred>
    bool waitFor(Pred pred, int timeoutMs = kBrokerWaitMs) const {
        return waitForAll(
            [&](const std::vector<Message>& all) {
                return std::any_of(all.begin(), all.end(), pred);
            },
            timeoutMs);
    }
    // Until the messages received so far, taken together, satisfy `pred`.
    template <typename Pred>
    bool waitForAll(Pred pred, int timeoutMs = kBrokerWaitMs) const {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < timeoutMs) {
            if (pred(messages())) return true;
            QThread::msleep(20);
        }
        return pred(messages());
    }
    // Until the broker has acknowledged every subscription.
    bool waitSubscribed() const {
        QElapsedTimer t;
        t.start();
        while (!subscribed() && t.elapsed() < kBrokerWaitMs) QThread::msleep(20);
        return subscribed();
    }
    // Until a marker published now has come back: the broker sends a subscriber's messages in
    // order, so every retained message and every message published before the marker is in.
    bool drain() {
        if (!waitSubscribed()) return false;
        const int before = markers_;
        if (mosquitto_publish(mosq_, nullptr, marker_.c_str(), 1, "m", 1, false) !=
            MOSQ_ERR_SUCCESS)
            return false;
        QElapsedTimer t;
        t.start();
        while (markers_ == before && t.elapsed() < kBrokerWaitMs) QThread::msleep(20);
        return markers_ != before;
    }

  private:
    bool subscribed() const { return acks_ == static_cast<int>(topics_.size()) + 1; }

    std::vector<std::string> topics_;
    std::string marker_;
    mosquitto* mosq_ = nullptr;
    mutable std::mutex mutex_;
    std::vector<Message> messages_;
    std::atomic<int> acks_{0};
    std::atomic<int> markers_{0};
};

}  // namespace tev::testing
