// Fuzz target: where the image of an executable ends (PE and ELF headers), the rule that finds
// the attached archive. Any bytes must give a range inside the file, or none.
#include "ExeUtils.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size)
{
  const std::span<const uint8_t> file(Data, Size);
  const std::span<const uint8_t> attached = velmora::TExeUtils::AttachedRange(file);
  if (!attached.empty() && (attached.data() < Data || attached.data() + attached.size() != Data + Size))
    std::abort(); // the archive must be a tail of the file
  return 0;
}
