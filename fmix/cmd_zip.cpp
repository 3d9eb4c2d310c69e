// fmix zip OUT.yz1 DIR: DIR's content as a ZIP archive for the archiver plug-in.
#include "fmix/cli_error.h"
#include "fmix/commands.h"
#include "fmix/output_file.h"
#include "fmix/zip_folder.h"

int RunZip(const Args& args) {
  if (args.size() != 2) throw UsageError("usage: fmix zip OUT.yz1 DIR");
  TOutputFile out(args[0]);
  ZipFolder(args[1], out);
  out.Commit();
  return 0;
}
