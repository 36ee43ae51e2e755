#include "tools/console_lock.h"

#include <exception>

#include "platform/secret.h"
#include "record/password_record.h"
#include "ui/guess_pacer.h"

namespace vellomar::tools {

namespace {

constexpr char kSwitch[] = "/STARTPATH:";

// One typed line, shown as stars, into `typed` (whose room is kept for it). False when the
// input is gone.
bool ReadMaskedLine(platform::KeyConsole& console, std::string& typed) {
  platform::WipeSecret(typed);
  char c = 0;
  while (console.ReadKey(c)) {
    if (c == '\r' || c == '\n') {
      console.Write("\r\n");
      return true;
    }
    if (c == 0x7f || c == '\b') {
      if (!typed.empty()) {
        typed.pop_back();
        console.Write("\b \b");
      }
    } else if (c == 0x15) {  // Ctrl+U: start again
      for (; !typed.empty(); typed.pop_back()) console.Write("\b \b");
    } else if (static_cast<unsigned char>(c) >= 0x20 &&
               typed.size() < static_cast<std::size_t>(kMaxPasswordLength)) {
      typed += c;
      console.Write("*");
    }
  }
  return false;
}

}  // namespace

std::string StartPath(int argc, const char* const* argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) line += (i > 1 ? " " : "") + std::string(argv[i]);
  const std::size_t at = UpperCase(line).find(kSwitch);
  if (at == std::string::npos) return "";
  std::string dir = line.substr(at + sizeof kSwitch - 1);
  const std::size_t first = dir.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  dir = dir.substr(first);
  return dir.substr(0, dir.find_last_not_of(' ') + 1);
}

bool ReadStoredPassword(platform::FileSystem& files, const std::string& dir, std::string& encoded,
                        std::string& why) {
  try {
    files.ChDir(dir);
    const PasswordRecord record = ParsePasswordRecord(ReadPasswordRecord(files, ""));
    if (IsNoPasswordPlaceholder(record.encoded)) {
      why = kMsgNoPassword;
      return false;
    }
    encoded = record.encoded;
    return true;
  } catch (const RecordCorrupted& error) {
    why = error.what();
  } catch (const std::exception&) {
    why = kMsgRecordMissing;
  }
  return false;
}

int AskUntilUnlocked(platform::KeyConsole& console, platform::Clock& clock,
                     const std::string& encoded) {
  console.Write(std::string("\r\n") + kMsgLocked + "\r\n");
  ui::GuessPacer pacer;
  std::string typed;
  // Room for the longest password, so the text never moves and one wipe clears every copy.
  typed.reserve(kMaxPasswordLength);
  platform::KeepOutOfSwap(typed);
  while (true) {
    console.Write("Password: ");
    if (!ReadMaskedLine(console, typed)) {
      platform::WipeSecret(typed);
      return kNoTerminal;
    }
    // A blank line is no guess, as in the window forms: it never opens the lock, even when
    // the record holds an empty password.
    if (typed.empty()) {
      console.Write(std::string(kMsgBlank) + "\r\n");
      continue;
    }
    // After a wrong password the next check waits; what is typed meanwhile is kept by the
    // console and checked when the wait is over.
    clock.Sleep(pacer.Remaining(clock.Timer()));
    const bool matches = PasswordMatches(encoded, typed);
    platform::WipeSecret(typed);
    if (matches) return kUnlocked;
    pacer.Failed(clock.Timer());
    console.Write(std::string(kMsgIncorrect) + "\r\n");
  }
}

}  // namespace vellomar::tools
