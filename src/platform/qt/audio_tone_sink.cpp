#include "platform/qt/audio_tone_sink.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QMediaDevices>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace tev {
namespace {

constexpr int kSampleRate = 22050;
constexpr int kBytesPerFrame = 2;
constexpr double kAmplitude = 0.4 * 32767.0;
// Short fade at both ends so that a tone does not click.
constexpr int kFadeSamples = 64;
// How far the stream is filled ahead of what is heard: the delay before a tone starts, and how
// long the event loop may be busy before a playing tone breaks up.
constexpr int kBufferMs = 30;
// How often the stream is topped up.
constexpr int kFeedIntervalMs = 10;
// After the last tone has been heard the stream stays open this long, so that the tones of the
// one-second tick reuse it instead of opening a new stream every second.
constexpr int kHoldOpenMs = 1500;
// If the output never reports the last tone as played, the stream is closed after this anyway.
constexpr int kGiveUpMs = kHoldOpenMs + 3000;

}  // namespace

AudioToneSink::AudioToneSink(QObject* parent) : QObject(parent) {
    format_.setSampleRate(kSampleRate);
    format_.setChannelCount(1);
    format_.setSampleFormat(QAudioFormat::Int16);
    feedTimer_.setTimerType(Qt::PreciseTimer);
    feedTimer_.setInterval(kFeedIntervalMs);
    connect(&feedTimer_, &QTimer::timeout, this, &AudioToneSink::feed);
}

AudioToneSink::~AudioToneSink() {
    release();
}

QByteArray AudioToneSink::sineSamples(int frequencyHz, int durationMs, int sampleRate) {
    const int count =
        std::max(0, static_cast<int>(static_cast<qint64>(sampleRate) * durationMs / 1000));
    QByteArray pcm(count * 2, Qt::Uninitialized);
    auto* out = reinterpret_cast<qint16*>(pcm.data());
    for (int i = 0; i < count; ++i) {
        double gain = 1.0;
        if (i < kFadeSamples) gain = static_cast<double>(i) / kFadeSamples;
        if (count - 1 - i < kFadeSamples)
            gain = std::min(gain, static_cast<double>(count - 1 - i) / kFadeSamples);
        const double s = std::sin(2.0 * std::numbers::pi * frequencyHz * i / sampleRate);
        out[i] = qToLittleEndian(static_cast<qint16>(std::lround(s * kAmplitude * gain)));
    }
    return pcm;
}

void AudioToneSink::beep(int frequencyHz, int durationMs) {
    if (frequencyHz <= 0 || durationMs <= 0) return;
    dropIfDead();
    if (!sink_ && !open()) return;  // no sound server or device: stay silent
    queue_.append(sineSamples(frequencyHz, durationMs, kSampleRate));
    feed();
}

bool AudioToneSink::open() {
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull() || !device.isFormatSupported(format_)) return false;
    sink_ = std::make_unique<QAudioSink>(device, format_);
    sink_->setBufferSize(format_.bytesForDuration(kBufferMs * 1000));
    stream_ = sink_->start();
    if (stream_ == nullptr || sink_->error() == QAudio::FatalError ||
        sink_->error() == QAudio::OpenError) {
        release();
        return false;
    }
    written_ = 0;
    toneEnd_ = 0;
    feedTimer_.start();
    return true;
}

void AudioToneSink::dropIfDead() {
    // The sound server went away (or the device with it): drop the stream and what it was to
    // play; the next tone opens a stream on whatever output there is then.
    if (sink_ && (sink_->state() == QAudio::StoppedState || sink_->error() == QAudio::FatalError ||
                  sink_->error() == QAudio::IOError))
        release();
}

void AudioToneSink::feed() {
    dropIfDead();
    if (!sink_) return;
    // Tone samples go to the server at once, however much that is: it then plays them at its
    // own pace, unaffected by how busy the window's event loop is.
    if (!queue_.isEmpty()) {
        const qint64 n = stream_->write(queue_);
        if (n > 0) {
            queue_.remove(0, n);
            written_ += n;
            if (queue_.isEmpty()) {
                toneEnd_ = written_;
                sinceToneEnd_.start();
            }
        }
    }
    if (!queue_.isEmpty()) return;
    // Nothing left to play: once the last tone has been heard and the output has been quiet a
    // while, close the stream; until then keep it fed with silence, so that the end of the last
    // tone leaves the buffer and a new tone follows within the buffer's length.
    const bool heard = sink_->processedUSecs() >= usecsOf(toneEnd_);
    const qint64 quiet = sinceToneEnd_.isValid() ? sinceToneEnd_.elapsed() : kGiveUpMs;
    if ((heard && quiet >= kHoldOpenMs) || quiet >= kGiveUpMs) {
        release();
        return;
    }
    const qint64 room = sink_->bytesFree() / kBytesPerFrame * kBytesPerFrame;
    if (room > 0) {
        const QByteArray silence(static_cast<qsizetype>(room), '\0');
        const qint64 n = stream_->write(silence);
        if (n > 0) written_ += n;
    }
}

void AudioToneSink::release() {
    feedTimer_.stop();
    queue_.clear();
    stream_ = nullptr;
    sinceToneEnd_.invalidate();
    if (!sink_) return;
    sink_->stop();
    sink_.reset();
}

qint64 AudioToneSink::usecsOf(qint64 bytes) const {
    return bytes / kBytesPerFrame * 1000000 / kSampleRate;
}

}  // namespace tev
