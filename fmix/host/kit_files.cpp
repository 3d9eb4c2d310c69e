#include "fmix/host/kit_files.h"

#include "fmix/report/cli_error.h"
#include "os/os.h"
#include "rtl/text.h"

std::string KitFile(const std::string& fileName, const std::string& option) {
  const std::u16string folder = os::InstalledDataFolder(u"fmix");
  if (folder.empty()) throw ECliError(1, "cannot tell where fmix is installed; give " + option);
  const std::u16string path = folder + os::kPathDelimiter + rtl::ToWide(fileName);
  if (!os::FileExists(path))
    throw FileError(rtl::ToAnsi(path), "not found (fmix takes " + fileName + " from there unless given " +
                                          option + " FILE)");
  return rtl::ToAnsi(path);
}
