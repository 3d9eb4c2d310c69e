#include "tar_xz/lzma2_decoder.h"

#include <cstdlib>
#include <cstring>

#include "LzmaDec.h"
#include "tar_xz/xz_byte_input.h"

// Resets the range coder, and the dictionary and the state as asked; defined
// in LzmaDec.c, which its header does not declare.
extern "C" void LzmaDec_InitDicAndState(CLzmaDec* p, Bool initDic, Bool initState);

namespace {

void* Allocate(void*, size_t size) { return std::malloc(size); }
void Release(void*, void* address) { std::free(address); }
// Constant, so that it lies with the read-only data; the decoder's functions
// take it as a pointer to modifiable data but only call through it.
const ISzAlloc kAllocator = {Allocate, Release};
ISzAlloc* Allocator() { return const_cast<ISzAlloc*>(&kAllocator); }

constexpr unsigned kEnd = 0x00, kStoredWithReset = 0x01, kStored = 0x02, kLzma = 0x80;
constexpr std::size_t kMaxPacked = 1 << 16;

}  // namespace

struct TLzma2Decoder::TState {
  CLzmaDec lzma;
  std::size_t handedOut = 0;  // where in the dictionary the next bytes to hand out start
  TState() { LzmaDec_Construct(&lzma); }
  ~TState() {
    LzmaDec_FreeProbs(&lzma, Allocator());
    std::free(lzma.dic);
  }
};

TLzma2Decoder::TLzma2Decoder(TXzByteInput& input)
    : input_(input), state_(std::make_unique<TState>()), packed_(kMaxPacked) {}

TLzma2Decoder::~TLzma2Decoder() = default;

bool TLzma2Decoder::Fail(const char* reason) {
  failure_ = reason;
  return false;
}

bool TLzma2Decoder::Start(std::uint32_t dictionarySize) {
  CLzmaDec& lzma = state_->lzma;
  if (dictionarySize < 4096) dictionarySize = 4096;
  if (dictionarySize != dictionarySize_) {
    std::free(lzma.dic);
    lzma.dic = static_cast<Byte*>(std::malloc(dictionarySize));
    dictionarySize_ = lzma.dic ? dictionarySize : 0;
    if (!lzma.dic) return Fail("not enough memory for the dictionary");
  }
  lzma.dicBufSize = dictionarySize_;
  lzma.dicPos = state_->handedOut = 0;
  unpackedLeft_ = 0;
  needDictionaryReset_ = needProperties_ = true;
  return true;
}

const unsigned char* TLzma2Decoder::Dictionary(std::size_t& filled) const {
  filled = state_->lzma.dicPos;
  return state_->lzma.dic;
}

// Free space from the write position to the end of the ring buffer, which
// wraps around once everything before it has been handed out.
std::size_t TLzma2Decoder::Room() {
  CLzmaDec& lzma = state_->lzma;
  if (lzma.dicPos == lzma.dicBufSize) lzma.dicPos = state_->handedOut = 0;
  return lzma.dicBufSize - lzma.dicPos;
}

bool TLzma2Decoder::Next(const unsigned char*& data, std::size_t& size) {
  size = 0;
  if (unpackedLeft_ == 0 && !ReadControl()) return false;
  if (unpackedLeft_ == 0) return true;  // the end of the data
  if (!(stored_ ? CopyStored(size) : DecodeLzma(size))) return false;
  data = state_->lzma.dic + state_->handedOut;
  state_->handedOut += size;
  return true;
}

bool TLzma2Decoder::ReadControl() {
  unsigned char control;
  if (!input_.Read(&control, 1)) return Fail("truncated data");
  if (control == kEnd) return true;
  if (control >= kLzma) return StartLzmaChunk(control);
  if (control != kStored && control != kStoredWithReset) return Fail("damaged data");
  if (control == kStored && needDictionaryReset_) return Fail("damaged data");
  unsigned char size[2];
  if (!input_.Read(size, 2)) return Fail("truncated data");
  if (control == kStoredWithReset) {  // the next LZMA chunk must bring properties again
    LzmaDec_InitDicAndState(&state_->lzma, True, False);
    needDictionaryReset_ = false;
    needProperties_ = true;
  }
  stored_ = true;
  unpackedLeft_ = (size[0] << 8 | size[1]) + 1u;
  return true;
}

// Control bits 5 and 6: 0 keeps everything, 1 resets the state, 2 also
// brings new properties, 3 also resets the dictionary. Bits 0 to 4 are the
// top bits of the unpacked size less one. As xz checks the sequence: the
// first chunk resets the dictionary, and the first LZMA chunk after any
// dictionary reset brings properties.
bool TLzma2Decoder::StartLzmaChunk(unsigned control) {
  const unsigned reset = (control >> 5) & 3;
  unsigned char sizes[5];
  const std::size_t sizeBytes = reset >= 2 ? 5 : 4;
  if (!input_.Read(sizes, sizeBytes)) return Fail("truncated data");
  if (needDictionaryReset_ && reset < 3) return Fail("damaged data");
  if (reset >= 2 && !SetProperties(sizes[4])) return false;
  if (needProperties_) return Fail("damaged data");
  LzmaDec_InitDicAndState(&state_->lzma, reset == 3, reset >= 1);
  needDictionaryReset_ = false;
  stored_ = false;
  unpackedLeft_ = ((control & 0x1F) << 16 | sizes[0] << 8 | sizes[1]) + 1u;
  const std::size_t packed = (sizes[2] << 8 | sizes[3]) + 1u;
  packedUsed_ = kMaxPacked - packed;  // the chunk lies at the end of the buffer
  return input_.Read(packed_.data() + packedUsed_, packed) || Fail("truncated data");
}

// The properties byte is (pb * 5 + lp) * 9 + lc; LZMA2 allows lc + lp <= 4.
bool TLzma2Decoder::SetProperties(unsigned char properties) {
  if (properties >= 9 * 5 * 5) return Fail("damaged data");
  const unsigned lc = properties % 9, lp = properties / 9 % 5;
  if (lc + lp > 4) return Fail("damaged data");
  const Byte props[LZMA_PROPS_SIZE] = {properties, Byte(dictionarySize_), Byte(dictionarySize_ >> 8),
                                       Byte(dictionarySize_ >> 16), Byte(dictionarySize_ >> 24)};
  if (LzmaDec_AllocateProbs(&state_->lzma, props, LZMA_PROPS_SIZE, Allocator()) != SZ_OK)
    return Fail("not enough memory");
  needProperties_ = false;
  return true;
}

bool TLzma2Decoder::DecodeLzma(std::size_t& size) {
  CLzmaDec& lzma = state_->lzma;
  const std::size_t want = Room() < unpackedLeft_ ? Room() : unpackedLeft_;
  const std::size_t start = lzma.dicPos;
  SizeT packed = kMaxPacked - packedUsed_;
  ELzmaStatus status;
  const SRes result = LzmaDec_DecodeToDic(&lzma, start + want, packed_.data() + packedUsed_, &packed,
                                          want == unpackedLeft_ ? LZMA_FINISH_END : LZMA_FINISH_ANY, &status);
  packedUsed_ += packed;
  size = lzma.dicPos - start;
  if (result != SZ_OK || size == 0 || status == LZMA_STATUS_FINISHED_WITH_MARK) return Fail("damaged data");
  unpackedLeft_ -= static_cast<std::uint32_t>(size);
  return unpackedLeft_ > 0 || packedUsed_ == kMaxPacked || Fail("damaged data");
}

// Stored bytes go into the dictionary too, where later LZMA chunks may refer
// back to them.
bool TLzma2Decoder::CopyStored(std::size_t& size) {
  CLzmaDec& lzma = state_->lzma;
  size = Room() < unpackedLeft_ ? Room() : unpackedLeft_;
  if (!input_.Read(lzma.dic + lzma.dicPos, size)) return Fail("truncated data");
  lzma.dicPos += size;
  if (lzma.checkDicSize == 0 && dictionarySize_ - lzma.processedPos <= size) lzma.checkDicSize = dictionarySize_;
  lzma.processedPos += static_cast<UInt32>(size);
  unpackedLeft_ -= static_cast<std::uint32_t>(size);
  return true;
}
