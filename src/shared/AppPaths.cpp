// Path resolution, text file bytes and base64 decoding for the file commands.
#include "AppPaths.h"

#include "TextCodec.h"

#include <algorithm>
#include <array>

namespace velmora {

std::string ResolveAppRelativePath(const std::string& Path, const std::string& ProgramFolder, char Separator)
{
  if (Separator == '\\') {
    if (Path.size() >= 2 && (Path[1] == ':' || Path.starts_with("\\\\")))
      return Path;
    std::string relative = Path;
    std::replace(relative.begin(), relative.end(), '/', '\\');
    return ProgramFolder + relative;
  }
  if (Path.starts_with("/"))
    return Path;
  std::string relative = Path;
  std::replace(relative.begin(), relative.end(), '\\', '/');
  return ProgramFolder + relative;
}

std::string TextFileBytes(const std::string& Text)
{
  std::string bytes;
  const TStatus written = WriteTextFileBytes(Text, [&bytes](std::string_view Chunk) -> TStatus {
    bytes.append(Chunk);
    return {};
  });
  (void)written; // appending to a string cannot fail
  return bytes;
}

TStatus WriteTextFileBytes(std::string_view Text, const std::function<TStatus(std::string_view)>& Sink)
{
  // Passed on in pieces of this size, so a large text is never copied whole.
  constexpr size_t kPieceBytes = 256 * 1024;
  Text = Text.substr(0, Text.find('\0'));
  std::string piece = "\xEF\xBB\xBF";
  piece.reserve(kPieceBytes + 2);
  const auto flush = [&]() -> TStatus {
    if (piece.empty())
      return {};
    const TStatus passed = Sink(piece);
    piece.clear();
    return passed;
  };
  // The next CR and the next LF, each found by memchr and looked for again only once passed:
  // find_first_of would test every character against the set one at a time.
  size_t nextCr = Text.find('\r');
  size_t nextLf = Text.find('\n');
  size_t start = 0;
  while (start < Text.size()) {
    if (nextCr < start)
      nextCr = Text.find('\r', start);
    if (nextLf < start)
      nextLf = Text.find('\n', start);
    const size_t end = std::min(nextCr, nextLf);
    const size_t stop = end == std::string_view::npos ? Text.size() : end;
    // The line, in pieces.
    for (size_t at = start; at < stop;) {
      const size_t take = std::min(stop - at, kPieceBytes - std::min(piece.size(), kPieceBytes));
      piece.append(Text.substr(at, take));
      at += take;
      if (piece.size() >= kPieceBytes) {
        if (const TStatus passed = flush(); !passed)
          return passed;
      }
    }
    piece += "\r\n";
    if (end == std::string_view::npos)
      break;
    start = end + ((Text[end] == '\r' && end + 1 < Text.size() && Text[end + 1] == '\n') ? 2 : 1);
  }
  return flush();
}

std::string EncodeBase64(std::string_view Bytes)
{
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((Bytes.size() + 2) / 3 * 4);
  size_t at = 0;
  for (; at + 3 <= Bytes.size(); at += 3) {
    const uint32_t group = (static_cast<uint32_t>(static_cast<unsigned char>(Bytes[at])) << 16) |
                           (static_cast<uint32_t>(static_cast<unsigned char>(Bytes[at + 1])) << 8) |
                           static_cast<uint32_t>(static_cast<unsigned char>(Bytes[at + 2]));
    out += kAlphabet[(group >> 18) & 63];
    out += kAlphabet[(group >> 12) & 63];
    out += kAlphabet[(group >> 6) & 63];
    out += kAlphabet[group & 63];
  }
  if (const size_t left = Bytes.size() - at; left > 0) {
    uint32_t group = static_cast<uint32_t>(static_cast<unsigned char>(Bytes[at])) << 16;
    if (left == 2)
      group |= static_cast<uint32_t>(static_cast<unsigned char>(Bytes[at + 1])) << 8;
    out += kAlphabet[(group >> 18) & 63];
    out += kAlphabet[(group >> 12) & 63];
    out += left == 2 ? kAlphabet[(group >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

TResult<std::string> TextOfFileBytes(std::string Bytes)
{
  if (Bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
    Bytes.erase(0, 3);
  if (!IsValidUtf8(Bytes))
    return TError{"The file is not UTF-8 text (read it with files.readBase64)"};
  return Bytes;
}

bool DecodeBase64(const std::string& Text, std::string& Bytes)
{
  static const std::array<int, 256> kValues = [] {
    std::array<int, 256> values{};
    values.fill(-1);
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < 64; ++i)
      values[static_cast<unsigned char>(alphabet[i])] = i;
    return values;
  }();
  std::string out;
  out.reserve(Text.size() / 4 * 3);
  uint32_t group = 0;
  int count = 0;
  int padding = 0;
  for (const char c : Text) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
      continue;
    if (c == '=') {
      ++padding;
      continue;
    }
    const int value = kValues[static_cast<unsigned char>(c)];
    if (value < 0 || padding > 0) // no data may follow the padding
      return false;
    group = (group << 6) | static_cast<uint32_t>(value);
    if (++count == 4) {
      out += static_cast<char>((group >> 16) & 0xFF);
      out += static_cast<char>((group >> 8) & 0xFF);
      out += static_cast<char>(group & 0xFF);
      group = 0;
      count = 0;
    }
  }
  // A final group of 2 or 3 characters carries 1 or 2 bytes; padding may be left out.
  if (count == 1 || padding > 2 || (padding > 0 && count + padding != 4))
    return false;
  if (count == 2) {
    out += static_cast<char>((group >> 4) & 0xFF);
  } else if (count == 3) {
    out += static_cast<char>((group >> 10) & 0xFF);
    out += static_cast<char>((group >> 2) & 0xFF);
  }
  Bytes = std::move(out);
  return true;
}

} // namespace velmora
