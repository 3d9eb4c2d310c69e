#include "unit_pack_files/reserved_copy.h"

#include "rtl/exception.h"
#include "velm_stream/tv_memory_stream.h"

std::int64_t ReservedCopy(TVMemoryStream& dest, TVStream& source, std::int64_t count) {
  const std::int64_t position = source.Seek(0, 1);
  const std::int64_t available = source.GetSize() - position;
  // A source that falls short stops the copy after its last whole chunk.
  const std::int64_t chunk = count < TVStream::kCopyChunk ? count : TVStream::kCopyChunk;
  const std::int64_t deliverable =
      count <= available ? count : available > 0 ? available / chunk * chunk : 0;
  try {
    dest.Reserve(deliverable);
  } catch (const EOutOfMemory&) {
    // The copy grows the block itself.
  }
  return dest.CopyFrom(source, count);
}
