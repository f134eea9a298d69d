#include "app/alert_archive.h"

#include "services/archive/sqlite/archive_file.h"
#include "services/archive/sqlite/archive_reader.h"

namespace tev::app {

archive::AlertRecord alertRecordOf(const alerts::AlertEvent& e) {
    return {e.timeMs, e.meterId,  std::string(alerts::alertRuleName(e.rule)), e.phase, e.started,
            e.value,  e.threshold};
}

std::optional<alerts::AlertEvent> alertEventOf(const archive::AlertRecord& r) {
    const auto rule = alerts::alertRuleByName(r.rule);
    if (!rule) return std::nullopt;
    return alerts::AlertEvent{r.meter, *rule, r.phase, r.started, r.timeMs, r.value, r.threshold};
}

void keepAlertsInArchive(alerts::AlertService& alerts, archive::ArchiveService& archive,
                         const std::string& folder) {
    std::vector<alerts::AlertEvent> earlier;
    for (const archive::AlertRecord& r : archive::readRecentAlerts(
             archive::archivePath(folder), static_cast<int>(alerts::AlertService::kHistoryLimit)))
        if (auto e = alertEventOf(r)) earlier.push_back(std::move(*e));
    alerts.seedHistory(std::move(earlier));
    archive::ArchiveWriter& writer = archive.writer();
    alerts.setEventSink(
        [&writer](const alerts::AlertEvent& e) { writer.pushAlert(alertRecordOf(e)); });
}

}  // namespace tev::app
