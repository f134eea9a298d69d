#pragma once

#include <string>

#include "services/fleet/postgres/pg_connection.h"

namespace tev::fleet {

// libpq's parameters for the fleet database: the url (any connection string), then the
// password from its file (which must be the user's alone) and the sslmode, which win over the
// url's. TCP keep-alives and a user timeout let a dead server show within a minute. `error`
// says why the password file cannot be used.
PgConnection::Parameters fleetConnectionParameters(const std::string& url,
                                                   const std::string& passwordFile,
                                                   const std::string& sslmode, std::string& error);

}  // namespace tev::fleet
