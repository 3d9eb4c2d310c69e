// The subcommands of fmix. Each takes the arguments after its name and
// returns the exit code; failures are raised as ECliError.
#pragma once

#include <string>
#include <vector>

using Args = std::vector<std::string>;

int RunCreate(const Args& args);
int RunList(const Args& args);
int RunExtract(const Args& args);
int RunAppend(const Args& args);
int RunZip(const Args& args);
int RunSetup(const Args& args);
int RunVerify(const Args& args);
