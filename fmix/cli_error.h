// How fmix reports failure: one line on stderr and an exit code, 2 for a
// usage error and 1 for every other failure.
#pragma once

#include <stdexcept>
#include <string>

class CliError : public std::runtime_error {
 public:
  CliError(int exitCode, const std::string& line) : std::runtime_error(line), exitCode_(exitCode) {}
  int ExitCode() const { return exitCode_; }

 private:
  int exitCode_;
};

inline CliError UsageError(const std::string& line) { return CliError(2, line); }
// A failure about one file: "FILE: reason".
inline CliError FileError(const std::string& file, const std::string& reason) {
  return CliError(1, file + ": " + reason);
}
