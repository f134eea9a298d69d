#pragma once

#include <QAudioFormat>
#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <memory>

#include "platform/tone_sink.h"

class QAudioSink;
class QIODevice;

namespace tev {

// Plays each tone as a sine wave through the default audio output, one after the other, without
// blocking the window. Where the machine has no audio output it stays silent.
//
// A tone's samples go to the sound server as soon as it is asked for, behind whatever is still
// queued, so that tones follow one another without a pause and play at the server's pace
// whatever the window is doing. Between tones the output stream is kept topped up with silence,
// never more than a short buffer ahead, so that the next tone starts soon after it is asked for.
// The stream is closed only once the last tone has been heard and the output has stayed quiet
// a while; closing it earlier would throw away what the server still holds. When the sound
// server goes away the stream is dropped, and a later tone opens a new one.
class AudioToneSink final : public QObject, public ToneSink {
    Q_OBJECT
  public:
    explicit AudioToneSink(QObject* parent = nullptr);
    ~AudioToneSink() override;

    void beep(int frequencyHz, int durationMs) override;

    // Samples of one tone in the sink's format (16-bit signed mono).
    static QByteArray sineSamples(int frequencyHz, int durationMs, int sampleRate);

  private:
    bool open();
    void dropIfDead();
    void feed();
    void release();
    qint64 usecsOf(qint64 bytes) const;

    QAudioFormat format_;
    std::unique_ptr<QAudioSink> sink_;
    QIODevice* stream_ = nullptr;  // owned by sink_
    QTimer feedTimer_;
    QByteArray queue_;            // tone samples not yet handed to the stream
    qint64 written_ = 0;          // bytes handed to the stream since it opened, silence included
    qint64 toneEnd_ = 0;          // value of written_ just after the last tone sample
    QElapsedTimer sinceToneEnd_;  // started when the last tone sample was handed over
};

}  // namespace tev
