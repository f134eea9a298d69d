#include "services/fleet/postgres/fleet_export.h"

#include <cmath>
#include <cstdlib>

#include "services/fleet/postgres/connection_parameters.h"
#include "services/fleet/postgres/pg_connection.h"
#include "services/fleet/rules/fleet_settings.h"
#include "services/fleet/rules/outage_log.h"
#include "services/fleet/rules/row_batch.h"

namespace tev::fleet {
namespace {

constexpr int kConnectTimeoutMs = 15000;
// A query of years of minute rows takes its time; a server that stops answering ends it.
constexpr int kQueryTimeoutMs = 300000;

double numberOf(const PgResult& r, int row, int column) {
    if (r.isNull(row, column)) return NAN;
    const std::string text = r.text(row, column);
    return std::strtod(text.c_str(), nullptr);
}

}  // namespace

int runFleetExport(const FleetExportRequest& request, std::ostream& out, std::ostream& err,
                   const FleetExtraColumn& extraColumn) {
    std::string error;
    const PgConnection::Parameters parameters =
        fleetConnectionParameters(request.url, request.passwordFile, request.sslmode, error);
    const std::vector<std::string> secrets = connectionSecrets(parameters);
    PgConnection db;
    db.setDeadline(kQueryTimeoutMs);
    db.setNoticeHandler([&err, &secrets](const std::string& message) {
        err << "tev3p export: PostgreSQL says: " << withoutSecrets(errorReason(message), secrets)
            << "\n";
    });
    if (error.empty()) db.connect(parameters, -1, kConnectTimeoutMs, error);
    if (!error.empty()) {
        err << "tev3p export: PostgreSQL " << connectionPlace(request.url) << ": "
            << withoutSecrets(errorReason(error), secrets) << "\n";
        return 1;
    }
    const std::string meter = databaseKey(request.meter);
    const PgResult known =
        db.execParams("SELECT 1 FROM meters WHERE site = $1 AND id = $2", {request.site, meter});
    if (!known.ok()) {
        err << "tev3p export: " << errorReason(known.error()) << "\n";
        return 1;
    }
    // A mistyped ID or site would otherwise give an empty file that looks like a quiet meter.
    if (known.rows() == 0) {
        err << "tev3p export: meter " << request.meter << " of site " << request.site
            << " is not in the fleet database\n";
        return 1;
    }
    const PgResult rows = db.execParams(seriesQuerySql(request.resolution),
                                        {request.site, meter, boundParameter(request.from, true),
                                         boundParameter(request.to, false)});
    if (!rows.ok()) {
        err << "tev3p export: " << errorReason(rows.error()) << "\n";
        return 1;
    }
    archive::ArchiveSeries series;
    series.meter = request.meter;
    series.resolution = request.resolution;
    for (const archive::Quantity& q : archive::archiveQuantities()) series.quantities.push_back(&q);
    series.values.resize(series.quantities.size());
    for (int r = 0; r < rows.rows(); ++r) {
        series.time.push_back(std::strtoll(rows.text(r, 0).c_str(), nullptr, 10));
        for (std::size_t q = 0; q < series.quantities.size(); ++q)
            series.values[q].push_back(numberOf(rows, r, static_cast<int>(q) + 1));
    }
    if (request.json) {
        archive::writeSeriesJson(series, out);
    } else {
        const std::optional<archive::ExtraColumn> extra = extraColumn && !request.folder.empty()
                                                              ? extraColumn(request.folder, series)
                                                              : std::nullopt;
        archive::writeTidyCsv(series, out, extra ? &*extra : nullptr);
    }
    out.flush();
    return out ? 0 : 1;
}

}  // namespace tev::fleet
