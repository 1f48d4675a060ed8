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

class TRangeBody final : public TWebResourceBody {
public:
  TRangeBody(TWebResourceBodyPtr Whole, uint64_t First, uint64_t Count)
    : FWhole(std::move(Whole)), FFirst(First), FCount(Count), FLeft(Count)
  {}
  int64_t Length() const override { return static_cast<int64_t>(FCount); }
  TResult<size_t> Read(std::span<uint8_t> Buffer) override
  {
    if (!FPositioned) {
      if (const TStatus skipped = FWhole->Skip(FFirst); !skipped)
        return TError{skipped.Error()};
      FPositioned = true;
    }
    if (FLeft == 0)
      return size_t{0};
    if (Buffer.size() > FLeft)
      Buffer = Buffer.first(static_cast<size_t>(FLeft));
    const auto got = FWhole->Read(Buffer);
    if (!got)
      return got;
    if (got.Value() == 0)
      return TError{"The body ended before the range did"};
    FLeft -= got.Value();
    return got;
  }

private:
  TWebResourceBodyPtr FWhole;
  uint64_t FFirst;
  uint64_t FCount;
  uint64_t FLeft;
  bool FPositioned = false;
};

} // namespace

TStatus TWebResourceBody::Skip(uint64_t Count)
{
  uint8_t scratch[64 * 1024];
  while (Count > 0) {
    const size_t want = Count < sizeof scratch ? static_cast<size_t>(Count) : sizeof scratch;
    const auto got = Read(std::span<uint8_t>(scratch, want));
    if (!got)
      return TError{got.Error()};
    if (got.Value() == 0)
      return TError{"The body ended before the range started"};
    Count -= got.Value();
  }
  return {};
}

TWebResourceBodyPtr MakeRangeBody(TWebResourceBodyPtr Whole, uint64_t First, uint64_t Count)
{
  return std::make_shared<TRangeBody>(std::move(Whole), First, Count);
}

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
