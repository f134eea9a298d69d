#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "app/services.h"
#include "services/archive/sqlite/archive_outbox.h"

namespace tev::app {

std::string computerName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "host";
    return name;
}

bool loadFleet(const SettingsFile& settings, Fleet& fleet) {
    // A line of the group that is not UTF-8 text is a broken setting like any other.
    std::vector<std::string> problems = settings.leftOut("fleet");
    fleet.settings = fleet::fleetSettingsFrom(settings.group("fleet"), computerName(), problems);
    std::string& file = fleet.settings.passwordFile;
    file = pathInFolder(settings.folder, file);
    struct stat info {};
    if (!file.empty() && ::stat(file.c_str(), &info) == 0) {
        const std::string problem = fleet::passwordFileModeProblem(file, info.st_mode);
        if (!problem.empty()) problems.push_back(problem);
    }
    if (problems.empty()) return true;
    // Shipping somewhere else than asked, or nowhere, would look like it works.
    for (const std::string& p : problems) std::fprintf(stderr, "tev3p: %s\n", p.c_str());
    return false;
}

void startFleet(const ServiceContext& context, const Archive& archive, Fleet& fleet) {
    if (!fleet.settings.enabled()) return;
    if (!archive.service) {
        context.log("Fleet: the archive is off ([archive] enabled=false), so nothing is shipped");
        return;
    }
    fleet::FleetShipperOptions options;
    options.settings = fleet.settings;
    options.openOutbox = [folder = context.folder](std::string& error) {
        return archive::openArchiveOutbox(folder, error);
    };
    archive::ArchiveWriter* writer = &archive.service->writer();
    options.writtenThrough = [writer] { return writer->writtenThrough(); };
    options.log = context.logFromAnyThread();
    fleet.shipper = std::make_unique<fleet::FleetShipper>(std::move(options), context.clock);
    fleet.shipper->start();
}

void stopFleet(const ServiceContext&, Fleet& fleet) {
    // The rows not yet shipped wait in the archive for the next start.
    if (fleet.shipper) fleet.shipper->stop();
    fleet.shipper.reset();
}

}  // namespace tev::app
