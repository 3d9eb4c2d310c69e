// fmix zip OUT.yz1 DIR [--solid]: DIR's content as a ZIP archive (or an
// xz-compressed tar) for the archiver plug-in.
#include <algorithm>

#include "fmix/cli_error.h"
#include "fmix/commands.h"
#include "fmix/output_file.h"
#include "fmix/progress.h"
#include "fmix/zip_folder.h"

int RunZip(const Args& allArgs) {
  Args args = allArgs;
  TProgress progress = TProgress::Take(args, "fmix zip: zipping");
  const auto solid = std::remove(args.begin(), args.end(), "--solid");
  const bool isSolid = solid != args.end();
  args.erase(solid, args.end());
  if (args.size() != 2) throw UsageError("usage: fmix zip OUT.yz1 DIR [--solid] [--quiet]");
  TOutputFile out(args[0]);
  ZipFolder(args[1], out, &progress, isSolid);
  out.Commit();
  return 0;
}
