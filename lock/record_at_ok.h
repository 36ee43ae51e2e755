#pragma once
// The password record read again when a lock form's OK is pressed, so that a record changed since
// the form loaded is the one checked.

#include <optional>

#include "startup/password_record.h"
#include "ui/application.h"

namespace vellomar {

// Reads and takes apart the record as the form's load did. When it can no longer be read (the
// file gone, emptied, damaged, or its markers lost), shows the message the load would have shown
// and returns nothing; file number 1 is closed either way. The caller decides what follows: while
// the keyboard is locked, the record read at load is checked instead, so that damaging the file
// never opens the desktop and the user who knows the password still gets in.
std::optional<PasswordRecord> ReadRecordAtOk(ui::Application& app);

}  // namespace vellomar
