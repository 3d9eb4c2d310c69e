// fmix append STUB.exe PACK OUT.exe: the stub's bytes followed directly by
// the pack's.
#include "fmix/cli/command_line.h"
#include "fmix/cli/commands.h"
#include "fmix/host/output_file.h"
#include "fmix/host/pack_source.h"
#include "fmix/image/stub_image.h"

int RunAppend(const Args& args) {
  const TCommandLine line(args, {});
  const Args& files = line.Operands(3, 3, "STUB.exe PACK OUT.exe");
  const std::string stub = ReadStub(files[0]);
  const TPackSource pack(files[1]);
  TOutputFile out(files[2]);
  out.Write(stub);
  pack.WriteTo(out);
  out.Commit();
  return 0;
}
