#include "fmix/stub_image.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "fmix/cli_error.h"
#include "fmix/host_path.h"
#include "fmix/pe_image.h"

namespace {

std::string ReadWhole(const std::string& name) {
  std::ifstream in(HostPath(name), std::ios::binary);
  if (!in) throw FileError(name, "cannot be read", std::strerror(errno));
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

// A signed stub would carry its certificate in front of the pack; sections
// that claim to end past the file's end make no image the launcher reads.
std::string ReadStub(const std::string& stubName) {
  std::string stub = ReadWhole(stubName);
  const TPeImage image(stub);
  if (!image.Valid() || !image.Is32Bit() || image.EndOfSections() > stub.size())
    throw FileError(stubName, "not a 32-bit Windows executable");
  if (image.CertificateSize() != 0)
    throw FileError(stubName, "the stub carries a certificate; sign the finished setup, never the stub");
  if (image.EndOfSections() != stub.size())
    throw FileError(stubName, std::to_string(stub.size() - image.EndOfSections()) +
                                  " bytes follow its last section (a symbol table? link the stub with -s)");
  return stub;
}
