#include "rtl/folders.h"

#include "rtl/exception.h"
#include "rtl/text.h"

namespace rtl {

os::Done ForceDirectories(const std::u16string& dir) {
  if (dir.empty()) throw EInOutError(u"ディレクトリを作成できません");
  return CreateFolders(dir);
}

}  // namespace rtl
