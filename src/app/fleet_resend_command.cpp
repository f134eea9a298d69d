#include "app/fleet_resend_command.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>

#include "app/option_reader.h"
#include "services/archive/rules/local_time.h"
#include "services/archive/sqlite/archive_outbox.h"
#include "services/fleet/rules/ship_plan.h"

namespace tev::app {

int runFleetResendCommand(const std::vector<std::string>& arguments) {
    const std::string prefix = "tev3p fleet-resend: ";
    const ReadOptions read = readOptions({{"--from"}, {"--folder"}}, arguments);
    std::vector<std::string> problems = read.problemTexts(prefix);
    std::optional<std::int64_t> from;
    if (read.has("--from")) {
        from = archive::parseIsoTime(read.value("--from"));
        if (!from)
            problems.push_back(prefix + "--from " + read.value("--from") +
                               " is not an ISO 8601 time such as 2026-12-08T10:00");
    } else if (std::none_of(read.problems.begin(), read.problems.end(),
                            [](const OptionProblem& p) { return p.option == "--from"; })) {
        problems.push_back(prefix + "--from TIME is needed");
    }
    if (!problems.empty()) {
        for (const std::string& p : problems) std::fprintf(stderr, "%s\n", p.c_str());
        return 2;
    }
    std::array<std::int64_t, 4> again{};
    std::string error;
    const archive::ShipAgain result =
        archive::shipAgainFrom(read.value("--folder", "."), *from, again, error);
    if (result != archive::ShipAgain::Moved) {
        std::fprintf(stderr, "%s%s\n", prefix.c_str(), error.c_str());
        return result == archive::ShipAgain::Failed ? 1 : 2;
    }
    const std::string line = fleet::shipAgainLine(again, archive::isoLocal(*from)) + "\n";
    return std::fputs(line.c_str(), stdout) >= 0 && std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace tev::app
