#include <stdlib.h>

#include <filesystem>

#include "services/alerts/tariff/tariff.h"
#include "services/archive/sqlite/archive_file.h"
#include "services/archive/sqlite/archive_reader.h"
#include "tests/services/web/server/web_server_fixture.h"

namespace tev::testing {
namespace {

// A real archive file in a fresh folder: two meters whose IDs differ in their last character,
// each with hourly rows of its own.
class MeterArchiveHttpTest : public WebServerTest {
  protected:
    void SetUp() override {
        WebServerTest::SetUp();
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
        char pattern[] = "/tmp/tev-web-archive-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        std::vector<std::string> lines;
        archive::SqliteDb db = archive::openArchiveForWriting(archive::archivePath(folder), lines);
        ASSERT_TRUE(db.isOpen());
        // 2026-12-08 08:00 and 09:00 in Berlin, and a day row that only the day table holds.
        ASSERT_EQ(db.exec("INSERT INTO meters (id, first_seen) VALUES "
                          "('HOQ00000000A', 0), ('HOQ00000000B', 0);"
                          "INSERT INTO hours (meter, t, n, watt_mean, v1_mean) VALUES "
                          "('HOQ00000000A', 1796713200, 60, 1200.5, 230.25),"
                          "('HOQ00000000A', 1796716800, 60, 800, 229),"
                          "('HOQ00000000B', 1796713200, 60, 55, 231);"
                          "INSERT INTO days (meter, t, n, watt_mean) VALUES "
                          "('HOQ00000000A', 1796684400, 120, 1000.25);"),
                  0);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    bool startWithArchive(const alerts::Tariff* tariff = nullptr,
                          std::int64_t now = std::int64_t{1796000000}) {
        web::WebSources sources;
        sources.tariff = tariff;
        sources.store = store.get();
        sources.log = &log;
        sources.archiveFolder = folder;
        sources.archiveQueries = archive::sqliteArchiveQueries();
        sources.meterNames = names;
        clock.setUnixSeconds(now);
        server = std::make_unique<web::WebServer>(settings, std::move(sources), clock);
        return server->start([](const std::string&) {});
    }
    MeterNames names;

    std::string folder;
};

TEST_F(MeterArchiveHttpTest, AMetersSeriesAndCsvComeFromTheArchiveFileOfThatMeterOnly) {
    ASSERT_TRUE(startWithArchive());
    const QByteArray series =
        exchange(get("/api/v1/meters/HOQ00000000A/series?resolution=hour&quantities=Watt,V1"));
    EXPECT_TRUE(series.startsWith("HTTP/1.1 200 OK")) << series.toStdString();
    EXPECT_TRUE(series.contains("Content-Type: application/json"));
    EXPECT_EQ(
        bodyOf(series).toStdString(),
        "{\"meter\":\"HOQ00000000A\",\"name\":null,\"resolution\":\"hour\",\"time\":[1796713200,"
        "1796716800],\"Watt\":[1200.5,800],\"V1\":[230.25,229]}\n");

    const QByteArray other =
        exchange(get("/api/v1/meters/HOQ00000000B/series?quantities=Watt&from=1796713200"));
    EXPECT_EQ(
        bodyOf(other).toStdString(),
        "{\"meter\":\"HOQ00000000B\",\"name\":null,\"resolution\":\"hour\",\"time\":[1796713200],"
        "\"Watt\":[55]}\n");

    const QByteArray bounded =
        exchange(get("/api/v1/meters/HOQ00000000A/series?quantities=Watt&from=2026-12-08T09:00"));
    EXPECT_TRUE(bodyOf(bounded).contains("\"time\":[1796716800],\"Watt\":[800]"));

    const QByteArray csv = exchange(get("/api/v1/meters/HOQ00000000A/export.csv?resolution=day"));
    EXPECT_TRUE(csv.startsWith("HTTP/1.1 200 OK")) << csv.toStdString();
    EXPECT_TRUE(csv.contains("Content-Type: text/csv; charset=utf-8"));
    EXPECT_TRUE(
        csv.contains("Content-Disposition: attachment; filename=\"TEV3P_HOQ00000000A_day.csv\""));
    const QByteArray rows = bodyOf(csv);
    EXPECT_TRUE(rows.startsWith("time,V1_V,V1_min_V,V1_max_V,")) << rows.toStdString();
    EXPECT_EQ(rows.count('\n'), 2);
    EXPECT_TRUE(rows.contains("\n2026-12-08T00:00:00+01:00,")) << rows.toStdString();
}

// A streamed answer (chunked, made on reader threads a slice at a time) is one gzip stream.
TEST_F(MeterArchiveHttpTest, AStreamedSeriesGoesAsOneGzipStreamInChunks) {
    ASSERT_TRUE(startWithArchive());
    const QByteArray target = "/api/v1/meters/HOQ00000000A/series?quantities=Watt,V1";
    const QByteArray plain = exchange(get(target));
    const QByteArray gz = exchange(get(target, "Accept-Encoding: gzip\r\n"));
    EXPECT_EQ(headerOf(gz, "Transfer-Encoding"), "chunked");
    EXPECT_EQ(headerOf(gz, "Content-Encoding"), "gzip");
    EXPECT_EQ(headerOf(gz, "Vary"), "Accept-Encoding");
    EXPECT_TRUE(bodyOf(plain).startsWith("{\"meter\":\"HOQ00000000A\""));
    EXPECT_EQ(gunzip(bodyOf(gz)), bodyOf(plain));
}

TEST_F(MeterArchiveHttpTest, AnswersOnAKeptAliveConnectionComeInTheOrderOfTheRequests) {
    ASSERT_TRUE(startWithArchive());
    auto client = connectClient();
    client->write(get("/api/v1/meters/HOQ00000000B/series?quantities=Watt") + get("/api/v1/live") +
                  get("/api/v1/meters/HOQ00000000A/series?quantities=V1"));
    QByteArray got;
    pumpUntil([&] {
        got += client->readAll();
        return got.count("HTTP/1.1 200 OK") == 3 && got.endsWith("]}\n\r\n0\r\n\r\n");
    });
    const int first = got.indexOf("\"meter\":\"HOQ00000000B\"");
    const int second = got.indexOf("\"readings\"");
    const int third = got.indexOf("\"meter\":\"HOQ00000000A\"");
    EXPECT_GE(first, 0) << got.toStdString();
    EXPECT_GT(second, first);
    EXPECT_GT(third, second);
}

TEST_F(MeterArchiveHttpTest, BadRequestsAMissingFileAndASwitchedOffArchiveAreToldApart) {
    ASSERT_TRUE(startWithArchive());
    EXPECT_TRUE(exchange(get("/api/v1/meters/HOQ00000000A/series?resolution=week"))
                    .startsWith("HTTP/1.1 400"));
    EXPECT_TRUE(exchange(get("/api/v1/meters/SHORT/series")).startsWith("HTTP/1.1 400"));
    EXPECT_TRUE(exchange(get("/api/v1/meters/HOQ00000000A/other")).startsWith("HTTP/1.1 404"));
    // HEAD gets the head alone, with the length of the body it would have had.
    const QByteArray head = exchange(
        "HEAD /api/v1/meters/HOQ00000000A/series?quantities=Watt "
        "HTTP/1.1\r\n" +
        host() + "\r\n");
    EXPECT_TRUE(head.startsWith("HTTP/1.1 200 OK"));
    EXPECT_TRUE(bodyOf(head).isEmpty());

    std::filesystem::remove_all(folder);
    const QByteArray missing = exchange(get("/api/v1/meters/HOQ00000000A/series"));
    EXPECT_TRUE(missing.startsWith("HTTP/1.1 503")) << missing.toStdString();
    EXPECT_FALSE(missing.contains(QByteArray::fromStdString(folder)));

    ASSERT_TRUE(startServer());  // no archive folder: the archive is off
    EXPECT_TRUE(exchange(get("/api/v1/meters/HOQ00000000A/series")).startsWith("HTTP/1.1 404"));
}

// Every archived meter's energy and cost, read on a reader thread: the fixture's meters with
// energy in their hours, priced at 0.20 and 0.40 from 09:00, at 10:30 on Tuesday 8 December.
TEST_F(MeterArchiveHttpTest, CostsPerMeterComeFromEachMetersHoursAndTheArchiveCsvGainsACostColumn) {
    std::vector<std::string> lines;
    archive::SqliteDb db = archive::openArchiveForWriting(archive::archivePath(folder), lines);
    ASSERT_EQ(db.exec("UPDATE hours SET kwh = 2 WHERE meter = 'HOQ00000000A' AND t = 1796713200;"
                      "UPDATE hours SET kwh = 1.5 WHERE meter = 'HOQ00000000A' AND t = 1796716800;"
                      "UPDATE hours SET kwh = 10 WHERE meter = 'HOQ00000000B';"
                      "UPDATE days SET kwh = 3.5;"),
              0);
    const alerts::TariffLoad load = alerts::loadTariff(IniDocument::parse(
        "[tariff]\ncurrency=EUR\nprice_per_kwh=0.20\nstanding_charge_per_day=0.50\n"
        "band_1=all 09:00-12:00 0.40\n"));
    ASSERT_TRUE(load.problems.empty());
    ASSERT_TRUE(startWithArchive(&load.tariff, 1796722200));
    const QByteArray costs = exchange(get("/api/v1/costs/meters"));
    EXPECT_TRUE(costs.startsWith("HTTP/1.1 200 OK")) << costs.toStdString();
    // A: 2 x 0.20 + 1.5 x 0.40 today. Both meters' first hour is today, so the week and the
    // month hold today alone. B: 10 x 0.20. The site: both, and one standing charge of 0.50.
    EXPECT_EQ(bodyOf(costs).toStdString(),
              "{\"currency\":\"EUR\",\"meters\":["
              "{\"id\":\"HOQ00000000A\",\"name\":null,\"kwh_today\":3.5000,\"today\":1.0000,"
              "\"kwh_week\":3.5000,\"week\":1.0000,\"kwh_month\":3.5000,\"month\":1.0000,"
              "\"kwh_today_phases\":null},"
              "{\"id\":\"HOQ00000000B\",\"name\":null,\"kwh_today\":10.0000,\"today\":2.0000,"
              "\"kwh_week\":10.0000,\"week\":2.0000,\"kwh_month\":10.0000,\"month\":2.0000,"
              "\"kwh_today_phases\":null}],"
              "\"site\":{\"kwh_today\":13.5000,\"today\":3.5000,\"kwh_week\":13.5000,"
              "\"week\":3.5000,\"kwh_month\":13.5000,\"month\":3.5000},\"standing_today\":0.5000}");

    const QByteArray hours =
        bodyOf(exchange(get("/api/v1/meters/HOQ00000000A/export.csv?resolution=hour")));
    EXPECT_TRUE(hours.startsWith("time,V1_V,")) << hours.toStdString();
    EXPECT_TRUE(hours.contains(",Messages_count,cost_EUR\n")) << hours.toStdString();
    EXPECT_TRUE(hours.contains(",60,0.4000\n")) << hours.toStdString();
    EXPECT_TRUE(hours.contains(",60,0.6000\n")) << hours.toStdString();
    // The day row: 3.5 kWh spread over the day (3 of its 24 hours in the band) and the charge.
    const QByteArray days =
        bodyOf(exchange(get("/api/v1/meters/HOQ00000000A/export.csv?resolution=day")));
    EXPECT_TRUE(days.contains(",120,1.2875\n")) << days.toStdString();
    // The series JSON is as it was.
    EXPECT_FALSE(exchange(get("/api/v1/meters/HOQ00000000A/series")).contains("cost"));

    // Without a tariff there is no cost: null, and the CSV as before.
    ASSERT_TRUE(startWithArchive());
    EXPECT_EQ(bodyOf(exchange(get("/api/v1/costs/meters"))).toStdString(), "{\"currency\":null}");
    EXPECT_FALSE(exchange(get("/api/v1/meters/HOQ00000000A/export.csv")).contains("cost_"));
    // With a tariff but no archive: 404, as the other archive paths.
    web::WebSources sources;
    sources.store = store.get();
    sources.log = &log;
    sources.tariff = &load.tariff;
    clock.setUnixSeconds(1796722200);
    server = std::make_unique<web::WebServer>(settings, std::move(sources), clock);
    ASSERT_TRUE(server->start([](const std::string&) {}));
    EXPECT_TRUE(exchange(get("/api/v1/costs/meters")).startsWith("HTTP/1.1 404"));
}

// The server hands a meter's name to its archive answers and its CSV's file name; ?bom=1 puts
// a byte-order mark before the CSV's header.
TEST_F(MeterArchiveHttpTest, ANamedMetersAnswersCarryItsNameAndABomComesWhenAsked) {
    names.byId.emplace("HOQ00000000A", "K\u00fcche 1");
    ASSERT_TRUE(startWithArchive());
    const QByteArray series = exchange(get("/api/v1/meters/HOQ00000000A/series?quantities=Watt"));
    EXPECT_TRUE(bodyOf(series).startsWith("{\"meter\":\"HOQ00000000A\",\"name\":\"K\u00fcche 1\","))
        << series.toStdString();
    const QByteArray csv = exchange(get("/api/v1/meters/HOQ00000000A/export.csv?bom=1"));
    EXPECT_EQ(headerOf(csv, "Content-Disposition"),
              "attachment; filename=\"TEV3P_HOQ00000000A_K_che_1_hour.csv\"");
    EXPECT_TRUE(bodyOf(csv).startsWith("\xEF\xBB\xBFtime,")) << csv.toStdString();
    EXPECT_TRUE(
        bodyOf(exchange(get("/api/v1/meters/HOQ00000000B/export.csv"))).startsWith("time,"));
}

}  // namespace
}  // namespace tev::testing
