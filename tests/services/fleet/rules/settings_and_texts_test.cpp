#include <gtest/gtest.h>

#include "services/fleet/rules/fleet_export_request.h"
#include "services/fleet/rules/fleet_schema.h"
#include "services/fleet/rules/fleet_settings.h"
#include "services/fleet/rules/outage_log.h"

namespace tev::fleet {
namespace {

using Keys = std::map<std::string, std::string>;

TEST(FleetSettings, ReadTheGroupAndRefuseWhatCannotBeUsed) {
    struct Case {
        Keys keys;
        std::string site;     // expected
        std::string sslmode;  // expected
        std::string problem;  // a part of the one problem expected, or empty
    };
    const std::string url = "postgresql://tev@db:5432/fleet";
    const Case cases[] = {
        {{{"url", url}}, "desk", "", ""},
        {{{"url", url}, {"site", "Hall 2 – north"}, {"sslmode", "verify-full"}},
         "Hall 2 – north",
         "verify-full",
         ""},
        {{{"url", url}, {"sslmode", "sometimes"}}, "desk", "", "sslmode=sometimes"},
        {{{"url", url}, {"site", ""}}, "", "", "site \"\""},
        {{{"url", url}, {"site", std::string(65, 's')}}, "", "", "1 to 64 bytes"},
        {{{"url", url}, {"site", "a\tb"}}, "", "", "control characters"},
        {{{"url", url}, {"site", "bad \xff"}}, "", "", "UTF-8"},
        {{{"url", url}, {"passwd", "x"}}, "desk", "", "[fleet] passwd is not a setting"},
        // Without a url nothing of the sink exists, whatever else the group says.
        {{{"site", "a\tb"}, {"sslmode", "sometimes"}}, "", "", ""},
    };
    for (const Case& c : cases) {
        std::vector<std::string> problems;
        const FleetSettings s = fleetSettingsFrom(c.keys, "desk", problems);
        SCOPED_TRACE(c.problem);
        EXPECT_EQ(s.site, c.site);
        EXPECT_EQ(s.sslmode, c.sslmode);
        ASSERT_EQ(problems.size(), c.problem.empty() ? 0u : 1u);
        if (!c.problem.empty()) {
            EXPECT_NE(problems[0].find(c.problem), std::string::npos) << problems[0];
        }
        EXPECT_EQ(s.enabled(), c.keys.count("url") == 1);
    }
}

TEST(FleetSettings, APasswordFileOthersCanReadIsRefusedAndPasswordsNeverReachTheLog) {
    EXPECT_EQ(passwordFileModeProblem("/srv/pg.pw", 0100600), "");
    EXPECT_EQ(passwordFileModeProblem("/srv/pg.pw", 0100400), "");
    EXPECT_EQ(passwordFileModeProblem("/srv/pg.pw", 0100644),
              "[fleet] password_file /srv/pg.pw can be read by others (mode 644): chmod 600 it");
    EXPECT_NE(passwordFileModeProblem("/srv/pg.pw", 0100640), "");
    EXPECT_NE(passwordFileModeProblem("/srv/pg.pw", 0100602), "");

    const std::pair<std::string, std::string> urls[] = {
        {"postgresql://tev:s3cr:et@db:5432/fleet", "postgresql://tev:***@db:5432/fleet"},
        {"postgresql://tev@db/fleet?password=abc&sslmode=require",
         "postgresql://tev@db/fleet?password=***&sslmode=require"},
        {"postgres://db/fleet?sslpassword=x&password=y",
         "postgres://db/fleet?sslpassword=x&password=***"},
        {"postgresql://tev@db/fleet", "postgresql://tev@db/fleet"},
        {"host=db password=abc dbname=fleet", "host=db password=*** dbname=fleet"},
        {"host=db password = 'a b\\' c' user=tev", "host=db password = *** user=tev"},
        {"host=db sslpassword=abc", "host=db sslpassword=abc"},
        {"host=db\tpassword=abc\tdbname=fleet", "host=db\tpassword=***\tdbname=fleet"},
        {"host=db\npassword\t=\nabc\ruser=tev", "host=db\npassword\t=\n***\ruser=tev"},
        {"host=db Password=abc", "host=db Password=***"},
        {"postgresql://db/fleet?sslmode=require&Password=abc",
         "postgresql://db/fleet?sslmode=require&Password=***"},
        {"postgresql://db/fleet?PASSWORD=abc", "postgresql://db/fleet?PASSWORD=***"},
    };
    for (const auto& [url, shown] : urls) EXPECT_EQ(redactedUrl(url), shown) << url;
}

TEST(FleetSchema, VersionsDecideAndTheSchemaTextHoldsEveryTable) {
    EXPECT_EQ(schemaAction(std::nullopt), SchemaAction::Create);
    EXPECT_EQ(schemaAction(0), SchemaAction::Migrate);
    EXPECT_EQ(schemaAction(kFleetSchemaVersion), SchemaAction::Current);
    EXPECT_EQ(schemaAction(kFleetSchemaVersion + 1), SchemaAction::Refuse);
    EXPECT_EQ(newerSchemaLine("postgresql://db/fleet", 7),
              "Fleet: the database postgresql://db/fleet has schema version 7, newer than this "
              "program's 1: nothing is written to it; the rows wait in the archive");
    const std::string sql = fleetSchemaSql();
    for (const char* part :
         {"BEGIN;\nCREATE TABLE tev3p_schema", "CREATE TABLE meters", "CREATE TABLE minutes",
          "CREATE TABLE hours", "CREATE TABLE days", "CREATE TABLE alerts",
          "PRIMARY KEY (site, meter, t)", "CREATE INDEX minutes_by_time ON minutes (t)",
          "create_hypertable('minutes'", "INSERT INTO tev3p_schema (version) VALUES (1);\nCOMMIT;",
          "    watt_mean double precision,\n    day_kwh double precision,\n    kwh double "
          "precision,\n    n bigint NOT NULL,"})
        EXPECT_NE(sql.find(part), std::string::npos) << part;
    EXPECT_EQ(migrationSql(kFleetSchemaVersion), "");
}

TEST(OutageLog, OneLineWhenAnOutageBeginsAndOneWhenShippingResumes) {
    OutageLog log("postgresql://db/fleet");
    EXPECT_EQ(
        log.shipped(12, 1000),
        "Fleet: shipping to PostgreSQL postgresql://db/fleet, 12 rows waiting in the archive");
    EXPECT_EQ(log.shipped(0, 1005), "");
    EXPECT_EQ(log.failed("could not connect to server: Connection refused\n\tIs the server "
                         "running?\n",
                         2000),
              "Fleet: shipping to PostgreSQL postgresql://db/fleet stopped (could not connect to "
              "server: Connection refused): the rows wait in the archive, retrying in the "
              "background");
    EXPECT_EQ(log.failed("FATAL: password authentication failed", 2010), "");
    EXPECT_EQ(log.failed("timeout", 2100), "");
    EXPECT_EQ(log.shipped(4321, 2125),
              "Fleet: shipping to PostgreSQL postgresql://db/fleet resumed after 2 min 5 s; 4321 "
              "rows had waited in the archive");
    EXPECT_FALSE(log.inOutage());
    EXPECT_NE(log.failed("x", 3000), "");

    EXPECT_EQ(errorReason(std::string(300, 'x') + "\n"), std::string(200, 'x'));
    EXPECT_EQ(errorReason("bad \xff\x01 byte"), "bad \xEF\xBF\xBD  byte");
    EXPECT_EQ(errorReason(""), "no reason given");
    EXPECT_EQ(durationText(59), "59 s");
    EXPECT_EQ(durationText(3 * 3600 + 65), "3 h 1 min");
    EXPECT_EQ(durationText(2 * 86400 + 7200), "2 d 2 h");
}

TEST(FleetExport, TheReadBackQueriesOneResolutionsTableBetweenUtcBounds) {
    EXPECT_EQ(boundParameter(1796688000, true), "2026-12-08 00:00:00+00");
    EXPECT_EQ(boundParameter(std::nullopt, false), "infinity");
    EXPECT_EQ(seriesQuerySql(archive::Resolution::Day).substr(0, 46),
              "SELECT extract(epoch FROM t)::bigint, v1_mean,");
    EXPECT_NE(seriesQuerySql(archive::Resolution::Day).find(" FROM days WHERE site = $1"),
              std::string::npos);
}

}  // namespace
}  // namespace tev::fleet
