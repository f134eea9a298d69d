#include "app/report_command.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <span>

#include "app/meter_settings.h"
#include "app/option_reader.h"
#include "app/services.h"
#include "core/persistence/atomic_file.h"
#include "core/persistence/settings_file.h"
#include "core/settings/folder_files.h"
#include "services/archive/sqlite/archive_reader.h"
#include "services/fleet/rules/fleet_settings.h"

namespace tev::app {
namespace {

// The language the window last saved in the folder's settings file; bilingual, the program's
// own default, without one.
LanguageMode savedLanguage(const std::string& folder) {
    std::ifstream in(pathInFolder(folder, kSettingsFileName), std::ios::binary);
    const std::vector<std::uint8_t> image((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
    SettingsValues values;
    decodeSettings(image, values);
    return static_cast<LanguageMode>(repairedLanguageMode(values.languageMode));
}

int fail(int status, const std::string& line) {
    std::fprintf(stderr, "tev3p report: %s\n", line.c_str());
    return status;
}

}  // namespace

report::ReportSources folderReportSources(const SettingsFile& settings, const AlertSettings& alerts,
                                          LanguageMode language) {
    report::ReportSources s;
    s.folder = settings.folder;
    s.queries = archive::sqliteArchiveQueries();
    s.alerts = archive::readMeterAlerts;
    s.tariff = &alerts.tariff;
    s.voltageNominal = alerts.voltageNominal;
    // The phase advice and the demand charge as the web server's evening answer takes them.
    s.insights = web::insightsSettingsOf(alerts.alerts.defaults.imbalancePercent,
                                         alerts.alerts.defaults.imbalanceMinAmps,
                                         alerts.voltageNominal, &alerts.tariff);
    std::vector<std::string> problems;
    s.site = fleet::fleetSettingsFrom(settings.group("fleet"), computerName(), problems).site;
    if (s.site.empty()) s.site = computerName();
    s.language = language == LanguageMode::English ? report::ReportLanguage::English
                                                   : report::ReportLanguage::Bilingual;
    return s;
}

int runReportCommand(const std::vector<std::string>& arguments) {
    const std::string prefix = "tev3p report: ";
    const ReadOptions read =
        readOptions({{"--month"}, {"--meter"}, {"--folder"}, {"--output"}}, arguments);
    std::vector<std::string> problems = read.problemTexts(prefix);
    std::optional<report::ReportMonth> month;
    if (read.has("--month")) {
        month = report::parseReportMonth(read.value("--month"));
        if (!month)
            problems.push_back(prefix + "--month " + read.value("--month") +
                               " is not a month such as 2026-11");
    } else if (std::none_of(read.problems.begin(), read.problems.end(),
                            [](const OptionProblem& p) { return p.option == "--month"; })) {
        problems.push_back(prefix + "--month YYYY-MM is needed");
    }
    if (!problems.empty()) {
        for (const std::string& p : problems) std::fprintf(stderr, "%s\n", p.c_str());
        return 2;
    }
    const std::string folder = read.value("--folder", ".");
    const std::string monthText = read.value("--month");
    std::string error;
    const std::vector<std::string> meters = archive::archivedMeters(folder, error);
    if (!error.empty()) return fail(2, error);
    if (meters.empty()) return fail(2, "the archive of " + folder + " holds no meter");
    std::string meter = read.value("--meter");
    if (meter.empty()) {
        meter = meters.front();
        std::fprintf(stderr, "%smeter %s, %s\n", prefix.c_str(), meter.c_str(),
                     meters.size() == 1 ? "the archive's only meter"
                                        : ("the first of the archive's " +
                                           std::to_string(meters.size()) + " meters")
                                              .c_str());
    } else if (std::find(meters.begin(), meters.end(), meter) == meters.end()) {
        return fail(2, "meter " + meter + " is not in the archive of " + folder);
    }

    const SettingsFile settings = readSettingsFile(folder);
    const AlertSettings alertSettings = loadAlertSettings(folder);
    for (const std::string& p : alertSettings.problems)
        std::fprintf(stderr, "tev3p: %s\n", p.c_str());
    std::vector<std::string> nameProblems;
    const MeterNames names = loadMeterNames(settings, nameProblems);
    std::optional<std::string> name;
    if (const auto n = names.of(meter)) name = std::string(*n);
    const report::ReportSources sources =
        folderReportSources(settings, alertSettings, savedLanguage(folder));

    report::MonthReport figures;
    switch (report::gatherMonthReport(sources, meter, name, monthText, *month, figures, error)) {
        case report::Gathered::NoRows:
            return fail(2, "meter " + meter + " has no rows in " + monthText);
        case report::Gathered::Failed:
            return fail(1, error);
        case report::Gathered::Report:
            break;
    }
    const std::string html = report::monthReportHtml(figures);
    const std::string output = read.value("--output", report::reportFileName(meter, monthText));
    error = writeFileAtomically(
        output, std::span(reinterpret_cast<const std::uint8_t*>(html.data()), html.size()));
    if (!error.empty()) return fail(1, output + ": " + error);
    const std::string line = output + "\n";
    return std::fputs(line.c_str(), stdout) >= 0 && std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace tev::app
