#pragma once

#include <QAudioFormat>
#include <QByteArray>
#include <QIODevice>
#include <QObject>
#include <memory>

#include "platform/tone_sink.h"

class QAudioSink;

namespace tev {

// Serves queued tone samples to the audio output; empty when every tone has played.
class ToneStream final : public QIODevice {
    Q_OBJECT
  public:
    explicit ToneStream(QObject* parent = nullptr) : QIODevice(parent) {}
    void enqueue(const QByteArray& pcm) { pending_.append(pcm); }
    bool isDrained() const { return pending_.isEmpty(); }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return pending_.size() + QIODevice::bytesAvailable(); }

  protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

  private:
    QByteArray pending_;
};

// Plays each tone as a sine wave through the default audio output, one after the other,
// without blocking the window. Where the machine has no audio output it stays silent.
class AudioToneSink final : public QObject, public ToneSink {
    Q_OBJECT
  public:
    explicit AudioToneSink(QObject* parent = nullptr);
    ~AudioToneSink() override;

    void beep(int frequencyHz, int durationMs) override;

    // Samples of one tone in the sink's format (16-bit signed mono).
    static QByteArray sineSamples(int frequencyHz, int durationMs, int sampleRate);

  private:
    void startIfIdle();

    QAudioFormat format_;
    std::unique_ptr<QAudioSink> sink_;
    ToneStream* stream_ = nullptr;
};

}  // namespace tev
