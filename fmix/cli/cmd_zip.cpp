// fmix zip OUT.yz1 DIR [--solid] [--quiet]: DIR's content as a ZIP archive
// (or an xz-compressed tar) for the archiver plug-in.
#include "fmix/cli/command_line.h"
#include "fmix/cli/commands.h"
#include "fmix/host/output_file.h"
#include "fmix/report/progress.h"
#include "fmix/host/zip_folder.h"

int RunZip(const Args& args) {
  const TCommandLine line(args, {{"--solid", TCommandLine::kFlag}, {"--quiet", TCommandLine::kFlag}});
  const Args& operands = line.Operands(2, 2, "OUT.yz1 DIR");
  TProgress progress(line.Has("--quiet"), "fmix zip: zipping");
  TOutputFile out(operands[0]);
  ZipFolder(operands[1], out, &progress, line.Has("--solid"));
  out.Commit();
  return 0;
}
