#include "fmix/image/stub_image.h"

#include "fmix/report/cli_error.h"
#include "fmix/host/host_files.h"
#include "fmix/image/pe_image.h"

// A signed stub would carry its certificate in front of the pack; sections
// that claim to end past the file's end make no image the launcher reads.
std::string ReadStub(const std::string& stubName) {
  std::string stub = ReadWholeFile(stubName);
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
