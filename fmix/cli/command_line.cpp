#include "fmix/cli/command_line.h"

#include <algorithm>

#include "fmix/report/cli_error.h"
#include "fmix/report/printable.h"

namespace {

bool LooksLikeOption(const std::string& word) { return word.size() > 1 && word[0] == '-'; }

}  // namespace

TCommandLine::TCommandLine(const Args& args, const std::vector<Option>& options) : options_(options) {
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& word = args[i];
    if (optionsEnded || !LooksLikeOption(word)) {
      items_.push_back({"", word});
      operands_.push_back(word);
      continue;
    }
    if (word == "--") {
      optionsEnded = true;
      continue;
    }
    const std::size_t equals = word.find('=');
    const Option& option = Find(word.substr(0, equals));
    const std::string name = option.name;
    if (option.kind == kFlag) {
      if (equals != std::string::npos) throw UsageError(name + " takes no value");
      items_.push_back({name, ""});
      continue;
    }
    if (option.kind == kValue && Has(name)) throw UsageError(name + " given twice");
    if (equals == std::string::npos && i + 1 == args.size()) throw UsageError(name + " needs a value");
    items_.push_back({name, equals == std::string::npos ? args[++i] : word.substr(equals + 1)});
  }
}

const TCommandLine::Option& TCommandLine::Find(const std::string& name) const {
  const auto found = std::find_if(options_.begin(), options_.end(),
                                  [&](const Option& option) { return name == option.name; });
  if (found == options_.end()) throw UsageError("unknown option " + Printable(name));
  return *found;
}

bool TCommandLine::Has(const std::string& name) const {
  return std::any_of(items_.begin(), items_.end(), [&](const Item& item) { return item.option == name; });
}

std::string TCommandLine::Value(const std::string& name) const {
  const Args values = Values(name);
  return values.empty() ? std::string() : values.back();
}

std::string TCommandLine::Required(const std::string& name, const std::string& shown) const {
  if (!Has(name)) throw UsageError("missing " + name + " " + shown);
  return Value(name);
}

Args TCommandLine::Values(const std::string& name) const {
  Args values;
  for (const Item& item : items_)
    if (item.option == name) values.push_back(item.value);
  return values;
}

const Args& TCommandLine::Operands(std::size_t min, std::size_t max, const std::string& shown) const {
  if (operands_.size() < min) throw UsageError("missing " + shown);
  if (operands_.size() > max) throw UsageError("unexpected argument " + Printable(operands_[max]));
  return operands_;
}
