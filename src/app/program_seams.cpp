#include "app/program_seams.h"

#include <QHostAddress>
#include <cstdio>
#include <vector>

#include "app/meter_settings.h"

namespace tev::app {

ProgramSeams::ProgramSeams(const ProgramOptions& options, StandardOutput& standardOutput) {
    if (!options.headless) audioTones_ = std::make_unique<AudioToneSink>();
    seams_.meterObserver = &meterObservers_;
    seams_.clock = &clock_;
    seams_.tones = audioTones_ ? static_cast<ToneSink*>(audioTones_.get()) : &silentTones_;
    seams_.pause = &pause_;
    seams_.files = &files_;
    seams_.messages = options.headless ? static_cast<MessageBoxes*>(&headlessMessages_)
                                       : static_cast<MessageBoxes*>(&messages_);
    seams_.clipboard = &clipboard_;
    seams_.urls = &urls_;
    seams_.standardOutput = &standardOutput;
}

bool ProgramSeams::takeOptions(const ProgramOptions& options, const SettingsFile& settings) {
    if (options.meterPort) seams_.sockets.meterPort = static_cast<quint16>(*options.meterPort);
    if (options.secondPort) seams_.sockets.secondPort = static_cast<quint16>(*options.secondPort);
    if (!options.listenAddress.empty()) {
        const QHostAddress address(QString::fromStdString(options.listenAddress));
        if (address.isNull()) {
            std::fprintf(stderr, "tev3p: --listen %s is not an IP address\n",
                         options.listenAddress.c_str());
            return false;
        }
        seams_.sockets.address = address;
    }
    // Which meters belong here. A mistyped ID would lock its meter out without a word.
    std::vector<std::string> problems;
    seams_.allowedMeters = loadAllowedMeters(settings, options.allowMeters, problems);
    for (const std::string& p : problems) std::fprintf(stderr, "tev3p: %s\n", p.c_str());
    return problems.empty();
}

void ProgramSeams::placeDialogsOver(Tsdf& window) {
    files_.setParent(&window);
    messages_.setParent(&window);
}

}  // namespace tev::app
