#include "services/web/server/gzip_body.h"

#include <zlib.h>

namespace tev::web {
namespace {

// windowBits above 15 ask zlib for the gzip wrapper.
constexpr int kGzipWrapper = 16;
constexpr int kLevel = 6;

// Deflates `in` into `out` with `flush` until zlib has taken it all (and, for Z_FINISH, ended
// the stream); false on a zlib error.
bool deflateInto(z_stream& z, std::string_view in, std::string& out, int flush) {
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = static_cast<uInt>(in.size());
    char buffer[16384];
    for (;;) {
        z.next_out = reinterpret_cast<Bytef*>(buffer);
        z.avail_out = sizeof buffer;
        const int rc = deflate(&z, flush);
        if (rc == Z_STREAM_ERROR) return false;
        out.append(buffer, sizeof buffer - z.avail_out);
        if (flush == Z_FINISH ? rc == Z_STREAM_END : z.avail_in == 0 && z.avail_out != 0)
            return true;
        if (rc == Z_BUF_ERROR && z.avail_out != 0) return false;
    }
}

class GzipBody : public web::BodyWriter {
  public:
    explicit GzipBody(std::shared_ptr<web::BodyWriter> inner) : inner_(std::move(inner)) {
        // An 8 kB window and a small hash: about 70 kB of state, not zlib's default 256 kB.
        initialized_ =
            deflateInit2(&z_, kLevel, Z_DEFLATED, 13 + kGzipWrapper, 6, Z_DEFAULT_STRATEGY) == Z_OK;
        ok_ = initialized_;
    }
    ~GzipBody() override {
        if (initialized_) deflateEnd(&z_);
    }
    GzipBody(const GzipBody&) = delete;
    GzipBody& operator=(const GzipBody&) = delete;

    bool next(std::string& out, std::size_t budget) override {
        std::string slice;
        const bool more = inner_->next(slice, budget);
        // zlib takes at most 4 GB at a time; a slice is far smaller.
        if (!ok_ || !deflateInto(z_, slice, out, more ? Z_NO_FLUSH : Z_FINISH)) {
            // The head has gone out: all that is left is to end the body early, which the
            // client sees as a broken gzip stream rather than wrong bytes.
            ok_ = false;
            return false;
        }
        return more;
    }

  private:
    std::shared_ptr<web::BodyWriter> inner_;
    z_stream z_{};
    bool initialized_ = false;
    bool ok_ = false;
};

}  // namespace

std::string gzipText(std::string_view text) {
    z_stream z{};
    if (deflateInit2(&z, kLevel, Z_DEFLATED, 15 + kGzipWrapper, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    std::string out;
    out.reserve(text.size() / 3 + 64);
    const bool ok = deflateInto(z, text, out, Z_FINISH);
    deflateEnd(&z);
    return ok ? out : std::string{};
}

std::unique_ptr<web::BodyWriter> gzipBody(std::shared_ptr<web::BodyWriter> inner) {
    return std::make_unique<GzipBody>(std::move(inner));
}

}  // namespace tev::web
