// How fmix reports failure: one line on stderr and an exit code, 2 for a
// usage error and 1 for every other failure.
#pragma once

#include <stdexcept>
#include <string>

#include "fmix/report/printable.h"

class ECliError : public std::runtime_error {
 public:
  ECliError(int exitCode, const std::string& line) : std::runtime_error(line), exitCode_(exitCode) {}
  int ExitCode() const { return exitCode_; }

 private:
  int exitCode_;
};

inline ECliError UsageError(const std::string& line) { return ECliError(2, line); }
// A failure about one file: "FILE: reason", control characters in FILE spelled out.
inline ECliError FileError(const std::string& file, const std::string& reason) {
  return ECliError(1, Printable(file) + ": " + reason);
}
// The same, ending with the system's words for the cause when it has any:
// "FILE: reason: Permission denied".
inline ECliError FileError(const std::string& file, const std::string& reason, const std::string& cause) {
  return FileError(file, cause.empty() ? reason : reason + ": " + cause);
}
