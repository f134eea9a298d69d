// A web request on any bytes: the head parser takes the buffer, and a complete head's target
// goes through the query parser, the API router over a small store and the parser of one
// meter's archive requests. Nothing may crash, no
// answer may be built from a path the parser should have refused, and every JSON answer must
// stay within what one request may make the program write. The same bytes are also read as a
// pipelined sequence of heads, each through the framing, Host, Origin and absolute-target
// rules (and, as a static file, through Accept-Encoding and If-None-Match), and as the
// WebSocket frames a live client sends.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "services/web/rules/api_router.h"
#include "services/web/rules/host_rules.h"
#include "services/web/rules/http_head.h"
#include "services/web/rules/meter_archive_api.h"
#include "services/web/rules/static_files.h"
#include "services/web/rules/websocket_frames.h"

namespace {

struct World {
    std::unique_ptr<tev::MeasurementStore> store = std::make_unique<tev::MeasurementStore>();
    tev::web::ServiceStatus status;
    std::deque<std::string> log{"one", "two"};
    World() {
        for (int r = 0; r < 50; ++r) {
            tev::ScaleTable& t = store->table(tev::TimeScale::Hour);
            t.setDate(r, 261208);
            t.setTime(r, r * 20);
            t.setValue(tev::kColWatt, r, static_cast<float>(r));
            t.cnt = r;
        }
    }
};

// A static file answered to a head: only its own bytes or their gzip form, a 304 only when an
// If-None-Match field names one of its tags or is "*", and gzip only when Accept-Encoding asks.
void answerStaticFile(const tev::web::HttpHead& h) {
    static const tev::web::StaticFile file = tev::web::makeStaticFile(
        std::string(2000, 'x'), std::string(100, 'g'), "text/plain; charset=utf-8");
    const tev::web::ApiResponse a = tev::web::staticAnswer(file, h);
    if (a.headers.size() > 4) std::abort();
    if (a.status == 304) {
        if (!a.body.empty()) std::abort();
        bool named = false;
        for (const auto& [name, value] : h.fields)
            named = named || value.find(file.etag.substr(1, 16)) != std::string::npos ||
                    value.find('*') != std::string::npos;
        if (!named) std::abort();
        return;
    }
    if (a.status != 200) std::abort();
    const bool gzip = tev::web::acceptsGzip(h);
    if (a.body != (gzip ? file.gzipBody : file.body)) std::abort();
}

// Heads one after another, as a client that pipelines sends them: each must consume a part of
// what is left, and every rule a head passes must take whatever its fields hold.
void readPipelined(std::string_view input) {
    static const tev::web::HostPolicy policy{true, 8080, false, {"dash.lan", "proxy:443"}};
    for (int n = 0; n < 64 && !input.empty(); ++n) {
        const tev::web::HeadParse p = tev::web::parseHttpHead(input);
        if (p.state != tev::web::HeadState::Complete) return;
        if (p.consumed == 0 || p.consumed > input.size()) std::abort();
        const tev::web::HttpHead& h = p.head;
        (void)tev::web::framingProblem(h);
        (void)tev::web::upgradeProblem(h);
        // A head that passes holds no CR or NUL in a field and no field that starts blank.
        for (const auto& [name, value] : h.fields)
            if (name.empty() ||
                value.find_first_of(std::string_view("\r\0", 2)) != std::string::npos)
                std::abort();
        std::string host(h.field("Host"));
        if (const auto form = tev::web::originFormOf(policy, h.target)) {
            if (form->target.empty() || form->target.front() != '/') std::abort();
            if (!form->authority.empty()) {
                if (!tev::web::hostAllowed(policy, form->authority)) std::abort();
                host = form->authority;
            }
        }
        const bool allowed = tev::web::hostAllowed(policy, host);
        if (allowed && tev::web::originAllowed(policy, h.field("Origin"), host) &&
            !h.field("Origin").empty() && !tev::web::parseAuthority(host))
            std::abort();
        (void)tev::web::validWebSocketKey(h.field("Sec-WebSocket-Key"));
        if (tev::web::printableForLog(host).size() > 84) std::abort();
        answerStaticFile(h);
        input.remove_prefix(p.consumed);
    }
}

// Client frames one after another until one is incomplete or closes the connection.
void readFrames(std::string_view input) {
    tev::web::ClientMessages messages;
    while (!input.empty()) {
        const tev::web::FrameParse p = tev::web::parseClientFrame(input, messages.inMessage());
        if (p.state == tev::web::FrameState::Incomplete) return;
        if (p.state == tev::web::FrameState::Error) {
            if (p.closeCode != tev::web::ws::kCloseProtocolError &&
                p.closeCode != tev::web::ws::kCloseTooBig)
                std::abort();
            return;
        }
        if (p.consumed < 6 || p.consumed > input.size()) std::abort();
        if (p.frame.payload.size() > tev::web::kMaxClientMessageBytes) std::abort();
        const auto r = messages.take(p.frame);
        if (r.action == tev::web::ClientMessages::Action::Pong &&
            tev::web::serverFrame(tev::web::ws::kPong, p.frame.payload).size() > 127)
            std::abort();
        if (r.action == tev::web::ClientMessages::Action::Close ||
            r.action == tev::web::ClientMessages::Action::Error)
            return;
        input.remove_prefix(p.consumed);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static World world;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const tev::web::HeadParse head = tev::web::parseHttpHead(input);
    if (head.state == tev::web::HeadState::Complete && head.consumed > input.size()) std::abort();
    // The raw input is also taken as a target by itself, as a fuzzer finds more that way.
    for (const std::string_view target :
         {std::string_view(head.head.target), input.substr(0, input.find('\n'))}) {
        const tev::web::ParsedTarget parsed = tev::web::parseRequestTarget(target);
        if (parsed.problem != tev::web::TargetProblem::None) continue;
        if (parsed.target.path.find("..") != std::string::npos) std::abort();
        if (parsed.target.query.size() > tev::web::kMaxQueryParameters) std::abort();
        // A meter's archive request names a whole meter ID and only known quantities: the
        // quantity names become column names in the reader's SQL.
        if (const auto archived = tev::web::meterArchiveRequestFrom(parsed.target)) {
            if (const auto* r = std::get_if<tev::web::MeterArchiveRequest>(&*archived)) {
                if (r->meter.size() != 12 || r->meter.find('/') != std::string::npos) std::abort();
                for (const std::string& q : r->quantities)
                    if (tev::archive::findQuantity(q) == nullptr) std::abort();
            }
        }
        const tev::web::ApiContext context{*world.store, world.status, {1, &world.log}};
        const auto answer = tev::web::answerApi(parsed.target, context);
        if (answer && answer->body.size() > 4 * 1024 * 1024) std::abort();
    }
    readPipelined(input);
    readFrames(input);
    return 0;
}
