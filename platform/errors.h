#pragma once
// Run-time errors as the forms' error handlers receive them: a numbered code and a message a
// user could act on. The codes are the classic BASIC run-time error numbers.

#include <stdexcept>
#include <string>

namespace vellomar {

namespace errc {
constexpr int kInvalidProcedureCall = 5;
constexpr int kSubscriptOutOfRange = 9;
constexpr int kBadFileNameOrNumber = 52;
constexpr int kFileNotFound = 53;
constexpr int kBadFileMode = 54;
constexpr int kFileAlreadyOpen = 55;
constexpr int kDeviceIoError = 57;
constexpr int kFileAlreadyExists = 58;
constexpr int kDiskFull = 61;
constexpr int kInputPastEndOfFile = 62;
constexpr int kBadFileName = 64;
constexpr int kPermissionDenied = 70;
constexpr int kPathFileAccessError = 75;
constexpr int kPathNotFound = 76;
// Not a classic number: the keyboard lock could not be engaged (another client holds a grab).
constexpr int kKeyboardLockUnavailable = 1001;
}  // namespace errc

class RuntimeError : public std::runtime_error {
 public:
  RuntimeError(int code, const std::string& message) : std::runtime_error(message), code_(code) {}
  int code() const { return code_; }

 private:
  int code_;
};

}  // namespace vellomar
