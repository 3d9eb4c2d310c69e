#include "unit_pack_files/reserved_copy.h"

#include <limits>

#include "rtl/exception.h"
#include "velm_stream/tv_memory_stream.h"

std::int64_t ReservedCopy(TVMemoryStream& dest, TVStream& source, std::int64_t count, NoRoom noRoom) {
  const std::int64_t position = source.Seek(0, 1);
  const std::int64_t available = source.GetSize() - position;
  // A source that falls short stops the copy after its last whole chunk.
  const std::int64_t chunk = count < TVStream::kCopyChunk ? count : TVStream::kCopyChunk;
  const std::int64_t deliverable =
      count <= available ? count : available > 0 ? available / chunk * chunk : 0;
  const std::int64_t needed = static_cast<std::int64_t>(dest.Position()) + deliverable;
  if (dest.Position() >= 0 && deliverable > 0 && needed > dest.Capacity()) {
    try {
      // Beyond 32 bits the memory stream cannot hold the copy at all.
      if (needed > std::numeric_limits<std::int32_t>::max()) throw EOutOfMemory(u"メモリの再確保に失敗");
      dest.SetCapacity(static_cast<std::int32_t>(needed));
    } catch (const EOutOfMemory&) {
      if (noRoom == NoRoom::kRaise) throw;
      // Otherwise the copy grows the block itself.
    }
  }
  return dest.CopyFrom(source, count);
}
