#include <gtest/gtest.h>

#include "app/export_arguments.h"
#include "app/export_command.h"
#include "app/options.h"

namespace tev::app {
namespace {

constexpr std::int64_t kNow = 1796688000;  // 2026-12-08

struct CommandLine {
    bool program;  // the program's options, else the arguments after "export"
    std::vector<std::string> arguments;
    int status;
    std::string message;  // a fragment of what standard error is told; empty: nothing
};

// Every form's problems: each is told in the form's words, and the command ends with status 2
// before reading any file or database; good lines end with none.
TEST(CommandLines, EachFormTellsItsProblemsAndEndsWithTheirStatus) {
    const std::vector<CommandLine> lines = {
        // The program's options.
        {true, {"--port", "1", "--colour"}, 2, "unknown option --colour"},
        {true, {"--headless", "--folder"}, 2, "--folder needs a value"},
        {true, {"--port", "70000"}, 2, "--port: \"70000\" is not a port number 0 … 65535"},
        {true, {"--second-port=x1"}, 2, "--second-port: \"x1\" is not a port number"},
        {true, {"--port", "1", "--port=2"}, 2, "--port is given more than once"},
        {true, {"--headless=yes"}, 2, "--headless takes no value"},
        {true, {"--allow-meter", "A", "--allow-meter=B", "--mqtt-tls", "--headless"}, 0, ""},
        // The records CSV.
        {false,
         {"--folder", "d", "--scale", "day", "--format", "tidy", "--bogus"},
         2,
         "tev3p: export: unknown option --bogus"},
        {false,
         {"--folder", "d", "--format", "tidy", "--scale"},
         2,
         "tev3p: --scale needs a value"},
        {false,
         {"--folder", "d", "--scale", "year", "--format", "tidy"},
         2,
         "tev3p: export needs --scale min, m5, m10, hour, day, week or month"},
        {false,
         {"--folder", "d", "--scale", "day", "--format", "tidy", "--folder", "e"},
         2,
         "tev3p: --folder is given more than once"},
        {false,
         {"--folder", "d", "--scale", "day", "--format", "tidy", "--live=1"},
         2,
         "tev3p: --live takes no value"},
        {false, {"--folder=d", "--scale=day", "--format=tidy", "--live"}, 0, ""},
        // The archive.
        {false, {"--meter", "X", "--colour", "red"}, 2, "tev3p export: unknown option --colour"},
        {false, {"--folder", "d", "--meter"}, 2, "tev3p export: --meter needs a value"},
        {false, {"--meter=", "--folder", "d"}, 2, "tev3p export: --meter ID is needed"},
        {false,
         {"--meter", "X", "--resolution", "week"},
         2,
         "tev3p export: --resolution is minute, hour or day"},
        {false, {"--meter", "X", "--format", "xml"}, 2, "tev3p export: --format is tidy or json"},
        {false,
         {"--meter", "X", "--from", "tomorrow"},
         2,
         "tev3p export: --from tomorrow is not an ISO 8601 time such as 2026-12-08T10:00"},
        {false,
         {"--meter", "X", "--meter", "Y"},
         2,
         "tev3p export: --meter is given more than once"},
        {false,
         {"--meter", "X", "--from", "2026-12-08", "--to", "2026-12-01"},
         2,
         "tev3p export: --from 2026-12-08 is after --to 2026-12-01"},
        {false,
         {"--folder=d", "--meter=X", "--resolution=day", "--from", "2026-12-01", "--to",
          "2026-12-08", "--format=json"},
         0,
         ""},
        // The weekly voltage quality.
        {false,
         {"--quality", "--meter", "X", "--colour", "red"},
         2,
         "tev3p export --quality: --colour needs a value or is unknown"},
        {false, {"--quality", "--meter"}, 2, "tev3p export --quality: --meter needs a value"},
        {false,
         {"--quality", "--meter", "X", "--week", "2026-W60"},
         2,
         "--week is an ISO week such as 2026-W13"},
        {false, {"--quality", "--meter", "X", "--format", "csv"}, 2, "--format tidy or json"},
        {false,
         {"--quality", "--meter", "X", "--week", "2026-W13", "--week", "2026-W14"},
         2,
         "tev3p export --quality: --week is given more than once"},
        {false, {"--quality", "--meter", "X", "--week", "2026-W13", "--format", "json"}, 0, ""},
        // The fleet database's read-back.
        {false,
         {"--fleet", "postgresql://db/f", "--meter", "X", "--colour", "red"},
         2,
         "tev3p export: unknown option --colour"},
        {false,
         {"--fleet", "postgresql://db/f", "--meter", "X", "--site"},
         2,
         "tev3p export: --site needs a value"},
        {false,
         {"--fleet", "postgresql://db/f", "--meter", "X", "--to", "yesterday"},
         2,
         "tev3p export: --to yesterday is not an ISO 8601 time"},
        {false,
         {"--fleet", "postgresql://db/f", "--meter", "X", "--sslmode", "a", "--sslmode=b"},
         2,
         "tev3p export: --sslmode is given more than once"},
        {false,
         {"--fleet", "postgresql://db/f", "--meter", "X", "--from", "2026-12-08", "--to",
          "2026-12-01"},
         2,
         "tev3p export: --from 2026-12-08 is after --to 2026-12-01"},
        {false, {"--fleet=postgresql://db/f", "--meter=X", "--from", "2026-12-01"}, 0, ""},
    };
    for (const CommandLine& line : lines) {
        std::string where;
        for (const std::string& a : line.arguments) where += " " + a;
        const std::vector<std::string> problems =
            line.program ? parseProgramOptions(line.arguments).errors
                         : parseExportArguments(line.arguments, "desk", kNow).problems;
        std::string told;
        for (const std::string& p : problems) told += p + "\n";
        EXPECT_EQ(problems.empty() ? 0 : 2, line.status) << where << "\n" << told;
        if (line.message.empty()) {
            EXPECT_EQ(told, "") << where;
        } else {
            EXPECT_NE(told.find(line.message), std::string::npos) << where << "\n" << told;
        }
        // The export itself ends with that status before it reads anything.
        if (!line.program && line.status == 2) {
            EXPECT_EQ(runExportCommand(line.arguments), 2) << where;
        }
    }
}

TEST(CommandLines, TheFleetReadBackTakesTheArchiveFormsAndTheComputersSite) {
    const auto ok = parseFleetExportArguments(
        {"--fleet", "postgresql://db/f", "--meter=HOQ000000001", "--resolution", "minute", "--from",
         "2026-12-08Z", "--format", "json"},
        "desk");
    EXPECT_TRUE(ok.problems.empty());
    EXPECT_EQ(ok.request.site, "desk");
    EXPECT_EQ(ok.request.resolution, archive::Resolution::Minute);
    EXPECT_EQ(ok.request.from, 1796688000);
    EXPECT_FALSE(ok.request.to);
    EXPECT_TRUE(ok.request.json);

    const auto bad = parseFleetExportArguments(
        {"--meter", "X", "--resolution", "week", "--to", "yesterday", "--format", "xls", "--site"},
        "");
    const std::vector<std::string> expected = {
        "tev3p export: --site needs a value",
        "tev3p export: --fleet URL is needed",
        "tev3p export: --site S is needed",
        "tev3p export: --resolution is minute, hour or day",
        "tev3p export: --format is tidy or json",
        "tev3p export: --to yesterday is not an ISO 8601 time such as 2026-12-08T10:00"};
    EXPECT_EQ(bad.problems, expected);

    EXPECT_NE(programUsage().find("  tev3p export --quality --folder DIR --meter ID [--week "
                                  "2026-W13] [--format tidy|json]\n"),
              std::string::npos);
}

}  // namespace
}  // namespace tev::app
