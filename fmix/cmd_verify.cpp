// fmix verify SETUP.exe: one line per check of what the launcher's run
// depends on, then the verdict; exit 0 when the setup will reach its
// installer, 1 when it will not.
#include <cstdio>

#include "fmix/cli_error.h"
#include "fmix/code_page.h"
#include "fmix/commands.h"
#include "fmix/setup_verifier.h"

int RunVerify(const Args& allArgs) {
  Args args = allArgs;
  const TCodePage codePage = TCodePage::Take(args);
  if (args.size() != 1 || args[0].empty()) throw UsageError("usage: fmix verify [--codepage=N] SETUP.exe");
  const TSetupVerifier verifier(args[0], args[0], codePage);
  for (const TSetupVerifier::Line& line : verifier.Lines()) std::printf("%s\n", line.Text().c_str());
  std::printf("%s\n", verifier.Verdict().c_str());
  return verifier.Passed() ? 0 : 1;
}
