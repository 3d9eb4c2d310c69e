// The xz compressor where fmix is built without liblzma (fmix.exe): solid
// archives are refused, everything else works.
#include "tar_xz/xz_compressor.h"

#include "rtl/exception.h"

struct TXzCompressor::TStream {};

TXzCompressor::TXzCompressor(Output out, std::uint64_t) : out_(std::move(out)) {
  throw EInOutError(u"--solid needs liblzma, which this build of fmix lacks; use fmix on Linux for solid archives");
}

TXzCompressor::~TXzCompressor() = default;

void TXzCompressor::Write(const char*, std::size_t) {}

void TXzCompressor::Finish() {}
