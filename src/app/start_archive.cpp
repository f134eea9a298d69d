#include <QCoreApplication>
#include <cstdio>

#include "app/alert_archive.h"
#include "app/services.h"
#include "core/settings/folder_files.h"
#include "services/archive/sqlite/archive_reader.h"

namespace tev::app {

void loadArchive(const SettingsFile& settings, Archive& archive) {
    archive.problems = settings.leftOut("archive");
    archive.settings = archive::archiveSettingsFrom(settings.group("archive"), archive.problems);
    for (const std::string& p : archive.problems) std::fprintf(stderr, "tev3p: %s\n", p.c_str());
}

void startArchive(const ServiceContext& context, Alerts& alerts, Archive& archive) {
    // A broken [archive] group is also told in the event log, where the user of the window looks.
    for (const std::string& p : archive.problems) context.log(std::string(kIniFileName) + ": " + p);
    if (!archive.settings.enabled) return;
    archive::ArchiveWriterOptions options;
    options.folder = context.folder;
    options.settings = archive.settings;
    // The writer's lines reach the event log on the GUI thread.
    options.log = context.logFromAnyThread();
    archive.service = std::make_unique<archive::ArchiveService>(std::move(options), context.clock);
    archive.service->start();
    context.observers.add(archive.service.get());
    keepAlertsInArchive(*alerts.service, *archive.service, context.folder);
    // Today, this week and this month from the archive's hour rows, for the tray, the broker
    // and the dashboard alike.
    archive.periods =
        std::make_unique<ArchivePeriods>(archive.service->writer(), context.recorder.registry(),
                                         alerts.settings.tariff, context.clock);
    context.observers.add(archive.periods.get());
    alerts.today = [periods = archive.periods.get()] { return periods->today(); };
    archive.evening = std::make_shared<EveningFigures>(
        context.folder, archive::sqliteArchiveQueries(),
        [periods = archive.periods.get()] { return periods->ids(); }, alerts.settings.tariff,
        context.clock);
}

void stopArchive(const ServiceContext& context, Archive& archive) {
    if (!archive.service) return;
    // Its last making ends before the writer does; /metrics and the broker keep what it made.
    archive.evening->stop();
    context.observers.remove(archive.periods.get());
    context.observers.remove(archive.service.get());
    archive.service->stop();  // writes what is still queued
    // The event loop has ended: the writer's last lines (a loss at the stop) are delivered to
    // the event log, and with it to standard output, here.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
}

}  // namespace tev::app
