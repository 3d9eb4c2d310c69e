// fmix verify SETUP.exe: one line per check of what the launcher's run
// depends on, then the verdict; exit 0 when the setup will reach its
// installer, 1 when it will not. --json prints the same as one JSON object.
#include <cstdio>

#include "fmix/report/cli_error.h"
#include "fmix/host/code_page.h"
#include "fmix/cli/command_line.h"
#include "fmix/cli/commands.h"
#include "fmix/verify/setup_verifier.h"
#include "os/os.h"
#include "rtl/text.h"

namespace {

// Text as a JSON string in pure ASCII: everything else, and every control
// character, as \uXXXX, so that no code page of the reader matters.
std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (const char16_t c : rtl::ToWide(text)) {
    if (c == u'"' || c == u'\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
      out += escape;
    }
  }
  return out + "\"";
}

void PrintJson(const TSetupVerifier& verifier) {
  static const char* const kLevels[] = {"ok", "note", "warn", "fail"};
  std::string json = "{\"checks\": [";
  const char* separator = "";
  for (const TSetupVerifier::Line& line : verifier.Lines()) {
    json += separator;
    json += std::string("{\"level\": \"") + kLevels[static_cast<int>(line.kind)] + "\", \"topic\": " +
            JsonString(line.topic) + ", \"text\": " + JsonString(line.message) + "}";
    separator = ", ";
  }
  json += std::string("], \"verdict\": \"") + (verifier.Passed() ? "ok" : "fail") +
          "\", \"summary\": " + JsonString(verifier.Verdict()) + "}";
  os::WriteStandard(os::Stream::kOutput, json + "\n");
}

}  // namespace

int RunVerify(const Args& args) {
  const TCommandLine line(args, {{"--codepage", TCommandLine::kValue}, {"--json", TCommandLine::kFlag}});
  const std::string setup = line.Operands(1, 1, "SETUP.exe").front();
  if (setup.empty()) throw UsageError("SETUP.exe is empty");
  const TSetupVerifier verifier(setup, setup, TCodePage::FromOption(line.Value("--codepage")));
  if (line.Has("--json")) {
    PrintJson(verifier);
  } else {
    std::string text;
    for (const TSetupVerifier::Line& check : verifier.Lines()) text += check.Text() + "\n";
    os::WriteStandard(os::Stream::kOutput, text + verifier.Verdict() + "\n");
  }
  return verifier.Passed() ? 0 : 1;
}
