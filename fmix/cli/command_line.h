// TCommandLine: one command's arguments, split into options and operands.
// An option is "--name VALUE" or "--name=VALUE" ("-o" likewise); a flag
// takes no value; "--" ends the options, so that a file may be named "-x".
// A word that looks like an option but is none of the command's is a usage
// error that names it, as is a missing value or a single option given twice.
//
//   const TCommandLine line(args, {{"--solid", TCommandLine::kFlag}, {"-o", TCommandLine::kValue}});
//   const Args& files = line.Operands(1, 1, "DIR");
//   if (line.Has("--solid")) ...
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "fmix/cli/commands.h"

class TCommandLine {
 public:
  enum Kind { kFlag, kValue, kRepeated };
  struct Option {
    const char* name;
    Kind kind;
  };
  // One word of the command line, in order: an option with its value, or an
  // operand (option empty).
  struct Item {
    std::string option;
    std::string value;
  };

  TCommandLine(const Args& args, const std::vector<Option>& options);

  bool Has(const std::string& name) const;
  // The option's value; empty when it was not given.
  std::string Value(const std::string& name) const;
  // The same, raising a usage error ("missing -o OUT.exe") when it was not given.
  std::string Required(const std::string& name, const std::string& shown) const;
  // Every value of a repeated option, in order.
  Args Values(const std::string& name) const;
  // The operands, between min and max of them; a usage error names what is
  // missing ("missing DIR") or the first word too many.
  const Args& Operands(std::size_t min, std::size_t max, const std::string& shown) const;
  const std::vector<Item>& Items() const { return items_; }

 private:
  const Option& Find(const std::string& name) const;

  std::vector<Option> options_;
  std::vector<Item> items_;
  Args operands_;
};
