// How the web server answers a request: from the dashboard's files, the store, or on a reader
// thread (an archive query, a copy of a table that takes milliseconds to turn into text), and
// how an answer is written a slice at a time while the client reads it.
#include <QPointer>
#include <QTcpSocket>
#include <algorithm>

#include "services/web/rules/archive_costs.h"
#include "services/web/server/gzip_body.h"
#include "services/web/server/web_server.h"

namespace tev::web {
namespace {

std::string_view reasonPhrase(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 304:
            return "Not Modified";
        case 400:
            return "Bad Request";
        case 401:
            return "Unauthorized";
        case 404:
            return "Not Found";
        case 403:
            return "Forbidden";
        case 405:
            return "Method Not Allowed";
        case 421:
            return "Misdirected Request";
        case 429:
            return "Too Many Requests";
        case 431:
            return "Request Header Fields Too Large";
        case 503:
            return "Service Unavailable";
        default:
            return "Error";
    }
}

bool hasHeader(const web::ApiResponse& r, std::string_view name) {
    return std::any_of(r.headers.begin(), r.headers.end(),
                       [name](const auto& h) { return h.first == name; });
}

// An answer built on a reader thread, for a client that takes gzip: a streamed body gzipped
// slice by slice, a whole one of a kilobyte or more at once. Either way it varies with
// Accept-Encoding.
void gzipAnswer(web::ApiResponse& r, bool clientTakesGzip) {
    if (r.status != 200) return;
    r.headers.emplace_back("Vary", "Accept-Encoding");
    if (!clientTakesGzip) return;
    if (r.stream) {
        r.stream = gzipBody(std::move(r.stream));
    } else {
        if (r.body.size() < kGzipMinimumBytes) return;
        std::string gzipped = gzipText(r.body);
        if (gzipped.empty() || gzipped.size() >= r.body.size()) return;
        r.body = std::move(gzipped);
    }
    r.headers.emplace_back("Content-Encoding", "gzip");
}

// A streamed body whose first slice has been taken already, to learn whether it is longer.
class PrefetchedBody : public web::BodyWriter {
  public:
    PrefetchedBody(std::string first, bool more, std::shared_ptr<web::BodyWriter> rest)
        : first_(std::move(first)), more_(more), rest_(std::move(rest)) {}
    bool next(std::string& out, std::size_t budget) override {
        if (!taken_) {
            taken_ = true;
            out += first_;
            first_ = std::string();
            return more_;
        }
        return rest_->next(out, budget);
    }

  private:
    std::string first_;
    bool more_;
    bool taken_ = false;
    std::shared_ptr<web::BodyWriter> rest_;
};

// Whether an answer is written over more than one slice, and so is a download: a streamed body
// is asked for its first slice here, on the reader thread.
bool longerThanASlice(web::ApiResponse& r) {
    if (!r.stream) return r.body.size() > web::kAnswerSliceBytes;
    std::string first;
    const bool more = r.stream->next(first, web::kAnswerSliceBytes);
    r.stream = std::make_shared<PrefetchedBody>(std::move(first), more, std::move(r.stream));
    return more;
}

}  // namespace

void WebServer::route(QTcpSocket* socket, const web::HttpHead& head,
                      const web::RequestTarget& target) {
    const bool headOnly = head.method == "HEAD";
    const QString path = QString::fromStdString(target.path);
    if (const auto file = files_.constFind(path); file != files_.constEnd()) {
        answer(socket, web::staticAnswer(*file, head), headOnly);
        return;
    }
    const std::int64_t now = unixSecondsOf(clock_);
    if (auto archived = web::meterArchiveRequestFrom(target, now, sources_.weekStart)) {
        if (auto* request = std::get_if<web::MeterArchiveRequest>(&*archived)) {
            if (const auto name = sources_.meterNames.of(request->meter))
                request->name = std::string(*name);
            if (request->form == web::MeterArchiveRequest::Form::Insights)
                answerInsights(socket, *request, headOnly);
            else
                answerFromArchive(socket, *request, headOnly);
        } else
            answer(socket, std::get<web::ApiResponse>(*archived), headOnly);
        return;
    }
    if (auto site = web::siteInsightsAtFrom(target, now)) {
        if (const auto* at = std::get_if<std::int64_t>(&*site))
            answerSiteInsights(socket, *at, headOnly);
        else
            answer(socket, std::get<web::ApiResponse>(*site), headOnly);
        return;
    }
    if (path == QLatin1String("/api/v1/costs/meters")) {
        answerMeterCosts(socket, headOnly);
        return;
    }
    // A series or a records CSV takes milliseconds: built on a reader thread from a copy of its
    // table, taken now between two meter messages.
    if (auto table = web::tableAnswerFor(target, sources_.tariff)) {
        if (auto* a = std::get_if<web::TableAnswer>(&*table)) {
            auto copy = std::make_shared<const ScaleTable>(sources_.store->table(a->scale));
            answerOnReader(
                socket, headOnly,
                [copy, build = std::move(a->build)](const archive::ReadStop&) {
                    return build(*copy);
                },
                target.path == "/api/v1/records.csv");
        } else {
            answer(socket, std::get<web::ApiResponse>(*table), headOnly);
        }
        return;
    }
    const web::ServiceStatus s = status();
    const web::ApiContext context{
        *sources_.store, s, logWindow(), sources_.alerts, sources_.tariff, sources_.primaryCosts};
    auto r = web::answerApi(target, context);
    answer(socket, r ? std::move(*r) : web::errorResponse(404, "not found"), headOnly);
}

void WebServer::answerFromArchive(QTcpSocket* socket, const web::MeterArchiveRequest& request,
                                  bool headOnly) {
    if (sources_.archiveFolder.empty() || sources_.archiveQueries.series == nullptr) {
        answer(socket, web::errorResponse(404, "the archive is off"), headOnly);
        return;
    }
    archive::SeriesQuery query = web::seriesQueryFor(request);
    std::optional<alerts::Tariff> tariff;
    if (sources_.tariff != nullptr && sources_.tariff->configured()) tariff = *sources_.tariff;
    answerOnReader(
        socket, headOnly,
        [request, query = std::move(query), tariff = std::move(tariff),
         folder = sources_.archiveFolder, read = sources_.archiveQueries.series,
         now = unixSecondsOf(clock_),
         nominal = sources_.voltageNominal](const archive::ReadStop& stop) {
            std::string error;
            archive::SeriesQuery stoppable = query;
            stoppable.stop = &stop;
            archive::ArchiveSeries series = read(folder, stoppable, error);
            return web::meterArchiveAnswer(request, std::move(series), error,
                                           tariff ? &*tariff : nullptr, now, nominal, &stop);
        },
        request.form == web::MeterArchiveRequest::Form::Csv ||
            request.form == web::MeterArchiveRequest::Form::QualityCsv);
}

namespace {

// One meter's figures read from the archive as of `at`; false when the read failed (`error`)
// or the archive holds no row of the meter (`error` empty).
bool readInsights(const std::string& folder, archive::ArchiveQueries read,
                  const archive::ReadStop& stop, const std::string& meter, web::MeterName name,
                  std::int64_t at, bool withMinutes, const alerts::Tariff* tariff,
                  const web::InsightsSettings& settings, web::MeterInsights& out,
                  std::string& error) {
    archive::SeriesQuery hourQuery = web::insightsHourQuery(meter, at);
    hourQuery.stop = &stop;
    const archive::ArchiveSeries hours = read.series(folder, hourQuery, error);
    if (!error.empty()) return false;
    archive::ArchiveSeries minutes;
    if (withMinutes) {
        archive::SeriesQuery minuteQuery = web::insightsMinuteQuery(meter, at);
        minuteQuery.stop = &stop;
        minutes = read.series(folder, minuteQuery, error);
        if (!error.empty()) return false;
    }
    if (hours.time.empty() && minutes.time.empty()) return false;
    out = web::meterInsights(meter, std::move(name), web::hourRowsOf(hours),
                             web::minuteRowsOf(minutes), at, tariff, settings, &stop);
    return true;
}

}  // namespace

void WebServer::answerInsights(QTcpSocket* socket, const web::MeterArchiveRequest& request,
                               bool headOnly) {
    if (sources_.archiveFolder.empty() || sources_.archiveQueries.series == nullptr) {
        answer(socket, web::errorResponse(404, "the archive is off"), headOnly);
        return;
    }
    std::optional<alerts::Tariff> tariff;
    if (sources_.tariff != nullptr && sources_.tariff->configured()) tariff = *sources_.tariff;
    web::InsightsSettings settings = sources_.insights;
    if (tariff) settings.demandChargePerKw = tariff->demandChargePerKw();
    answerOnReader(
        socket, headOnly,
        [request, tariff = std::move(tariff), settings, folder = sources_.archiveFolder,
         read = sources_.archiveQueries](const archive::ReadStop& stop) {
            std::string error;
            web::MeterInsights m;
            if (!readInsights(folder, read, stop, request.meter, request.name, request.at, true,
                              tariff ? &*tariff : nullptr, settings, m, error))
                return error.empty() ? web::errorResponse(404, "no such meter")
                                     : web::errorResponse(503, "the archive cannot be read");
            return web::ApiResponse{200,
                                    std::string(web::kJsonContentType),
                                    web::meterInsightsJson(m, tariff ? &*tariff : nullptr),
                                    {}};
        });
}

void WebServer::answerSiteInsights(QTcpSocket* socket, std::int64_t at, bool headOnly) {
    if (sources_.archiveFolder.empty() || sources_.archiveQueries.series == nullptr) {
        answer(socket, web::errorResponse(404, "the archive is off"), headOnly);
        return;
    }
    std::optional<alerts::Tariff> tariff;
    if (sources_.tariff != nullptr && sources_.tariff->configured()) tariff = *sources_.tariff;
    answerOnReader(socket, headOnly,
                   [at, tariff = std::move(tariff), settings = sources_.insights,
                    folder = sources_.archiveFolder, read = sources_.archiveQueries,
                    ids = sources_.archivedMeters,
                    names = sources_.meterNames](const archive::ReadStop& stop) {
                       std::string error;
                       std::vector<std::string> meters;
                       if (ids) {
                           meters = ids();
                       } else if (read.hourEnergy != nullptr) {
                           for (archive::MeterEnergy& m : read.hourEnergy(folder, at, error, &stop))
                               meters.push_back(std::move(m.meter));
                           if (!error.empty())
                               return web::errorResponse(503, "the archive cannot be read");
                       }
                       std::vector<web::MeterInsights> figures;
                       for (const std::string& meter : meters) {
                           web::MeterName name;
                           if (const auto n = names.of(meter)) name = std::string(*n);
                           web::MeterInsights m;
                           if (readInsights(folder, read, stop, meter, std::move(name), at, false,
                                            tariff ? &*tariff : nullptr, settings, m, error))
                               figures.push_back(std::move(m));
                           else if (!error.empty())
                               return web::errorResponse(503, "the archive cannot be read");
                       }
                       return web::ApiResponse{
                           200,
                           std::string(web::kJsonContentType),
                           web::siteInsightsJson(at, figures, tariff ? &*tariff : nullptr),
                           {}};
                   });
}

void WebServer::answerMeterCosts(QTcpSocket* socket, bool headOnly) {
    if (sources_.tariff == nullptr || !sources_.tariff->configured()) {
        answer(socket, {200, std::string(web::kJsonContentType), "{\"currency\":null}", {}},
               headOnly);
        return;
    }
    if (sources_.meterCosts) {
        answerOnReader(
            socket, headOnly,
            [tariff = *sources_.tariff, costs = sources_.meterCosts, names = sources_.meterNames,
             weekStart = sources_.weekStart](const archive::ReadStop&) {
                return web::ApiResponse{200,
                                        std::string(web::kJsonContentType),
                                        web::meterCostsJson(costs(weekStart), tariff, names),
                                        {}};
            });
        return;
    }
    if (sources_.archiveFolder.empty() || sources_.archiveQueries.hourEnergy == nullptr) {
        answer(socket, web::errorResponse(404, "the archive is off"), headOnly);
        return;
    }
    const auto now = static_cast<std::time_t>(unixSecondsOf(clock_));
    answerOnReader(socket, headOnly,
                   [tariff = *sources_.tariff, folder = sources_.archiveFolder,
                    read = sources_.archiveQueries.hourEnergy, now, names = sources_.meterNames,
                    weekStart = sources_.weekStart](const archive::ReadStop& stop) {
                       std::string error;
                       const std::vector<archive::MeterEnergy> meters =
                           read(folder, web::periodCostsFrom(now), error, &stop);
                       if (!error.empty())
                           return web::errorResponse(503, "the archive cannot be read");
                       std::vector<web::MeterPeriodCosts> costs;
                       costs.reserve(meters.size());
                       for (const archive::MeterEnergy& m : meters)
                           costs.push_back(web::meterPeriodCosts(m, now, tariff, weekStart));
                       return web::ApiResponse{200,
                                               std::string(web::kJsonContentType),
                                               web::meterCostsJson(costs, tariff, names),
                                               {}};
                   });
}

void WebServer::refuseBusy(QTcpSocket* socket, bool headOnly) {
    web::ApiResponse busy = web::errorResponse(503, "busy with other downloads: try again");
    busy.headers.emplace_back("Retry-After", std::to_string(web::kReaderAnswersRetrySeconds));
    answer(socket, std::move(busy), headOnly);
}

void WebServer::answerOnReader(QTcpSocket* socket, bool headOnly, ReaderWork work, bool download) {
    // The work reads the disk or takes milliseconds, so it runs on a reader thread and the
    // answer comes back to this thread; the connection reads no further request until it is
    // sent, keeping answers in the order of their requests.
    Connection& c = connections_.at(socket);
    std::shared_ptr<void> hold = (download ? downloadHolds_ : readerHolds_).tryHold(c.client);
    if (!hold) {
        // This client, or all of them, already hold as many such answers as they may.
        refuseBusy(socket, headOnly);
        return;
    }
    c.waiting = true;
    QPointer<QTcpSocket> guard(socket);
    (download ? downloadReaders_ : archiveReaders_)
        .start([this, guard, work = std::move(work), headOnly, gzip = c.gzip, download,
                hold = std::move(hold), stopping = readersStopping_] {
            // The time allowed counts from the work's start, not from its wait for a thread.
            const archive::ReadStop stop(
                archive::ReadStop::Clock::now() + archive::kArchiveReadLimit, stopping);
            auto r = std::make_shared<web::ApiResponse>(work(stop));
            // What was given up half way is no answer; when the server ends, nobody reads it.
            if (stop.gaveUp())
                *r = web::errorResponse(503, "the archive took too long to answer: try again");
            const bool big = !download && !headOnly && longerThanASlice(*r);
            gzipAnswer(*r, gzip);
            QMetaObject::invokeMethod(
                this,
                [this, guard, r, headOnly, hold, download, big] {
                    QTcpSocket* s = guard.data();
                    auto it = s != nullptr ? connections_.find(s) : connections_.end();
                    if (it == connections_.end()) return;
                    Connection& c = it->second;
                    c.waiting = false;
                    // An answer longer than a slice takes the client a while: it is written in
                    // a download's place, which it gives back when it is written or too slow.
                    c.readerHold = big ? downloadHolds_.tryHold(c.client) : hold;
                    if (!c.readerHold) {
                        refuseBusy(s, headOnly);
                        return;
                    }
                    c.download = download || big;
                    answer(s, std::move(*r), headOnly);
                },
                Qt::QueuedConnection);
        });
}

void WebServer::answer(QTcpSocket* socket, web::ApiResponse r, bool headOnly) {
    auto it = connections_.find(socket);
    if (it == connections_.end()) return;
    Connection& c = it->second;
    const bool stream = r.stream != nullptr;
    // A streamed answer to HTTP/1.0 has no length: the connection's end is the body's end.
    if (stream && c.http10) c.keepOpen = false;
    std::string h =
        "HTTP/1.1 " + std::to_string(r.status) + " " + std::string(reasonPhrase(r.status));
    // A 304 has no body, and so neither a type nor a length: its head ends it.
    const bool notModified = r.status == 304;
    if (!notModified) h += "\r\nContent-Type: " + r.contentType;
    if (notModified)
        r.body.clear();
    else if (!stream)
        h += "\r\nContent-Length: " + std::to_string(r.body.size());
    else if (!c.http10)
        h += "\r\nTransfer-Encoding: chunked";
    h += "\r\nContent-Security-Policy: default-src 'self'"
         "\r\nX-Content-Type-Options: nosniff"
         "\r\nX-Frame-Options: DENY"
         "\r\nReferrer-Policy: no-referrer";
    // The API's answers are never kept; the dashboard's files say so themselves.
    if (!hasHeader(r, "Cache-Control")) h += "\r\nCache-Control: no-store";
    for (const auto& [k, v] : r.headers) h += "\r\n" + k + ": " + v;
    h += c.keepOpen ? "\r\nConnection: keep-alive\r\n\r\n" : "\r\nConnection: close\r\n\r\n";
    socket->write(h.data(), static_cast<qint64>(h.size()));
    if (headOnly) {
        finishAnswer(socket);
        return;
    }
    if (stream) {
        c.body = std::move(r.stream);
        c.chunked = !c.http10;
        c.slicesOnReader = true;
        c.pace = web::DownloadPace(steadyMsOf(clock_));
    } else if (r.body.size() > web::kAnswerSliceBytes) {
        c.body = web::textBody(std::move(r.body));
        c.chunked = false;
        c.slicesOnReader = false;
        c.pace = web::DownloadPace(steadyMsOf(clock_));
    } else {
        socket->write(r.body.data(), static_cast<qint64>(r.body.size()));
        finishAnswer(socket);
        return;
    }
    pumpBody(socket);
}

// Writes the answer's next slices while the connection holds less than its limit; a slice that
// takes building is built on a reader thread, one at a time.
void WebServer::pumpBody(QTcpSocket* socket) {
    auto it = connections_.find(socket);
    if (it == connections_.end()) return;
    Connection& c = it->second;
    while (c.body && !c.sliceInFlight &&
           socket->bytesToWrite() + static_cast<qint64>(web::kAnswerSliceBytes) <=
               static_cast<qint64>(web::kMaxHttpOutputBytes)) {
        if (c.slicesOnReader) {
            c.sliceInFlight = true;
            QPointer<QTcpSocket> guard(socket);
            (c.download ? downloadReaders_ : archiveReaders_).start([this, guard, body = c.body] {
                auto slice = std::make_shared<std::string>();
                const bool more = body->next(*slice, web::kAnswerSliceBytes);
                QMetaObject::invokeMethod(
                    this,
                    [this, guard, body, slice, more] {
                        QTcpSocket* s = guard.data();
                        auto i = s != nullptr ? connections_.find(s) : connections_.end();
                        if (i == connections_.end() || i->second.body != body) return;
                        i->second.sliceInFlight = false;
                        writeSlice(s, i->second, *slice, more);
                        if (more)
                            pumpBody(s);
                        else
                            finishAnswer(s);
                    },
                    Qt::QueuedConnection);
            });
            return;
        }
        std::string slice;
        const bool more = c.body->next(slice, web::kAnswerSliceBytes);
        writeSlice(socket, c, slice, more);
        if (!more) {
            finishAnswer(socket);
            return;
        }
    }
}

void WebServer::writeSlice(QTcpSocket* socket, Connection& c, const std::string& slice, bool more) {
    if (!c.chunked) {
        socket->write(slice.data(), static_cast<qint64>(slice.size()));
        return;
    }
    std::string chunk;
    chunk.reserve(slice.size() + 24);
    web::appendChunk(chunk, slice);
    if (!more) chunk += web::kLastChunk;
    socket->write(chunk.data(), static_cast<qint64>(chunk.size()));
}

void WebServer::finishAnswer(QTcpSocket* socket) {
    auto it = connections_.find(socket);
    if (it == connections_.end()) return;
    Connection& c = it->second;
    c.body.reset();
    c.readerHold.reset();
    c.download = false;
    c.sliceInFlight = false;
    if (!c.keepOpen) {
        closeAfterWriting(socket, c);
        return;
    }
    if (socket->bytesAvailable() > 0) scheduleRead(socket);
}

}  // namespace tev::web
