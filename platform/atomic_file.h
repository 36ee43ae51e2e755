#pragma once
// Whole-file replacement that never leaves a file empty or half written: the new content goes to
// a sibling temporary file, which is flushed, synced, given the attributes the file should keep
// and then renamed over the target. Until Commit() succeeds the target is untouched; a failure at
// any step removes the temporary file and leaves the old content whole.

#include <cerrno>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

namespace vellomar::platform {

// The steps of a replacement, in the order they run.
enum class ReplaceStep { kCreateTemp, kWrite, kSync, kCopyAttributes, kRename };

// Test hooks, shared by every writer of one machine: when `fail_at` is set, the next replacement
// fails at that step with EIO and the hook clears itself; `fails`, when set, is asked before
// every step of every replacement, and a step it answers true for fails with EIO.
struct ReplaceFaults {
  std::optional<ReplaceStep> fail_at;
  std::function<bool(ReplaceStep)> fails;
};

// A failed system call inside a replacement, with the errno that explains it.
class ReplaceError : public std::runtime_error {
 public:
  ReplaceError(ReplaceStep step, int error_number, const std::string& what)
      : std::runtime_error(what), step_(step), errno_(error_number) {}
  ReplaceStep step() const { return step_; }
  int error_number() const { return errno_; }

 private:
  ReplaceStep step_;
  int errno_;
};

class AtomicFile {
 public:
  // Creates the temporary file beside `target` (readable by its owner only from the start). The
  // finished file takes its DOS attributes and the owner's mode bits (group and others get
  // nothing) from `attributes_from` when that file exists (the target itself when rewriting, the
  // source when copying); otherwise it is the owner's alone: 0600, whatever the umask.
  // Throws ReplaceError.
  AtomicFile(std::filesystem::path target, std::filesystem::path attributes_from,
             std::shared_ptr<ReplaceFaults> faults = nullptr);
  // An unfinished replacement is abandoned: the temporary file goes, the target stays.
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Buffers `size` bytes; writes through when the buffer is full. Throws ReplaceError.
  void Write(const char* data, std::size_t size);
  void Write(const std::string& text) { Write(text.data(), text.size()); }
  // Flush, fsync, copy attributes, rename over the target, sync the folder. Throws ReplaceError
  // after removing the temporary file.
  void Commit();
  // Drops the temporary file; the target stays as it was.
  void Abandon();

  const std::filesystem::path& target() const { return target_; }

 private:
  void Fail(ReplaceStep step, int error_number);  // cleans up and throws
  void MaybeInjectFault(ReplaceStep step);
  void FlushBuffer();

  std::filesystem::path target_;
  std::filesystem::path attributes_from_;
  std::filesystem::path temp_;
  std::shared_ptr<ReplaceFaults> faults_;
  std::string buffer_;
  int fd_ = -1;
  bool finished_ = false;
};

// Atomically replaces `target` with `content`, keeping the target's attributes.
void ReplaceFileContent(const std::filesystem::path& target, const std::string& content,
                        std::shared_ptr<ReplaceFaults> faults = nullptr);

}  // namespace vellomar::platform
