#include "tar_xz/xz_compressor.h"

#include <lzma.h>

#include <algorithm>
#include <vector>

#include "rtl/exception.h"
#include "rtl/text.h"

namespace {

constexpr std::size_t kChunk = 64 * 1024;

EInOutError XzError(lzma_ret code) {
  return EInOutError(u"xz compression failed (liblzma error " + rtl::ToWide(std::to_string(code)) + u")");
}

}  // namespace

struct TXzCompressor::TStream {
  lzma_stream lzma = LZMA_STREAM_INIT;
  std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(kChunk);
  ~TStream() { lzma_end(&lzma); }
};

TXzCompressor::TXzCompressor(Output out, std::uint64_t size)
    : out_(std::move(out)), stream_(std::make_unique<TStream>()) {
  lzma_options_lzma options;
  if (lzma_lzma_preset(&options, 9)) throw XzError(LZMA_OPTIONS_ERROR);
  options.dict_size = static_cast<std::uint32_t>(
      std::clamp<std::uint64_t>(size, LZMA_DICT_SIZE_MIN, kMaxDictionary));
  const lzma_filter filters[] = {{LZMA_FILTER_LZMA2, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
  const lzma_ret code = lzma_stream_encoder(&stream_->lzma, filters, LZMA_CHECK_CRC64);
  if (code != LZMA_OK) throw XzError(code);
}

TXzCompressor::~TXzCompressor() = default;

// Nothing to compress is no call: liblzma takes a second call in a row that
// can make no progress (the one before emptied the encoder into a full
// buffer) for an error, LZMA_BUF_ERROR.
void TXzCompressor::Write(const char* data, std::size_t size) {
  if (size == 0) return;
  stream_->lzma.next_in = reinterpret_cast<const std::uint8_t*>(data);
  stream_->lzma.avail_in = size;
  Run(false);
}

void TXzCompressor::Finish() { Run(true); }

// Compresses what is given, handing out each full buffer; on finishing,
// until the stream ends.
void TXzCompressor::Run(bool finish) {
  lzma_stream& lzma = stream_->lzma;
  for (;;) {
    lzma.next_out = stream_->buffer.data();
    lzma.avail_out = stream_->buffer.size();
    const lzma_ret code = lzma_code(&lzma, finish ? LZMA_FINISH : LZMA_RUN);
    if (code != LZMA_OK && code != LZMA_STREAM_END) throw XzError(code);
    const std::size_t produced = stream_->buffer.size() - lzma.avail_out;
    if (produced) out_(reinterpret_cast<const char*>(stream_->buffer.data()), produced);
    if (code == LZMA_STREAM_END || (!finish && lzma.avail_in == 0 && lzma.avail_out > 0)) return;
  }
}
