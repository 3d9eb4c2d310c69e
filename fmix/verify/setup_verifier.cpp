#include "fmix/verify/setup_verifier.h"

#include <algorithm>

#include "fmix/report/printable.h"
#include "os/os.h"
#include "rtl/text.h"
#include "unit_pack_files/scramble.h"

namespace {

// A report shows at most this many lines of one topic, then how many it
// left out: a hostile pack of 65,535 entries gets a few lines, not a line
// per entry.
constexpr std::size_t kMaxTopicLines = 16;

}  // namespace

std::string TSetupVerifier::Line::Text() const {
  static const char* const kLabels[] = {"ok   ", "note ", "warn ", "FAIL "};
  return std::string(kLabels[static_cast<int>(kind)]) + " " + topic + ": " + message;
}

TSetupVerifier::TSetupVerifier(const std::string& fileName, const std::string& runName,
                               const TCodePage& codePage)
    : fileName_(fileName), codePage_(codePage) {
  if (CheckImage()) {
    CheckPack();
    CheckIdentity();
    if (certificateSize_ != 0) CheckSignature();
    CheckConfig();
    CheckPlugin();
    CheckArchive();
    CheckInstaller();
    NoteCodePage();
    NoteScrambling();
  }
  NoteMark(runName);
  NoteLinesLeftOut();
}

bool TSetupVerifier::Passed() const {
  return failuresLeftOut_ == 0 && std::none_of(lines_.begin(), lines_.end(),
                                               [](const Line& line) { return line.kind == Kind::kFail; });
}

std::string TSetupVerifier::Verdict() const {
  const auto count = [this](Kind kind) {
    return std::count_if(lines_.begin(), lines_.end(),
                         [kind](const Line& line) { return line.kind == kind; });
  };
  const auto failures = count(Kind::kFail) + failuresLeftOut_;
  if (failures)
    return "verdict: FAIL (" + std::to_string(failures) + (failures == 1 ? " problem" : " problems") +
           "): the setup will not reach its installer";
  const auto warnings = count(Kind::kWarn);
  return "verdict: ok" + (warnings ? " (" + std::to_string(warnings) + " unchecked)" : std::string()) +
         ": the setup will reach its installer";
}

void TSetupVerifier::Add(Kind kind, const std::string& topic, const std::string& message) {
  if (++topicLines_[topic] <= kMaxTopicLines)
    lines_.push_back({kind, topic, message});
  else if (kind == Kind::kFail)
    ++failuresLeftOut_;
}

void TSetupVerifier::NoteLinesLeftOut() {
  for (const auto& [topic, count] : topicLines_)
    if (count > kMaxTopicLines)
      lines_.push_back({Kind::kNote, topic,
                        std::to_string(count - kMaxTopicLines) + " more lines of this topic left out"});
}

// The launcher marks its own full path in the Program Compatibility
// Assistant when it holds "setup" or "install", exactly in that case.
void TSetupVerifier::NoteMark(const std::string& runName) {
  const std::u16string path = rtl::ToWide(runName);
  const std::u16string name = path.substr(path.find_last_of(os::kFolderPartEnds) + 1);
  for (const char16_t* word : {u"setup", u"install"})
    if (rtl::Pos(word, name) != 0) {
      Add(Kind::kNote, "mark", "the file name holds \"" + rtl::ToAnsi(word) +
                                   "\": Windows will not ask whether the setup ran correctly");
      return;
    }
  Add(Kind::kNote, "mark", "the file name holds neither \"setup\" nor \"install\" (case counts): the "
                           "mark depends on the folder the user saves it in");
}

std::u16string TSetupVerifier::Decode(const std::string& bytes, bool* valid) const {
  std::u16string text;
  const bool decoded = os::CodePageToWide(codePage_.Number(), bytes, text);
  if (!decoded)
    for (unsigned char byte : bytes) text += static_cast<char16_t>(byte);
  if (valid) *valid = decoded;
  return text;
}

std::string TSetupVerifier::Shown(const TFileMixEntry& entry) const {
  return Printable(Decode(EntryName(entry)));
}

const TFileMixEntry* TSetupVerifier::Find(const std::u16string& name, Match match) const {
  const std::int32_t index = FindEntryIndex(static_cast<std::int32_t>(entries_.size()), name, match,
                                            [this](std::int32_t i) { return Decode(EntryName(entries_[static_cast<std::size_t>(i)])); });
  return index < 0 ? nullptr : &entries_[static_cast<std::size_t>(index)];
}

const TFileMixEntry* TSetupVerifier::Unpacked(const std::u16string& name, const std::string& topic,
                                              const std::string& absent) {
  const TFileMixEntry* entry = Find(name, Match::kLast);
  if (!entry) Add(Kind::kFail, topic, absent);
  return entry && Inside(*entry) ? entry : nullptr;
}

bool TSetupVerifier::Inside(const TFileMixEntry& entry) const {
  return std::uint64_t{entry.DataOffset} + entry.DataSize <= pack_.size();
}

std::string TSetupVerifier::Data(const TFileMixEntry& entry) const {
  std::string data(pack_.substr(entry.DataOffset, entry.DataSize));
  ScrambleBytes(&data[0], data.size(), entry.Scramble);
  return data;
}
