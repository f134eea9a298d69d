#pragma once

#include <string>

#include "services/alerts/notify/alert_service.h"
#include "services/archive/sqlite/archive_service.h"

namespace tev::app {

// Alert starts and ends go to the archive's alerts table, and the history of earlier runs is
// read back from it, so the dashboard's alert history outlives the program.
void keepAlertsInArchive(alerts::AlertService& alerts, archive::ArchiveService& archive,
                         const std::string& folder);

archive::AlertRecord alertRecordOf(const alerts::AlertEvent& e);
// Nothing for a row whose rule this program does not know.
std::optional<alerts::AlertEvent> alertEventOf(const archive::AlertRecord& r);

}  // namespace tev::app
