#pragma once

#include <string>
#include <string_view>

#include "services/web/rules/api_router.h"
#include "services/web/rules/http_head.h"

namespace tev::web {

// One of the dashboard's files, compiled into the program: its bytes, the same bytes gzipped at
// build time (empty when gzip would not make them smaller) and an entity tag for each form.
struct StaticFile {
    std::string body;
    std::string gzipBody;
    std::string contentType;
    std::string etag;      // "…" of the body
    std::string gzipEtag;  // "…-gz" of the gzipped body
};

// The file with its tags; `gzipBody` is dropped when it is not smaller than `body`.
StaticFile makeStaticFile(std::string body, std::string gzipBody, std::string contentType);

// An entity tag of these bytes: a 64-bit FNV-1a hash in hexadecimal, quoted.
std::string entityTag(std::string_view bytes);

// Whether the client takes a gzip answer: an Accept-Encoding field (all of them, as one list)
// names gzip or x-gzip with a weight above 0, or names neither and gives "*" a weight above 0.
// A field that breaks the grammar (a coding that is no token, a parameter other than q, a
// weight that is no qvalue) counts as no Accept-Encoding at all: the answer is not encoded.
bool acceptsGzip(const HttpHead& head);

// Whether If-None-Match (all such fields, as one list) names one of `tags` by the weak
// comparison (W/ ignored), or is "*". A field that breaks the grammar matches nothing, so the
// whole answer is sent.
bool noneMatchHits(const HttpHead& head, std::string_view tag, std::string_view otherTag = {});

// The answer to GET or HEAD of a static file: 304 with its tag when If-None-Match names the
// file as it is, else 200 with the gzipped bytes when the client takes gzip and there are any,
// else the bytes as they are. Either way with the tag, "Vary: Accept-Encoding" and
// "Cache-Control: no-cache" (kept, but asked again before each use).
ApiResponse staticAnswer(const StaticFile& file, const HttpHead& head);

}  // namespace tev::web
