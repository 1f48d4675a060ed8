// Fuzz target: the base64 decoder of base64.decodeToFile. Whatever decodes must encode back to
// data that decodes to the same bytes, and any bytes must survive standard encoding and decoding.
#include "AppPaths.h"

#include <cstdlib>
#include <string>

namespace {

std::string Encode(const std::string& Bytes)
{
  static const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  for (; i + 2 < Bytes.size(); i += 3) {
    const unsigned v = static_cast<unsigned>(static_cast<unsigned char>(Bytes[i])) << 16 |
                       static_cast<unsigned>(static_cast<unsigned char>(Bytes[i + 1])) << 8 |
                       static_cast<unsigned char>(Bytes[i + 2]);
    for (int shift = 18; shift >= 0; shift -= 6)
      out += kAlphabet[(v >> shift) & 63];
  }
  if (i < Bytes.size()) {
    const bool two = i + 1 < Bytes.size();
    const unsigned v = static_cast<unsigned>(static_cast<unsigned char>(Bytes[i])) << 16 |
                       (two ? static_cast<unsigned>(static_cast<unsigned char>(Bytes[i + 1])) << 8 : 0U);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += two ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size)
{
  const std::string input(reinterpret_cast<const char*>(Data), Size);
  std::string decoded;
  if (velmora::DecodeBase64(input, decoded)) {
    std::string again;
    if (!velmora::DecodeBase64(Encode(decoded), again) || again != decoded)
      std::abort();
  }
  std::string roundTrip;
  if (!velmora::DecodeBase64(Encode(input), roundTrip) || roundTrip != input)
    std::abort();
  return 0;
}
