#include "services/web/rules/static_files.h"

#include <cstdint>

namespace tev::web {
namespace {

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

bool isOws(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isOws(s.front())) s.remove_prefix(1);
    while (!s.empty() && isOws(s.back())) s.remove_suffix(1);
    return s;
}

bool isTokenChar(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool isToken(std::string_view s) {
    if (s.empty()) return false;
    for (const char c : s)
        if (!isTokenChar(c)) return false;
    return true;
}

// A qvalue ("0", "0.5", "1.000") in thousandths; -1 when it is none.
int qvalue(std::string_view s) {
    if (s.empty() || (s[0] != '0' && s[0] != '1')) return -1;
    int thousandths = s[0] == '1' ? 1000 : 0;
    if (s.size() == 1) return thousandths;
    if (s[1] != '.' || s.size() > 5) return -1;
    int scale = 100;
    for (const char c : s.substr(2)) {
        if (c < '0' || c > '9' || (thousandths == 1000 && c != '0')) return -1;
        thousandths += (c - '0') * scale;
        scale /= 10;
    }
    return thousandths;
}

// What one Accept-Encoding list says of gzip: named with a weight, and "*" with a weight.
struct Codings {
    bool valid = true;
    int gzip = -1;  // the lowest weight given to gzip or x-gzip; -1 when not named
    int any = -1;   // the same for "*"
};

void readCodings(std::string_view list, Codings& out) {
    while (out.valid && !list.empty()) {
        const std::size_t comma = list.find(',');
        const std::string_view element = trimmed(list.substr(0, comma));
        list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
        if (element.empty()) continue;  // a list may hold empty elements
        const std::size_t semicolon = element.find(';');
        const std::string_view coding = trimmed(element.substr(0, semicolon));
        int weight = 1000;
        if (semicolon != std::string_view::npos) {
            const std::string_view parameter = trimmed(element.substr(semicolon + 1));
            if (parameter.size() < 2 || lower(parameter[0]) != 'q' || parameter[1] != '=') {
                out.valid = false;
                return;
            }
            weight = qvalue(parameter.substr(2));
        }
        if (weight < 0 || !isToken(coding)) {
            out.valid = false;
            return;
        }
        int* slot = nullptr;
        if (sameIgnoringCase(coding, "gzip") || sameIgnoringCase(coding, "x-gzip"))
            slot = &out.gzip;
        else if (coding == "*")
            slot = &out.any;
        if (slot != nullptr && (*slot < 0 || weight < *slot)) *slot = weight;
    }
}

bool isEtagChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u == 0x21 || (u >= 0x23 && u != 0x7f);
}

// Calls `each` with every opaque tag ("…", W/ left off) of an If-None-Match list; false when the
// list breaks the grammar.
template <typename Each>
bool forEachTag(std::string_view list, Each each) {
    std::size_t i = 0;
    const auto skipSeparators = [&] {
        while (i < list.size() && (isOws(list[i]) || list[i] == ',')) ++i;
    };
    skipSeparators();
    while (i < list.size()) {
        if (list.substr(i, 2) == "W/") i += 2;
        if (i >= list.size() || list[i] != '"') return false;
        const std::size_t open = i++;
        while (i < list.size() && isEtagChar(list[i])) ++i;
        if (i >= list.size() || list[i] != '"') return false;
        each(list.substr(open, i - open + 1));
        ++i;
        while (i < list.size() && isOws(list[i])) ++i;
        if (i < list.size() && list[i] != ',') return false;
        skipSeparators();
    }
    return true;
}

}  // namespace

std::string entityTag(std::string_view bytes) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ULL;
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string tag = "\"";
    for (int shift = 60; shift >= 0; shift -= 4) tag += kHex[(hash >> shift) & 0xf];
    return tag + "\"";
}

StaticFile makeStaticFile(std::string body, std::string gzipBody, std::string contentType) {
    StaticFile f;
    f.etag = entityTag(body);
    f.gzipEtag = f.etag.substr(0, f.etag.size() - 1) + "-gz\"";
    f.body = std::move(body);
    if (!gzipBody.empty() && gzipBody.size() < f.body.size()) f.gzipBody = std::move(gzipBody);
    f.contentType = std::move(contentType);
    return f;
}

bool acceptsGzip(const HttpHead& head) {
    Codings codings;
    for (const auto& [name, value] : head.fields)
        if (sameIgnoringCase(name, "Accept-Encoding")) readCodings(value, codings);
    if (!codings.valid) return false;
    if (codings.gzip >= 0) return codings.gzip > 0;
    return codings.any > 0;
}

bool noneMatchHits(const HttpHead& head, std::string_view tag, std::string_view otherTag) {
    bool hit = false;
    for (const auto& [name, value] : head.fields) {
        if (!sameIgnoringCase(name, "If-None-Match")) continue;
        if (trimmed(value) == "*") {
            hit = true;
            continue;
        }
        const bool valid = forEachTag(value, [&](std::string_view t) {
            hit = hit || t == tag || (!otherTag.empty() && t == otherTag);
        });
        if (!valid) return false;
    }
    return hit;
}

ApiResponse staticAnswer(const StaticFile& file, const HttpHead& head) {
    const bool gzip = !file.gzipBody.empty() && acceptsGzip(head);
    ApiResponse r;
    r.headers = {{"ETag", gzip ? file.gzipEtag : file.etag},
                 {"Vary", "Accept-Encoding"},
                 {"Cache-Control", "no-cache"}};
    if (noneMatchHits(head, file.etag, file.gzipBody.empty() ? "" : file.gzipEtag)) {
        r.status = 304;
        return r;
    }
    r.contentType = file.contentType;
    r.body = gzip ? file.gzipBody : file.body;
    if (gzip) r.headers.emplace_back("Content-Encoding", "gzip");
    return r;
}

}  // namespace tev::web
