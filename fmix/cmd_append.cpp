// fmix append STUB.exe PACK OUT.exe: the stub's bytes followed directly by
// the pack's.
#include "fmix/cli_error.h"
#include "fmix/commands.h"
#include "fmix/output_file.h"
#include "fmix/pack_source.h"
#include "fmix/stub_image.h"

int RunAppend(const Args& args) {
  if (args.size() != 3) throw UsageError("usage: fmix append STUB.exe PACK OUT.exe");
  const std::string stub = ReadStub(args[0]);
  const TPackSource pack(args[1]);
  TOutputFile out(args[2]);
  out.Write(stub);
  pack.WriteTo(out);
  out.Commit();
  return 0;
}
