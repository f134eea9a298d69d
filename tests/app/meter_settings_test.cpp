#include "app/meter_settings.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "app/options.h"

namespace tev::app {
namespace {

TEST(AllowedMeters, TheIniListIsReadAndAllowMeterOptionsReplaceIt) {
    QTemporaryDir dir;
    QFile ini(dir.filePath("tev3p.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[meters]\nallow=REAL00000001, REAL00000002\n[mqtt]\nhost=broker.lan\n");
    ini.close();
    std::vector<std::string> problems;
    EXPECT_EQ(loadAllowedMeters(app::readSettingsFile(dir.path().toStdString()), {}, problems),
              (std::vector<std::string>{"REAL00000001", "REAL00000002"}));
    EXPECT_TRUE(problems.empty());

    const ProgramOptions o =
        parseProgramOptions({"--allow-meter", "CLI000000001", "--allow-meter=CLI000000002"});
    EXPECT_TRUE(o.errors.empty());
    EXPECT_EQ(
        loadAllowedMeters(app::readSettingsFile(dir.path().toStdString()), o.allowMeters, problems),
        (std::vector<std::string>{"CLI000000001", "CLI000000002"}));
    EXPECT_TRUE(problems.empty());
    EXPECT_NE(programUsage().find("--allow-meter ID"), std::string::npos);
}

TEST(AllowedMeters, WithoutAListEveryMeterCountsAndAMistypedIdIsAProblem) {
    QTemporaryDir dir;
    std::vector<std::string> problems;
    EXPECT_TRUE(
        loadAllowedMeters(app::readSettingsFile(dir.path().toStdString()), {}, problems).empty());
    EXPECT_TRUE(problems.empty());
    EXPECT_TRUE(loadAllowedMeters(app::readSettingsFile(dir.path().toStdString()), {"REAL0000001"},
                                  problems)
                    .empty());
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0],
              "allowed meters: meter ID \"REAL0000001\" is not 12 printable characters");
}

}  // namespace
}  // namespace tev::app
