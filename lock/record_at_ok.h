#pragma once
// The password record as the lock forms read it: at load (PassMain and Kestrom alike), and again
// when OK is pressed, so that a record changed since the form loaded is the one checked. While
// the keyboard is locked, a record that can no longer be read is reported over the lock and the
// lock stays up, checking the record it started with: damaging the file, even together with a
// kill of the program, gets nobody in, and the user who knows the password still gets out.

#include <functional>
#include <optional>

#include "record/password_record.h"
#include "ui/application.h"

namespace vellomar {

// Reads and takes apart the record at a form's load, and tells the application which record the
// lock runs on (Application::RecordReadAtLoad).
//
// An ordinary start does what every load does: a missing marker closes file number 1, runs
// `before_message` (the prompt refreshes its countdown; the lock screen hides, so that its
// top-most window does not cover the message), shows the first corruption message and ends,
// releasing the keyboard lock. Any other failure to read (no file, an empty one, the markers
// reversed) is thrown for the form's own handler, which shows the second message and ends.
//
// A run restarted after a crash, handed the record read when the lock started
// (Application::ResumedRecord), reads the file as OK does (ReadRecordAtOk): when it can no longer
// be read, OK's message shows over the lock, nothing ends and the handed-over record is taken, so
// that neither the desktop nor the first-time wizard opens. The file is checked once a run: a
// second load (the lock screen's, then the prompt's) takes what the first one took.
PasswordRecord ReadRecordAtLoad(ui::Application& app, const std::function<void()>& before_message);

// Reads and takes apart the record as the form's load did. When it can no longer be read (the
// file gone, emptied, damaged, its markers lost, or the no-password placeholder in it where
// `at_load`, the record the form loaded with, held a password: nothing the system does writes the
// placeholder), shows the message the load would have shown and returns nothing; file number 1 is
// closed either way. The caller decides what follows: while the keyboard is locked, `at_load` is
// checked instead.
std::optional<PasswordRecord> ReadRecordAtOk(ui::Application& app, const PasswordRecord& at_load);

}  // namespace vellomar
