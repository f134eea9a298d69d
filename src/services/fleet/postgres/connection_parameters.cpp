#include "services/fleet/postgres/connection_parameters.h"

#include <libpq-fe.h>
#include <sys/stat.h>

#include <fstream>
#include <map>

#include "services/fleet/rules/fleet_settings.h"

namespace tev::fleet {
namespace {

constexpr std::size_t kShortestScrubbedSecret = 3;

// libpq's reading of a connection string (a URI or key=value pairs), keyword by keyword;
// false when libpq cannot read it.
bool parsedUrl(const std::string& url, std::map<std::string, std::string>& out) {
    // As libpq expands it: neither a URI nor key=value pairs is a database's name.
    if (url.rfind("postgresql://", 0) != 0 && url.rfind("postgres://", 0) != 0 &&
        url.find('=') == std::string::npos) {
        out["dbname"] = url;
        return true;
    }
    char* message = nullptr;
    PQconninfoOption* options = PQconninfoParse(url.c_str(), &message);
    // libpq's message may quote the string itself, so it is not passed on.
    if (message != nullptr) PQfreemem(message);
    if (options == nullptr) return false;
    for (PQconninfoOption* o = options; o->keyword != nullptr; ++o)
        if (o->val != nullptr) out[o->keyword] = o->val;
    PQconninfoFree(options);
    return true;
}

}  // namespace

PgConnection::Parameters fleetConnectionParameters(const std::string& url,
                                                   const std::string& passwordFile,
                                                   const std::string& sslmode, std::string& error) {
    error.clear();
    std::map<std::string, std::string> read;
    if (!parsedUrl(url, read)) {
        error = "the url is not a connection string libpq can read";
        return {};
    }
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

std::string connectionPlace(const std::string& url) {
    std::map<std::string, std::string> read;
    // A query parameter libpq refuses leaves the host, port and database readable before it.
    const std::size_t query = url.find('?');
    if (!parsedUrl(url, read) &&
        (url.find("://") == std::string::npos || query == std::string::npos ||
         !parsedUrl(url.substr(0, query), read)))
        return "(an unreadable url)";
    std::string host = read["host"];
    if (host.empty()) host = read["hostaddr"];
    std::string place = "postgresql://" + host;
    if (!read["port"].empty()) place += ":" + read["port"];
    if (!read["dbname"].empty()) place += "/" + read["dbname"];
    return place;
}

std::vector<std::string> connectionSecrets(const PgConnection::Parameters& parameters) {
    std::vector<std::string> secrets;
    for (const auto& [key, value] : parameters) {
        if (key == "password" && !value.empty()) secrets.push_back(value);
        std::map<std::string, std::string> read;
        if (key == "dbname" && parsedUrl(value, read) && !read["password"].empty())
            secrets.push_back(read["password"]);
    }
    return secrets;
}

std::string withoutSecrets(std::string text, const std::vector<std::string>& secrets) {
    for (const std::string& secret : secrets) {
        if (secret.size() < kShortestScrubbedSecret) continue;
        for (std::size_t at = 0; (at = text.find(secret, at)) != std::string::npos; at += 3)
            text.replace(at, secret.size(), "***");
    }
    return text;
}

}  // namespace tev::fleet
