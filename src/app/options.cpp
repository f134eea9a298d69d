#include "app/options.h"

#include <charconv>

#include "services/mqtt/rules/mqtt_settings.h"

namespace tev {
namespace {

constexpr int kMaxPort = 65535;

std::optional<int> portNumber(const std::string& text) {
    int port = -1;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), port);
    if (ec != std::errc() || end != text.data() + text.size() || port < 0 || port > kMaxPort)
        return std::nullopt;
    return port;
}

// "--mqtt-password-file" → "password_file" when it names an MQTT key.
std::optional<std::string> mqttKey(const std::string& option) {
    constexpr std::string_view kPrefix = "--mqtt-";
    if (option.rfind(kPrefix, 0) != 0) return std::nullopt;
    std::string key = option.substr(kPrefix.size());
    for (char& c : key)
        if (c == '-') c = '_';
    for (const char* k : kMqttKeys)
        if (key == k) return key;
    return std::nullopt;
}

}  // namespace

ProgramOptions parseProgramOptions(const std::vector<std::string>& arguments) {
    ProgramOptions o;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string arg = arguments[i];
        std::optional<std::string> inlineValue;
        if (const auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            inlineValue = arg.substr(eq + 1);
            arg.resize(eq);
        }
        auto value = [&](std::string& out) {
            if (inlineValue) {
                out = *inlineValue;
                return true;
            }
            if (i + 1 >= arguments.size()) {
                o.errors.push_back(arg + " needs a value");
                return false;
            }
            out = arguments[++i];
            return true;
        };
        auto port = [&](std::optional<int>& into) {
            std::string text;
            if (!value(text)) return;
            if (const auto p = portNumber(text))
                into = *p;
            else
                o.errors.push_back(arg + ": \"" + text + "\" is not a port number 0 … 65535");
        };
        if (arg == "--headless" && !inlineValue) {
            o.headless = true;
        } else if ((arg == "--help" || arg == "-h") && !inlineValue) {
            o.help = true;
        } else if (arg == "--port") {
            port(o.meterPort);
        } else if (arg == "--second-port") {
            port(o.secondPort);
        } else if (arg == "--listen") {
            value(o.listenAddress);
        } else if (arg == "--folder") {
            value(o.folder);
        } else if (arg == "--allow-meter") {
            std::string id;
            if (value(id)) o.allowMeters.push_back(id);
        } else if (arg == "--http") {
            value(o.http);
        } else if (arg == "--mqtt-tls" && !inlineValue) {
            o.mqtt["tls"] = "on";
        } else if (const auto key = mqttKey(arg)) {
            std::string text;
            if (value(text)) o.mqtt[*key] = text;
        } else {
            o.errors.push_back("unknown option " + arguments[i]);
        }
    }
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
           "  tev3p export --fleet URL [--site S] --meter ID [--resolution minute|hour|day]\n"
           "               [--from TIME] [--to TIME] [--format tidy|json] [--password-file F]\n"
           "               [--folder DIR]\n"
           "                          the same rows of a site (default this computer's name)\n"
           "                          read back from the fleet database\n"
           "  tev3p fleet-schema      print the fleet database's SQL (tables, indexes, version)\n"
           "\n"
           "  -h, --help              this text\n";
}

}  // namespace tev
