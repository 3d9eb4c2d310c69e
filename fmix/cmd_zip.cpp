// fmix zip OUT.yz1 DIR: DIR's content as a ZIP archive for the archiver plug-in.
#include "fmix/cli_error.h"
#include "fmix/commands.h"
#include "fmix/output_file.h"
#include "fmix/progress.h"
#include "fmix/zip_folder.h"

int RunZip(const Args& allArgs) {
  Args args = allArgs;
  TProgress progress = TProgress::Take(args, "fmix zip: zipping");
  if (args.size() != 2) throw UsageError("usage: fmix zip OUT.yz1 DIR [--quiet]");
  TOutputFile out(args[0]);
  ZipFolder(args[1], out, &progress);
  out.Commit();
  return 0;
}
