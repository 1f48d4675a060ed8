// What a Range header asks of a body of known length.
#include "ByteRanges.h"

#include <gtest/gtest.h>

#include <string>

namespace velmora {
namespace {

TEST(ByteRangesTest, SingleRangesAreHonouredAndEverythingElseIgnored)
{
  using TKind = TByteRange::TKind;
  struct TCase {
    const char* Header;
    uint64_t Length;
    TKind Kind;
    uint64_t First;
    uint64_t Count;
  };
  const TCase cases[] = {
    {"bytes=0-0", 100, TKind::Part, 0, 1},
    {"bytes=10-19", 100, TKind::Part, 10, 10},
    {" Bytes=10-19 ", 100, TKind::Part, 10, 10},
    {"bytes=90-", 100, TKind::Part, 90, 10},
    {"bytes=90-500", 100, TKind::Part, 90, 10},
    {"bytes=99-99999999999999999999999", 100, TKind::Part, 99, 1},
    {"bytes=-10", 100, TKind::Part, 90, 10},
    {"bytes=-1000", 100, TKind::Part, 0, 100},
    {"bytes=100-", 100, TKind::Unsatisfiable, 0, 0},
    {"bytes=99999999999999999999999-", 100, TKind::Unsatisfiable, 0, 0},
    {"bytes=-0", 100, TKind::Unsatisfiable, 0, 0},
    {"bytes=0-", 0, TKind::Unsatisfiable, 0, 0},
    {"bytes=-5", 0, TKind::Unsatisfiable, 0, 0},
    // Ignored: the whole body is the answer.
    {"", 100, TKind::Whole, 0, 0},
    {"bytes=", 100, TKind::Whole, 0, 0},
    {"bytes=-", 100, TKind::Whole, 0, 0},
    {"bytes=5", 100, TKind::Whole, 0, 0},
    {"bytes=20-10", 100, TKind::Whole, 0, 0},
    {"bytes=0-1,4-5", 100, TKind::Whole, 0, 0},
    {"bytes=a-b", 100, TKind::Whole, 0, 0},
    {"bytes=+1-2", 100, TKind::Whole, 0, 0},
    {"bytes=1--2", 100, TKind::Whole, 0, 0},
    {"items=0-1", 100, TKind::Whole, 0, 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string("\"") + c.Header + "\" of " + std::to_string(c.Length));
    const TByteRange range = ParseByteRange(c.Header, c.Length);
    EXPECT_EQ(range.Kind, c.Kind);
    if (c.Kind == TKind::Part) {
      EXPECT_EQ(range.First, c.First);
      EXPECT_EQ(range.Count, c.Count);
    }
  }
}

} // namespace
} // namespace velmora
