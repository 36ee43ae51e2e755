#include "lock/record_at_ok.h"

#include <exception>

namespace vellomar {

std::optional<PasswordRecord> ReadRecordAtOk(ui::Application& app) {
  try {
    return ParsePasswordRecord(ReadPasswordRecord(app.files(), app.Command()));
  } catch (const RecordCorrupted&) {
    app.files().Close(kPasswordFileNumber);
    app.MsgBox(kMsgRecordCorrupted, "Error");
  } catch (const std::exception&) {
    app.files().Close(kPasswordFileNumber);
    app.MsgBox(kMsgRecordMissing, "Error");
  }
  return std::nullopt;
}

}  // namespace vellomar
