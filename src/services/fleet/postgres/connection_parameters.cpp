#include "services/fleet/postgres/connection_parameters.h"

#include <sys/stat.h>

#include <fstream>

#include "services/fleet/rules/fleet_settings.h"

namespace tev::fleet {

PgConnection::Parameters fleetConnectionParameters(const std::string& url,
                                                   const std::string& passwordFile,
                                                   const std::string& sslmode, std::string& error) {
    error.clear();
    // Ours first, so that the url may say otherwise; the settings after it, so that they win.
    PgConnection::Parameters p = {{"application_name", "tev3p"}, {"connect_timeout", "10"},
                                  {"keepalives", "1"},           {"keepalives_idle", "30"},
                                  {"keepalives_interval", "10"}, {"keepalives_count", "3"},
                                  {"tcp_user_timeout", "30000"}, {"dbname", url},
                                  {"client_encoding", "UTF8"}};
    if (!sslmode.empty()) p.emplace_back("sslmode", sslmode);
    if (passwordFile.empty()) return p;
    struct stat info {};
    if (::stat(passwordFile.c_str(), &info) != 0) {
        error = "password_file " + passwordFile + " cannot be read";
        return p;
    }
    error = passwordFileModeProblem(passwordFile, info.st_mode);
    if (!error.empty()) return p;
    std::ifstream in(passwordFile);
    std::string password;
    std::getline(in, password);
    while (!password.empty() && (password.back() == '\r' || password.back() == '\n'))
        password.pop_back();
    if (password.empty()) error = "password_file " + passwordFile + " holds no password";
    p.emplace_back("password", password);
    return p;
}

}  // namespace tev::fleet
