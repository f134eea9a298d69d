#include "services/web/rules/meter_archive_api.h"

#include <gtest/gtest.h>

#include <cmath>

#include "tests/services/web/rules/webapi_fixture.h"

namespace tev::web {
namespace {

using Parsed = std::optional<std::variant<MeterArchiveRequest, ApiResponse>>;

Parsed parse(std::string_view target) {
    const ParsedTarget p = parseRequestTarget(target);
    EXPECT_EQ(p.problem, TargetProblem::None) << target;
    return meterArchiveRequestFrom(p.target);
}

MeterArchiveRequest request(std::string_view target) {
    const Parsed p = parse(target);
    EXPECT_TRUE(p && std::holds_alternative<MeterArchiveRequest>(*p)) << target;
    return p && std::holds_alternative<MeterArchiveRequest>(*p) ? std::get<MeterArchiveRequest>(*p)
                                                                : MeterArchiveRequest{};
}

int refusal(std::string_view target) {
    const Parsed p = parse(target);
    if (!p || !std::holds_alternative<ApiResponse>(*p)) return 0;
    return std::get<ApiResponse>(*p).status;
}

TEST(MeterArchiveApi, ReadsTheMeterResolutionQuantitiesAndBoundsOfASeriesRequest) {
    testing::useBerlinTime();
    const MeterArchiveRequest r = request(
        "/api/v1/meters/HOQ000000012/series?resolution=minute&quantities=Watt,V1_max,Watt"
        "&from=1796000000&to=2026-12-08T10:00");
    EXPECT_EQ(r.form, MeterArchiveRequest::Form::Series);
    EXPECT_EQ(r.meter, "HOQ000000012");
    EXPECT_EQ(r.resolution, archive::Resolution::Minute);
    EXPECT_EQ(r.quantities, (std::vector<std::string>{"Watt", "V1_max"}));
    EXPECT_EQ(r.from, 1796000000);
    // 10:00 in Berlin in December is 09:00 UTC.
    EXPECT_EQ(r.to, 1796720400);
}

TEST(MeterArchiveApi, AnExportWithoutParametersAsksForEveryHourlyQuantityOfAllTime) {
    const MeterArchiveRequest r = request("/api/v1/meters/HOQ-A.b_0001/export.csv");
    EXPECT_EQ(r.form, MeterArchiveRequest::Form::Csv);
    EXPECT_EQ(r.meter, "HOQ-A.b_0001");
    EXPECT_EQ(r.resolution, archive::Resolution::Hour);
    EXPECT_TRUE(r.quantities.empty());
    EXPECT_FALSE(r.from || r.to);
}

TEST(MeterArchiveApi, LeavesOtherPathsAloneAndRefusesBadRequestsWithTheirStatus) {
    EXPECT_FALSE(parse("/api/v1/meters").has_value());
    EXPECT_FALSE(parse("/api/v1/series").has_value());
    EXPECT_FALSE(parse("/api/v1/metersX/HOQ000000012/series").has_value());
    EXPECT_EQ(refusal("/api/v1/meters/"), 404);
    EXPECT_EQ(refusal("/api/v1/meters/HOQ000000012"), 404);
    EXPECT_EQ(refusal("/api/v1/meters/HOQ000000012/"), 404);
    EXPECT_EQ(refusal("/api/v1/meters/HOQ000000012/series/x"), 404);
    EXPECT_EQ(refusal("/api/v1/meters/HOQ000000012/records.csv"), 404);
    EXPECT_EQ(refusal("/api/v1/meters/HOQ00000001/series"), 400);
    EXPECT_EQ(refusal("/api/v1/meters/HOQ0000000123/series"), 400);
    EXPECT_EQ(refusal("/api/v1/meters//series"), 400);
    EXPECT_EQ(refusal("/api/v1/meters/HOQ000000012/series?resolution=week"), 400);
    EXPECT_EQ(refusal("/api/v1/meters/HOQ000000012/series?resolution="), 400);
    EXPECT_EQ(refusal("/api/v1/meters/HOQ000000012/series?quantities=Watt,KWh"), 400);
    EXPECT_EQ(refusal("/api/v1/meters/HOQ000000012/series?quantities=,"), 400);
    // A reversed range would answer empty arrays that look like a quiet meter.
    EXPECT_EQ(refusal("/api/v1/meters/HOQ000000012/series?from=2026-12-08&to=2026-12-01"), 400);
    EXPECT_EQ(refusal("/api/v1/meters/HOQ000000012/series?from=yesterday"), 400);
    EXPECT_EQ(refusal("/api/v1/meters/HOQ000000012/export.csv?to=2026-13-01"), 400);
    EXPECT_EQ(refusal("/api/v1/meters/HOQ000000012/series?from=99999999999999999999"), 400);
}

archive::ArchiveSeries twoHours() {
    archive::ArchiveSeries s;
    s.meter = "HOQ000000012";
    s.resolution = archive::Resolution::Hour;
    s.time = {1796713200, 1796716800};
    s.quantities = {archive::findQuantity("Watt"), archive::findQuantity("V1")};
    s.values = {{1250.5, 0.25}, {230, 229.125}};
    return s;
}

TEST(MeterArchiveApi, AnswersTheSeriesAsColumnarJsonNamingMeterAndResolution) {
    MeterArchiveRequest r;
    const ApiResponse a = meterArchiveResponse(r, twoHours(), "");
    EXPECT_EQ(a.status, 200);
    EXPECT_EQ(a.contentType, "application/json");
    EXPECT_EQ(a.body,
              "{\"meter\":\"HOQ000000012\",\"name\":null,\"resolution\":\"hour\","
              "\"time\":[1796713200,1796716800],\"Watt\":[1250.5,0.25],\"V1\":[230,229.125]}\n");
    r.name = "Kitchen \"\\ <1>";
    EXPECT_EQ(
        meterArchiveResponse(r, twoHours(), "")
            .body.rfind(
                "{\"meter\":\"HOQ000000012\",\"name\":\"Kitchen \\\"\\\\ <1>\",\"resolution\":", 0),
        0u);
}

// A silence between two rows is one row of nulls at the first missing period's start: 28 hours
// in a minute series, a day in a day series (across the clock change), none between neighbours.
TEST(MeterArchiveApi, ASilenceBetweenRowsBecomesOneRowOfNulls) {
    testing::useBerlinTime();
    struct Case {
        archive::Resolution resolution;
        std::vector<std::int64_t> time;
        std::vector<std::int64_t> expected;  // -1: the rows as they are
    };
    const std::int64_t t = 1796713200;  // 8 December 2026, 08:00 in Berlin
    const std::int64_t oct24 = 1792792800, oct25 = 1792879200, oct26 = 1792969200;
    const Case cases[] = {
        {archive::Resolution::Minute,
         {t, t + 60, t + 120 + 28 * 3600, t + 180 + 28 * 3600},
         {t, t + 60, t + 120, t + 120 + 28 * 3600, t + 180 + 28 * 3600}},
        {archive::Resolution::Minute, {t, t + 60, t + 120}, {t, t + 60, t + 120}},
        {archive::Resolution::Hour, {t, t + 7200}, {t, t + 3600, t + 7200}},
        {archive::Resolution::Day, {oct24, oct25, oct26}, {oct24, oct25, oct26}},
        {archive::Resolution::Day, {oct24, oct26}, {oct24, oct25, oct26}},
    };
    for (const Case& c : cases) {
        archive::ArchiveSeries s;
        s.resolution = c.resolution;
        s.time = c.time;
        s.quantities = {archive::findQuantity("Watt")};
        s.values = {std::vector<double>(c.time.size(), 5.0)};
        const archive::ArchiveSeries g = withGapRows(s);
        EXPECT_EQ(g.time, c.expected) << archive::resolutionName(c.resolution);
        ASSERT_EQ(g.values[0].size(), c.expected.size());
        int nulls = 0;
        for (const double v : g.values[0]) nulls += std::isnan(v) ? 1 : 0;
        EXPECT_EQ(nulls, static_cast<int>(c.expected.size() - c.time.size()));
    }
    // In the answer the gap row reads as nulls.
    MeterArchiveRequest r;
    r.form = MeterArchiveRequest::Form::Series;
    archive::ArchiveSeries s = twoHours();
    s.time[1] += 3600;
    EXPECT_NE(meterArchiveResponse(r, s, "").body.find("\"Watt\":[1250.5,null,0.25]"),
              std::string::npos);
}

// The CSV's file name carries the meter's name in safe characters, the ID kept; ?bom=1 puts a
// UTF-8 byte-order mark before the header, and without it the bytes are as before.
TEST(MeterArchiveApi, CsvFileNamesCarryTheNameAndABomComesOnlyWhenAsked) {
    testing::useBerlinTime();
    struct Name {
        std::optional<std::string> name;
        const char* file;
    };
    for (const Name& n :
         {Name{std::nullopt, "TEV3P_HOQ000000012_hour.csv"},
          Name{"Kitchen", "TEV3P_HOQ000000012_Kitchen_hour.csv"},
          Name{"K\u00fcche \"2\" <a\\b>", "TEV3P_HOQ000000012_K_che_2_a_b_hour.csv"},
          Name{"\u53a8\u623f", "TEV3P_HOQ000000012_hour.csv"}}) {
        MeterArchiveRequest r;
        r.form = MeterArchiveRequest::Form::Csv;
        r.meter = "HOQ000000012";
        r.name = n.name;
        EXPECT_EQ(csvFileName(r), n.file);
    }
    for (const char* what : {"export.csv", "quality.csv"}) {
        for (const bool bom : {false, true}) {
            const ParsedTarget p = parseRequestTarget(std::string("/api/v1/meters/HOQ000000012/") +
                                                      what + (bom ? "?bom=1" : "?bom=0"));
            auto parsed = meterArchiveRequestFrom(p.target, 1796713200);
            ASSERT_TRUE(parsed && std::holds_alternative<MeterArchiveRequest>(*parsed));
            MeterArchiveRequest& r = std::get<MeterArchiveRequest>(*parsed);
            r.name = "Kitchen";
            const ApiResponse a = meterArchiveResponse(r, twoHours(), "");
            const std::string head = bom ? "\xEF\xBB\xBF" : "";
            EXPECT_EQ(a.body.substr(0, head.size() + 5),
                      head + (std::string(what) == "export.csv" ? "time," : "week,"))
                << what << " bom " << bom;
            ASSERT_EQ(a.headers.size(), 1u);
            EXPECT_NE(a.headers[0].second.find("TEV3P_HOQ000000012_Kitchen_"), std::string::npos)
                << a.headers[0].second;
        }
    }
}

TEST(MeterArchiveApi, AnswersTheExportAsTidyCsvWithASafeFileName) {
    testing::useBerlinTime();
    MeterArchiveRequest r;
    r.form = MeterArchiveRequest::Form::Csv;
    r.meter = "HOQ\"/..00012";
    const ApiResponse a = meterArchiveResponse(r, twoHours(), "");
    EXPECT_EQ(a.status, 200);
    EXPECT_EQ(a.contentType, "text/csv; charset=utf-8");
    EXPECT_EQ(a.body,
              "time,Watt_W,V1_V\n"
              "2026-12-08T08:00:00+01:00,1250.5,230\n"
              "2026-12-08T09:00:00+01:00,0.25,229.125\n");
    ASSERT_EQ(a.headers.size(), 1u);
    EXPECT_EQ(a.headers[0].second, "attachment; filename=\"TEV3P_HOQ____00012_hour.csv\"");
}

TEST(MeterArchiveApi, AnUnreadableArchiveIsAServiceErrorThatKeepsTheFolderToItself) {
    const ApiResponse a =
        meterArchiveResponse({}, {}, "TEV3P_Archive.sqlite is not in /home/someone/secret-folder");
    EXPECT_EQ(a.status, 503);
    EXPECT_EQ(a.body.find("secret"), std::string::npos);
    EXPECT_NE(a.body.find("archive"), std::string::npos);
}

}  // namespace
}  // namespace tev::web
