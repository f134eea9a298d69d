#include "app/options.h"

#include <algorithm>
#include <charconv>

#include "app/option_reader.h"
#include "services/mqtt/rules/mqtt_settings.h"

namespace tev::app {
namespace {

constexpr int kMaxPort = 65535;

std::optional<int> portNumber(const std::string& text) {
    int port = -1;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), port);
    if (ec != std::errc() || end != text.data() + text.size() || port < 0 || port > kMaxPort)
        return std::nullopt;
    return port;
}

}  // namespace

ProgramOptions parseProgramOptions(const std::vector<std::string>& arguments) {
    using Kind = app::OptionRule::Kind;
    const auto port = [](const std::string& text) {
        return portNumber(text) ? std::string() : "\"" + text + "\" is not a port number 0 … 65535";
    };
    std::vector<app::OptionRule> rules = {{"--headless", Kind::Flag},
                                          {"--help", Kind::Flag},
                                          {"-h", Kind::Flag},
                                          {"--port", Kind::Value, false, port},
                                          {"--second-port", Kind::Value, false, port},
                                          {"--listen"},
                                          {"--folder"},
                                          {"--allow-meter", Kind::Value, true},
                                          {"--http"}};
    // Each MQTT key of tev3p.ini as an option: password_file → --mqtt-password-file. TLS is
    // switched on by --mqtt-tls alone, or set by --mqtt-tls=VALUE as the file would set it.
    std::map<std::string, std::string> mqttKeys;
    for (const std::string key : mqtt::kMqttKeys) {
        std::string name = "--mqtt-" + key;
        std::replace(name.begin(), name.end(), '_', '-');
        rules.push_back({name, key == "tls" ? Kind::FlagOrInlineValue : Kind::Value});
        mqttKeys[name] = key;
    }
    const app::ReadOptions read = app::readOptions(rules, arguments);
    ProgramOptions o;
    o.headless = read.has("--headless");
    o.help = read.has("--help") || read.has("-h");
    if (read.has("--port")) o.meterPort = portNumber(read.value("--port"));
    if (read.has("--second-port")) o.secondPort = portNumber(read.value("--second-port"));
    o.listenAddress = read.value("--listen");
    o.folder = read.value("--folder");
    o.http = read.value("--http");
    o.allowMeters = read.values("--allow-meter");
    for (const app::GivenOption& g : read.given)
        if (const auto key = mqttKeys.find(g.name); key != mqttKeys.end())
            o.mqtt[key->second] = g.value.value_or("on");
    o.errors = read.problemTexts("");
    return o;
}

ProgramOptions parseProgramOptions(int argc, char** argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
    return parseProgramOptions(arguments);
}

std::string programUsage() {
    return "Usage: tev3p [options]\n"
           "The TEV3P power monitor. It keeps its records, settings and day files in its folder.\n"
           "\n"
           "  --headless              run without a display: no window, the event log on\n"
           "                          standard output; SIGTERM saves both files and ends\n"
           "  --folder DIR            keep the files in DIR instead of the current folder\n"
           "  --port N                meter port (default 9317; 0 picks a free one)\n"
           "  --second-port N         second listening port (default 5113; 0 picks a free one)\n"
           "  --listen ADDRESS        listen on this address only (default every address)\n"
           "  --allow-meter ID        only this meter may register (repeat for more meters;\n"
           "                          replaces allow= in the [meters] group of tev3p.ini);\n"
           "                          others' device and data messages are ignored\n"
           "\n"
           "MQTT publishing (off unless a host is set; the same keys in the [mqtt] group of\n"
           "tev3p.ini in the folder; options override the file):\n"
           "  --mqtt-host HOST        broker host name or address\n"
           "  --mqtt-port N           broker port (default 1883)\n"
           "  --mqtt-tls              connect with TLS (certificates of /etc/ssl/certs)\n"
           "  --mqtt-user NAME        user name\n"
           "  --mqtt-password-file F  file whose first line is the password\n"
           "  --mqtt-prefix P         topic prefix (default tev3p)\n"
           "  --mqtt-client-id ID     client id (default tev3p-<computer name>)\n"
           "  --mqtt-discovery-prefix P  Home Assistant discovery prefix (default homeassistant)\n"
           "\n"
           "The web dashboard, JSON API and Prometheus metrics (off unless an address is set; the\n"
           "[http] group of tev3p.ini: listen, password_file, allow_anonymous, tls_cert, "
           "tls_key,\n"
           "allowed_hosts):\n"
           "  --http ADDRESS:PORT     serve them there (port 0 picks a free one); wins over "
           "listen=\n"
           "\n"
           "The fleet database (off unless the [fleet] group of tev3p.ini names a url: url,\n"
           "password_file, site, sslmode): every minute, hour, day and alert row of the\n"
           "archive is copied to PostgreSQL.\n"
           "\n"
           "Exporting, then ending (status 2 for a bad option, 1 when nothing could be read):\n"
           "  tev3p export --folder DIR --scale SCALE --format tidy|original [--output FILE]\n"
           "                          a records CSV of one time scale (min, m5, m10, hour,\n"
           "                          day, week, month) from DIR's records file\n"
           "  tev3p export --folder DIR --meter ID [--resolution minute|hour|day]\n"
           "               [--from TIME] [--to TIME] [--format tidy|json]\n"
           "                          one meter's rows from the per-meter archive, to standard\n"
           "                          output; TIME is ISO 8601 (2026-12-08 or 2026-12-08T10:00)\n"
           "  tev3p export --quality --folder DIR --meter ID [--week 2026-W13] [--format "
           "tidy|json]\n"
           "                          one meter's weekly voltage quality from the archive's\n"
           "                          minute rows against the nominal voltage of tev3p.ini;\n"
           "                          the running week without --week\n"
           "  tev3p export --fleet URL [--site S] --meter ID [--resolution minute|hour|day]\n"
           "               [--from TIME] [--to TIME] [--format tidy|json] [--password-file F]\n"
           "               [--folder DIR]\n"
           "                          the same rows of a site (default this computer's name)\n"
           "                          read back from the fleet database\n"
           "  tev3p fleet-schema      print the fleet database's SQL (tables, indexes, version)\n"
           "  tev3p fleet-resend --from TIME [--folder DIR]\n"
           "                          ship the archive's minute, hour, day and alert rows from\n"
           "                          TIME on to the fleet database again, at the recorder's\n"
           "                          next round or next start (status 2 for a bad option or\n"
           "                          an archive that never shipped)\n"
           "  tev3p report --month YYYY-MM [--meter ID] [--folder DIR] [--output FILE]\n"
           "                          one meter's monthly report (energy and cost per day,\n"
           "                          comparisons, base load, peak demand, voltage quality,\n"
           "                          alerts, phase advice) as one HTML file to print; by\n"
           "                          default the archive's first meter, written to\n"
           "                          TEV3P_<ID>_report_YYYY-MM.html in the current folder\n"
           "                          (status 2 for a bad option or month, no archive, an\n"
           "                          unknown meter or a month without rows)\n"
           "\n"
           "  -h, --help              this text\n";
}

}  // namespace tev::app
