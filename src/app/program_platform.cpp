#include "app/program_platform.h"

#include <QHostAddress>
#include <cstdio>
#include <vector>

#include "app/meter_settings.h"

namespace tev::app {

ProgramPlatform::ProgramPlatform(const ProgramOptions& options, StandardOutput& standardOutput) {
    if (!options.headless) audioTones_ = std::make_unique<AudioToneSink>();
    platform_.meterObserver = &meterObservers_;
    platform_.clock = &clock_;
    platform_.tones = audioTones_ ? static_cast<ToneSink*>(audioTones_.get()) : &silentTones_;
    platform_.pause = &pause_;
    platform_.files = &files_;
    platform_.messages = options.headless ? static_cast<MessageBoxes*>(&headlessMessages_)
                                          : static_cast<MessageBoxes*>(&messages_);
    platform_.clipboard = &clipboard_;
    platform_.urls = &urls_;
    platform_.standardOutput = &standardOutput;
}

bool ProgramPlatform::takeOptions(const ProgramOptions& options, const SettingsFile& settings) {
    if (options.meterPort) platform_.sockets.meterPort = static_cast<quint16>(*options.meterPort);
    if (options.secondPort)
        platform_.sockets.secondPort = static_cast<quint16>(*options.secondPort);
    if (!options.listenAddress.empty()) {
        const QHostAddress address(QString::fromStdString(options.listenAddress));
        if (address.isNull()) {
            std::fprintf(stderr, "tev3p: --listen %s is not an IP address\n",
                         options.listenAddress.c_str());
            return false;
        }
        platform_.sockets.address = address;
    }
    // Which meters belong here. A mistyped ID would lock its meter out without a word.
    std::vector<std::string> problems;
    platform_.allowedMeters = loadAllowedMeters(settings, options.allowMeters, problems);
    for (const std::string& p : problems) std::fprintf(stderr, "tev3p: %s\n", p.c_str());
    return problems.empty();
}

void ProgramPlatform::placeDialogsOver(Tsdf& window) {
    files_.setParent(&window);
    messages_.setParent(&window);
}

}  // namespace tev::app
