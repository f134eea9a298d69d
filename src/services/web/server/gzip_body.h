#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "services/web/rules/answer_body.h"

namespace tev::web {

// API answers of a kilobyte or more go gzipped to clients that take it; smaller ones gain
// too little for the work.
inline constexpr std::size_t kGzipMinimumBytes = 1024;

// `text` gzipped (RFC 1952) with zlib; empty when zlib fails.
std::string gzipText(std::string_view text);

// `inner`'s slices gzipped as they are made, one gzip stream over the whole body. Its deflate
// state is small (an 8 kB window), as a connection may hold one while its client reads slowly.
std::unique_ptr<web::BodyWriter> gzipBody(std::shared_ptr<web::BodyWriter> inner);

}  // namespace tev::web
