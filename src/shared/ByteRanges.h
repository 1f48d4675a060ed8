// Byte ranges of HTTP requests: what a "Range" header asks of a body whose length is known.
// Media players ask for ranges to seek, and play only when the server answers them.
#pragma once

#include <cstdint>
#include <string_view>

namespace velmora {

struct TByteRange {
  enum class TKind {
    Whole,         // no range asked, or one this server may ignore: answer 200 with the whole body
    Part,          // answer 206 with Count bytes from First
    Unsatisfiable, // the range starts past the end: answer 416
  };
  TKind Kind = TKind::Whole;
  uint64_t First = 0;
  uint64_t Count = 0; // at least 1 for Part
};

// Reads a Range header for a body of Length bytes. A single range of the "bytes" unit is
// honoured ("bytes=10-19", "bytes=10-", "bytes=-10"); a header with several ranges, another unit
// or a syntax error is ignored, as HTTP allows a server to do.
TByteRange ParseByteRange(std::string_view Header, uint64_t Length);

} // namespace velmora
