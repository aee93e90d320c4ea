// Packing commands. None of the libraries writes archives yet: every packing,
// deleting and freshening command reports ARC_ERROR_NOT_SUPPORT.
#include "Core.h"

namespace arc {

int PackEntries(const LibraryTraits& lib, Dialect, const Command&, std::string& log) {
  log += std::string(lib.name) + ": packing, deleting and updating are not supported\n";
  return ARC_ERROR_NOT_SUPPORT;
}

}  // namespace arc
