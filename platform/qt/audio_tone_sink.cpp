#include "platform/qt/audio_tone_sink.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QMediaDevices>
#include <QtEndian>
#include <cmath>
#include <numbers>

namespace tev {
namespace {

constexpr int kSampleRate = 22050;
constexpr double kAmplitude = 0.4 * 32767.0;
// Short fade at both ends so that a tone does not click.
constexpr int kFadeSamples = 64;

}  // namespace

qint64 ToneStream::readData(char* data, qint64 maxSize) {
    const qint64 n = std::min<qint64>(maxSize, pending_.size());
    if (n <= 0) return 0;
    std::memcpy(data, pending_.constData(), static_cast<size_t>(n));
    pending_.remove(0, n);
    return n;
}

AudioToneSink::AudioToneSink(QObject* parent) : QObject(parent) {
    format_.setSampleRate(kSampleRate);
    format_.setChannelCount(1);
    format_.setSampleFormat(QAudioFormat::Int16);
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull() || !device.isFormatSupported(format_)) return;  // silent machine
    sink_ = std::make_unique<QAudioSink>(device, format_);
    stream_ = new ToneStream(this);
    stream_->open(QIODevice::ReadOnly);
    connect(sink_.get(), &QAudioSink::stateChanged, this, [this](QAudio::State state) {
        if (state == QAudio::IdleState && stream_->isDrained()) sink_->stop();
    });
}

AudioToneSink::~AudioToneSink() {
    if (sink_) sink_->stop();
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
    if (!sink_ || frequencyHz <= 0 || durationMs <= 0) return;
    stream_->enqueue(sineSamples(frequencyHz, durationMs, kSampleRate));
    startIfIdle();
}

void AudioToneSink::startIfIdle() {
    if (sink_->state() == QAudio::StoppedState || sink_->state() == QAudio::IdleState) {
        sink_->stop();
        sink_->start(stream_);
    }
}

}  // namespace tev
