#include "velm_stream/tv_stream.h"

#include <memory>

#include "rtl/exception.h"

std::int64_t TVStream::GetSize() {
  std::int64_t pos = Seek(0, 1);
  std::int64_t size = Seek(0, 2);
  Seek(pos, 0);
  return size;
}

void TVStream::SetPosition(std::int64_t pos) { Seek(pos, 0); }

void TVStream::ReadError() { throw EInOutError(u"ストリームの読み込みエラー"); }

void TVStream::ReadBuffer(void* buffer, std::int32_t count) {
  if (count != 0 && Read(buffer, count) != count) ReadError();
}

void TVStream::WriteBuffer(const void* buffer, std::int32_t count) {
  if (count != 0 && Write(buffer, count) != count)
    throw EInOutError(u"ストリームの書き込みエラー");
}

std::int64_t TVStream::CopyFrom(TVStream& source, std::int64_t count) {
  if (count < 0) ReadError();
  if (count == 0) {
    source.SetPosition(0);
    count = source.GetSize();
  }
  const std::int64_t total = count;
  const std::int32_t chunk = count <= kCopyChunk ? static_cast<std::int32_t>(count) : kCopyChunk;
  std::unique_ptr<char[]> buffer(chunk > 0 ? new char[static_cast<std::size_t>(chunk)] : nullptr);
  while (count != 0) {
    std::int32_t n = count < chunk ? static_cast<std::int32_t>(count) : chunk;
    source.ReadBuffer(buffer.get(), n);
    WriteBuffer(buffer.get(), n);
    count -= n;
  }
  return total;
}
