#include "fmix/host/temp_file.h"

#include <cstdio>
#include <random>

#include "fmix/report/cli_error.h"
#include "os/os.h"
#include "rtl/text.h"

namespace {

// The temporary folder with a trailing delimiter, in the system code page.
std::string TempFolder() {
  std::u16string name;
  const os::Done found = os::TemporaryFolder(name);
  if (!found) throw ECliError(1, "no temporary folder: " + os::FailureText(found.failure));
  if (name.back() != u'/' && name.back() != u'\\') name += u'/';
  return rtl::ToAnsi(name);
}

}  // namespace

TTempFile::TTempFile(const std::string& suffix) {
  const std::string folder = TempFolder();
  std::random_device seed;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = folder + "fmix" + std::to_string(seed() % 100000000) + suffix;
    const os::FileHandle file = os::FileCreateNew(rtl::ToWide(name)).handle;
    if (file == os::kNoFile) continue;
    os::FileClose(file);
    name_ = name;
    return;
  }
  throw ECliError(1, "cannot create a temporary file in " + folder);
}

TTempFile::~TTempFile() { std::remove(name_.c_str()); }
