// Response bodies over memory, and reading one whole.
#include "EdgeEx.h"

#include <algorithm>
#include <cstring>

namespace velmora {

namespace {

class TMemoryBody final : public TWebResourceBody {
public:
  explicit TMemoryBody(std::string Bytes) : FBytes(std::move(Bytes)) {}
  int64_t Length() const override { return static_cast<int64_t>(FBytes.size()); }
  TResult<size_t> Read(std::span<uint8_t> Buffer) override
  {
    const size_t count = std::min(Buffer.size(), FBytes.size() - FPos);
    if (count > 0)
      std::memcpy(Buffer.data(), FBytes.data() + FPos, count);
    FPos += count;
    return count;
  }

private:
  std::string FBytes;
  size_t FPos = 0;
};

} // namespace

TWebResourceBodyPtr MakeMemoryBody(std::string Bytes) { return std::make_shared<TMemoryBody>(std::move(Bytes)); }

TResult<std::string> ReadWholeBody(TWebResourceBody& Body, uint64_t MaxBytes)
{
  std::string bytes;
  uint8_t buffer[64 * 1024];
  for (;;) {
    const auto got = Body.Read(buffer);
    if (!got)
      return TError{got.Error()};
    if (got.Value() == 0)
      return bytes;
    if (got.Value() > MaxBytes - bytes.size())
      return TError{"The body is larger than " + std::to_string(MaxBytes) + " bytes"};
    bytes.append(reinterpret_cast<const char*>(buffer), got.Value());
  }
}

} // namespace velmora
