// How fmix reports failure: one line on stderr and an exit code, 2 for a
// usage error and 1 for every other failure.
#pragma once

#include <stdexcept>
#include <string>

#include "fmix/printable.h"

class CliError : public std::runtime_error {
 public:
  CliError(int exitCode, const std::string& line) : std::runtime_error(line), exitCode_(exitCode) {}
  int ExitCode() const { return exitCode_; }

 private:
  int exitCode_;
};

inline CliError UsageError(const std::string& line) { return CliError(2, line); }
// A failure about one file: "FILE: reason", control characters in FILE spelled out.
inline CliError FileError(const std::string& file, const std::string& reason) {
  return CliError(1, Printable(file) + ": " + reason);
}
// The same, ending with the system's words for the cause when it has any:
// "FILE: reason: Permission denied".
inline CliError FileError(const std::string& file, const std::string& reason, const std::string& cause) {
  return FileError(file, cause.empty() ? reason : reason + ": " + cause);
}
