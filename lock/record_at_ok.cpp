#include "lock/record_at_ok.h"

#include <exception>
#include <string>

namespace vellomar {
namespace {

struct ReadBack {
  std::string line;  // as read, for the application
  PasswordRecord record;
};

// The record read again, or nothing once its trouble has been shown (ReadRecordAtOk).
std::optional<ReadBack> ReadAgain(ui::Application& app, const PasswordRecord& at_load) {
  try {
    ReadBack read;
    read.line = ReadPasswordRecord(app.files(), app.Command());
    read.record = ParsePasswordRecord(read.line);
    if (!IsNoPasswordPlaceholder(read.record.encoded) || IsNoPasswordPlaceholder(at_load.encoded)) {
      return read;
    }
    app.MsgBox(kMsgRecordCorrupted, "Error");
  } catch (const RecordCorrupted&) {
    app.files().Close(kPasswordFileNumber);
    app.MsgBox(kMsgRecordCorrupted, "Error");
  } catch (const std::exception&) {
    app.files().Close(kPasswordFileNumber);
    app.MsgBox(kMsgRecordMissing, "Error");
  }
  return std::nullopt;
}

// `line` taken apart when it is a record; nothing otherwise.
std::optional<PasswordRecord> Parsed(const std::string& line) {
  try {
    return ParsePasswordRecord(line);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace

PasswordRecord ReadRecordAtLoad(ui::Application& app, const std::function<void()>& before_message) {
  // A restart handed a record that does not read (nothing the runtime sends) starts as usual.
  const std::optional<std::string>& handed = app.ResumedRecord();
  const std::optional<PasswordRecord> started = handed ? Parsed(*handed) : std::nullopt;

  if (!started) {
    std::string line;
    PasswordRecord record;
    try {
      line = ReadPasswordRecord(app.files(), app.Command());
      record = ParsePasswordRecord(line);
    } catch (const RecordCorrupted&) {
      app.files().Close(kPasswordFileNumber);
      before_message();
      app.MsgBox(kMsgRecordCorrupted, "Error");
      app.ReleaseAndEnd(1);
    }
    app.RecordReadAtLoad(line);
    return record;
  }

  if (const std::optional<std::string>& taken = app.RecordAtLoad()) {
    if (std::optional<PasswordRecord> record = Parsed(*taken)) return *record;
  }
  if (std::optional<ReadBack> fresh = ReadAgain(app, *started)) {
    app.RecordReadAtLoad(fresh->line);
    return fresh->record;
  }
  app.RecordReadAtLoad(*handed);
  return *started;
}

std::optional<PasswordRecord> ReadRecordAtOk(ui::Application& app, const PasswordRecord& at_load) {
  std::optional<ReadBack> fresh = ReadAgain(app, at_load);
  if (!fresh) return std::nullopt;
  return fresh->record;
}

}  // namespace vellomar
