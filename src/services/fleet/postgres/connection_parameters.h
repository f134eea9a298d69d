#pragma once

#include <string>
#include <vector>

#include "services/fleet/postgres/pg_connection.h"

namespace tev::fleet {

// libpq's parameters for the fleet database: the url (any connection string), then the
// password from its file (which must be the user's alone) and the sslmode, which win over the
// url's. TCP keep-alives and a user timeout let a dead server show within a minute. `error`
// says why the password file cannot be used.
PgConnection::Parameters fleetConnectionParameters(const std::string& url,
                                                   const std::string& passwordFile,
                                                   const std::string& sslmode, std::string& error);

// Where the url leads, as any output may show it: "postgresql://host:port/database" with only
// those three (each left out when the url does not name it), never a user or a password.
std::string connectionPlace(const std::string& url);

// The passwords the url or the parameters hold (the url's password, a password= keyword, the
// password file's line), for scrubbing them from text that came back from libpq or the server.
std::vector<std::string> connectionSecrets(const PgConnection::Parameters& parameters);

// `text` with every secret of at least 3 bytes replaced by "***".
std::string withoutSecrets(std::string text, const std::vector<std::string>& secrets);

}  // namespace tev::fleet
