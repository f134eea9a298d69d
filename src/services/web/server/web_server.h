#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QSslConfiguration>
#include <QTcpServer>
#include <QThreadPool>
#include <QTimer>
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>

#include "core/meterlink/meter_observer.h"
#include "core/store/measurement_store.h"
#include "core/texts/event_log.h"
#include "platform/clock.h"
#include "services/archive/rules/archive_queries.h"
#include "services/web/rules/access_rules.h"
#include "services/web/rules/answer_body.h"
#include "services/web/rules/api_router.h"
#include "services/web/rules/connection_rules.h"
#include "services/web/rules/host_rules.h"
#include "services/web/rules/http_head.h"
#include "services/web/rules/insights_json.h"
#include "services/web/rules/meter_archive_api.h"
#include "services/web/rules/static_files.h"
#include "services/web/rules/websocket_frames.h"
#include "services/web/server/web_settings.h"

class QTcpSocket;

namespace tev::web {

// What the server reads its answers from, all on the GUI thread.
struct WebSources {
    const MeasurementStore* store = nullptr;
    EventLog* log = nullptr;
    std::function<bool()> linkOn;
    std::function<LanguageMode()> language;
    // Ports and connection counts of the meter sockets.
    std::function<void(web::ServiceStatus&)> sockets;
    // The folder of TEV3P_Archive.sqlite, and how it is read on a reader thread; the archive
    // counts as off while either is missing.
    std::string archiveFolder;
    archive::ArchiveQueries archiveQueries;
    // The running alerts and their recent history; unset: none.
    std::function<web::AlertsSnapshot()> alerts;
    // The folder's tariff, for the costs; unset or unconfigured: none shown.
    const alerts::Tariff* tariff = nullptr;
    // With the archive on: the primary meter's costs (on the GUI thread) and every archived
    // meter's (safe on any thread), from the archive writer's hour rows. Unset: the primary
    // meter's from the records, every meter's read from the archive file.
    std::function<web::MeterPeriodCosts()> primaryCosts;
    std::function<std::vector<web::MeterPeriodCosts>(archive::WeekStart)> meterCosts;
    // The fleet sink's state for /metrics; unset while the sink is off.
    std::function<web::FleetMetrics()> fleet;
    // The nominal supply voltage the weekly quality report measures against.
    // 0: none set, the report assumes the standard voltage nearest the readings.
    double voltageNominal = 0;
    // The mean current above which the current imbalance is given (the alerts' floor).
    web::ImbalanceFloor imbalanceFloor;
    // The meters' names of [meters] name.<ID>.
    MeterNames meterNames;
    // The first day of the dashboard's weeks ([dashboard] week_start).
    archive::WeekStart weekStart = archive::WeekStart::Monday;
    // With the archive on: the IDs of every meter it holds (safe on any thread).
    std::function<std::vector<std::string>()> archivedMeters;
    // With the archive on: every archived meter's evening figures as last made, for /metrics.
    std::function<std::vector<web::EveningMetrics>()> evening;
    // What the evening figures are measured against.
    web::InsightsSettings insights;
};

// The web dashboard, the JSON API and /metrics: a small HTTP/1.1 server on a QTcpServer of
// its own, so that connections are capped, idle ones closed and request heads bounded (Qt
// HTTP Server 6.4 offers none of these), with the live readings pushed over WebSockets it
// speaks itself (web/rules/websocket_frames.h says why not Qt WebSockets). It runs in the GUI
// thread's event loop and answers from the store as it stands between two meter messages;
// nothing it does waits on the disk, and an answer that takes longer than a millisecond to
// build is built on a reader thread from a copy. Every limit is a rule of web/rules/; this
// class only applies them to sockets.
class WebServer : public QObject, public MeterObserver {
    Q_OBJECT
  public:
    using LogSink = std::function<void(const std::string& line)>;

    // The clock's steady readings time the idle timeouts and request rates; its wall readings
    // date the answers.
    WebServer(WebSettings settings, WebSources sources, const Clock& clock,
              QObject* parent = nullptr);
    ~WebServer() override;

    // Listens, or says in the log why not; true when listening.
    bool start(const LogSink& log);
    bool isListening() const;
    // The configured port when start() failed because another socket holds it; else 0.
    quint16 takenPort() const { return takenPort_; }
    quint16 port() const;
    QString url() const;

    // Every connection, live WebSockets included.
    int connectionCount() const { return static_cast<int>(connections_.size()); }
    int webSocketCount() const;
    // The bytes the server holds in its connections: written and not yet sent, read and not yet
    // parsed. Bounded per connection (an answer being written holds at most one more slice, or
    // its source: a text already built or the rows of one archive query).
    std::int64_t queuedBytes() const;
    // Answers built on reader threads that are held now (being built or written), downloads
    // included, and the downloads alone.
    int readerAnswersHeld() const { return readerHolds_.held() + downloadHolds_.held(); }
    int downloadsHeld() const { return downloadHolds_.held(); }

    // Closes the connections idle longer than the idle timeout, those whose head is overdue,
    // and pings quiet WebSockets; a timer calls it every second.
    void closeIdleConnections();

    void meterMessageHandled(const MeterRegistry& registry, std::string_view meterId) override;
    void meterDataHandled(const MeterRegistry& registry, std::string_view meterId) override;
    void metersForgotten() override;
    // An alert started or ended: the live clients hear of it with the next push.
    void alertsChanged();

    // The status the answers are built from, as of now.
    web::ServiceStatus status() const;

    // The address the per-address limits count a peer under: an IPv4 one (an IPv4-mapped IPv6
    // one too) as it is, an IPv6 one by its /64, "2001:db8:0:1::/64".
    static std::string clientOf(const QHostAddress& peer);

  private:
    struct Connection {
        std::string client;  // the address the per-address limits count it under
        std::int64_t acceptedMs = 0;
        std::int64_t lastProgressMs = 0;
        std::optional<std::int64_t> headStartMs;
        std::optional<std::int64_t> closingSinceMs;
        // An answer is being built on a reader thread: later requests wait their turn.
        bool waiting = false;
        bool readScheduled = false;
        bool http10 = false;
        // The request being answered takes a gzip answer.
        bool gzip = false;
        // The answer being written, a slice at a time, and its place among the reader answers
        // held (from the request until its last byte is written).
        std::shared_ptr<web::BodyWriter> body;
        std::shared_ptr<void> readerHold;
        // The answer is a download: its slices are built on the download thread, and it is
        // closed when the client takes it too slowly.
        bool download = false;
        web::DownloadPace pace;
        bool chunked = false;
        bool slicesOnReader = false;
        bool sliceInFlight = false;
        bool keepOpen = true;
        // A live WebSocket: its frames read and not yet parsed, its open message, its ping.
        bool webSocket = false;
        std::string frames;
        web::ClientMessages messages;
        std::optional<std::int64_t> pingSentMs;
        // When the client last took bytes the server wrote to its live feed.
        std::int64_t lastTakenMs = 0;
    };
    class Listener;

    void accept(qintptr descriptor);
    bool makeRoom();
    void readFrom(QTcpSocket* socket);
    void scheduleRead(QTcpSocket* socket);
    void onWritten(QTcpSocket* socket);
    void forget(QTcpSocket* socket);
    void drop(QTcpSocket* socket);
    web::ConnectionView viewOf(const Connection& c) const;
    void respond(QTcpSocket* socket, const web::HttpHead& head);
    bool checkAccess(QTcpSocket* socket, Connection& c, const web::HttpHead& head,
                     std::string& host);
    void route(QTcpSocket* socket, const web::HttpHead& head, const web::RequestTarget& target);
    // Today's, this week's and this month's energy and cost of every archived meter.
    void answerMeterCosts(QTcpSocket* socket, bool headOnly);
    // Runs `work` on a reader thread and sends its answer from this thread, gzipped there when
    // the client takes it. The work is handed a stop that says when to give up: after
    // archive::kArchiveReadLimit, or at once when the server ends; work given up by it is
    // answered 503. A download (a CSV) holds a download's place from the start and runs on the
    // download thread; any other answer that turns out longer than a slice needs a download's
    // place before it is sent.
    using ReaderWork = std::function<web::ApiResponse(const archive::ReadStop& stop)>;
    void answerOnReader(QTcpSocket* socket, bool headOnly, ReaderWork work, bool download = false);
    void refuseBusy(QTcpSocket* socket, bool headOnly);
    void answerFromArchive(QTcpSocket* socket, const web::MeterArchiveRequest& request,
                           bool headOnly);
    // The evening figures of one archived meter, or of every one and the site, as of `at`.
    void answerInsights(QTcpSocket* socket, const web::MeterArchiveRequest& request, bool headOnly);
    void answerSiteInsights(QTcpSocket* socket, std::int64_t at, bool headOnly);
    void answer(QTcpSocket* socket, web::ApiResponse r, bool headOnly);
    void pumpBody(QTcpSocket* socket);
    void writeSlice(QTcpSocket* socket, Connection& c, const std::string& slice, bool more);
    void finishAnswer(QTcpSocket* socket);
    void refuse(QTcpSocket* socket, int status, std::string_view text,
                const std::vector<std::pair<std::string, std::string>>& extra = {});
    void closeAfterWriting(QTcpSocket* socket, Connection& c);
    bool authorized(const web::HttpHead& head) const;
    // The live side (live_push.cpp).
    void upgradeToWebSocket(QTcpSocket* socket, Connection& c, const web::HttpHead& head,
                            std::string_view host);
    void readWebSocket(QTcpSocket* socket, Connection& c);
    void closeWebSocket(QTcpSocket* socket, Connection& c, std::uint16_t code);
    void schedulePush();
    void push();
    void onLogLine(const std::string& line);
    std::string pushMessage(bool withMeters, bool withAlerts);
    web::LogWindow logWindow() const;

    WebSettings settings_;
    WebSources sources_;
    const Clock& clock_;
    LogSink log_;
    std::unique_ptr<Listener> listener_;
    std::unordered_map<QTcpSocket*, Connection> connections_;
    std::string password_;
    QSslConfiguration tls_;
    bool useTls_ = false;
    quint16 takenPort_ = 0;
    web::HostPolicy hosts_;
    std::optional<std::int64_t> hostLoggedMs_;
    web::RequestRateLimiter rate_;
    web::LoginBrake brake_;
    QTimer idleTimer_;
    QTimer pushTimer_;
    QTimer resumeAccepting_;
    // The newest log lines with their numbers, for /api/v1/log and the live push.
    std::deque<std::string> logLines_;
    std::uint64_t logFirst_ = 1;
    std::uint64_t logPushed_ = 0;
    std::uint64_t saveFailures_ = 0;
    // The event log outlives the server and cannot forget a listener: the listener asks this.
    std::shared_ptr<WebServer*> self_ = std::make_shared<WebServer*>(this);
    bool offlineAlarm_ = false;
    // Names this run of the program in the live answer, so a page that reconnects after a
    // restart knows to read the log and the series again.
    std::string runId_;
    // The zone's IANA name, when the program's zone has one (see status()).
    std::string timeZone_;
    bool metersChanged_ = false;
    bool alertsChanged_ = false;
    std::map<std::string, std::int64_t, std::less<>> lastMessage_;
    // Every meter heard from since the start; the archive's are added when status() is built.
    web::KeptMeters kept_;
    // The archive's meter IDs, read again at most once a minute.
    mutable std::vector<std::string> archivedMeters_;
    mutable std::optional<std::int64_t> archivedMetersReadMs_;
    std::set<std::string, std::less<>> noReadingsYet_;
    // Static files of the dashboard, read from the compiled-in resources once, each with its
    // gzip form made at build time.
    QHash<QString, web::StaticFile> files_;
    // Raised when the server ends: every reader's work gives up at its next look.
    std::shared_ptr<std::atomic<bool>> readersStopping_ = std::make_shared<std::atomic<bool>>();
    // Archive queries and answers run here, downloads on a pool of their own; declared last so
    // that they are waited for before anything their tasks answer through is gone.
    QThreadPool archiveReaders_;
    // Downloads, read and built apart, so that they never keep a chart's answer waiting.
    QThreadPool downloadReaders_;
    web::ReaderAnswerHolds readerHolds_;
    web::ReaderAnswerHolds downloadHolds_{web::kDownloadsPerAddress, web::kDownloads};
    web::MemoryGiveBack giveBack_;
};

}  // namespace tev::web
