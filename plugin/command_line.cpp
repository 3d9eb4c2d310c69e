#include "plugin/command_line.h"

#include <algorithm>

bool SplitCommandLine(const std::string& line, std::vector<std::string>& words) {
  words.clear();
  std::size_t at = 0;
  while ((at = line.find_first_not_of(' ', at)) != std::string::npos) {
    std::size_t end;
    if (line[at] == '"') {
      end = line.find('"', at + 1);
      if (end == std::string::npos) return false;
      words.push_back(line.substr(at + 1, end - at - 1));
      ++end;
    } else {
      end = std::min(line.find(' ', at), line.size());
      words.push_back(line.substr(at, end - at));
    }
    at = end;
  }
  return true;
}
