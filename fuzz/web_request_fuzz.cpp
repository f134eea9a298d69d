// A web request on any bytes: the head parser takes the buffer, and a complete head's target
// goes through the query parser, the API router over a small store and the parser of one
// meter's archive requests. Nothing may crash, no
// answer may be built from a path the parser should have refused, and every JSON answer must
// stay within what one request may make the program write.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "services/web/rules/api_router.h"
#include "services/web/rules/http_head.h"
#include "services/web/rules/meter_archive_api.h"

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
    return 0;
}
