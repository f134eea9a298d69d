#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tev::app {

// What the command line asks for. Without options the program runs as it always has: a window,
// the meter ports 9317 and 5113 on every address, its files in the current folder.
struct ProgramOptions {
    bool headless = false;
    bool help = false;
    std::optional<int> meterPort;   // --port
    std::optional<int> secondPort;  // --second-port
    std::string listenAddress;      // --listen; empty: every address
    std::string folder;             // --folder; empty: the current folder
    std::string http;               // --http ADDRESS:PORT: the web dashboard; empty: tev3p.ini
    // --mqtt-host and the other MQTT options, by their tev3p.ini key (host, port, …).
    std::map<std::string, std::string> mqtt;
    // --allow-meter, each as given: the only meters whose device and data messages count.
    std::vector<std::string> allowMeters;
    std::vector<std::string> errors;
};

ProgramOptions parseProgramOptions(const std::vector<std::string>& arguments);
ProgramOptions parseProgramOptions(int argc, char** argv);

// The text of --help.
std::string programUsage();

}  // namespace tev::app
