#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "platform/dos_attributes.h"

namespace vellomar::platform {
namespace {

constexpr std::size_t kBufferSize = 64 * 1024;

const char* StepName(ReplaceStep step) {
  switch (step) {
    case ReplaceStep::kCreateTemp:
      return "create a temporary file";
    case ReplaceStep::kWrite:
      return "write";
    case ReplaceStep::kSync:
      return "flush to disk";
    case ReplaceStep::kCopyAttributes:
      return "keep the attributes";
    case ReplaceStep::kRename:
      return "replace";
  }
  return "replace";
}

// Whatever the emulation writes is the user's alone: the files hold the password record, the
// registry with the start-up command (which carries the record too) and the boot files, and
// nothing on drive C: is meant for other accounts. A finished file keeps only the owner's bits of
// the mode it takes over, so read-only (the owner's write bit missing) survives a copy or a
// rewrite while a file another program left readable to others is tightened when rewritten.
constexpr mode_t kOwnerBits = 0700;
constexpr mode_t kNewFileMode = 0600;

void SyncFolder(const std::filesystem::path& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;  // best effort: the rename itself has happened
  fsync(fd);
  close(fd);
}

}  // namespace

AtomicFile::AtomicFile(std::filesystem::path target, std::filesystem::path attributes_from,
                       std::shared_ptr<ReplaceFaults> faults)
    : target_(std::move(target)),
      attributes_from_(std::move(attributes_from)),
      faults_(std::move(faults)) {
  MaybeInjectFault(ReplaceStep::kCreateTemp);
  std::string pattern =
      (target_.parent_path() / ("." + target_.filename().string() + ".vellomar-XXXXXX")).string();
  fd_ = mkostemp(pattern.data(), O_CLOEXEC);
  if (fd_ < 0) Fail(ReplaceStep::kCreateTemp, errno);
  temp_ = pattern;
  buffer_.reserve(kBufferSize);
}

AtomicFile::~AtomicFile() {
  if (!finished_) Abandon();
}

void AtomicFile::MaybeInjectFault(ReplaceStep step) {
  if (!faults_) return;
  if (faults_->fail_at == step) {
    faults_->fail_at.reset();
    Fail(step, EIO);
  }
  if (faults_->fails && faults_->fails(step)) Fail(step, EIO);
}

void AtomicFile::Fail(ReplaceStep step, int error_number) {
  Abandon();
  throw ReplaceError(step, error_number,
                     "Could not " + std::string(StepName(step)) + " " + target_.string() + ": " +
                         std::strerror(error_number));
}

void AtomicFile::Abandon() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (!temp_.empty()) unlink(temp_.c_str());
  temp_.clear();
  finished_ = true;
}

void AtomicFile::FlushBuffer() {
  MaybeInjectFault(ReplaceStep::kWrite);
  std::size_t done = 0;
  while (done < buffer_.size()) {
    const ssize_t n = write(fd_, buffer_.data() + done, buffer_.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail(ReplaceStep::kWrite, errno);
    }
    done += static_cast<std::size_t>(n);
  }
  buffer_.clear();
}

void AtomicFile::Write(const char* data, std::size_t size) {
  if (finished_) throw ReplaceError(ReplaceStep::kWrite, EBADF, "file already closed");
  if (buffer_.size() + size > kBufferSize) {
    FlushBuffer();
    if (size > kBufferSize) {
      buffer_.assign(data, size);
      FlushBuffer();
      return;
    }
  }
  buffer_.append(data, size);
}

void AtomicFile::Commit() {
  if (finished_) throw ReplaceError(ReplaceStep::kRename, EBADF, "file already closed");
  FlushBuffer();

  MaybeInjectFault(ReplaceStep::kSync);
  if (fsync(fd_) != 0) Fail(ReplaceStep::kSync, errno);

  MaybeInjectFault(ReplaceStep::kCopyAttributes);
  struct stat from {};
  if (stat(attributes_from_.c_str(), &from) == 0) {
    // The extended attribute first: it cannot be written once the mode is read-only.
    char value[256];
    const ssize_t size = getxattr(attributes_from_.c_str(), kDosAttribXattr, value, sizeof value);
    if (size >= 0 && fsetxattr(fd_, kDosAttribXattr, value, size, 0) != 0 && errno != ENOTSUP) {
      Fail(ReplaceStep::kCopyAttributes, errno);
    }
    if (fchmod(fd_, from.st_mode & kOwnerBits) != 0) Fail(ReplaceStep::kCopyAttributes, errno);
  } else if (fchmod(fd_, kNewFileMode) != 0) {
    Fail(ReplaceStep::kCopyAttributes, errno);
  }

  MaybeInjectFault(ReplaceStep::kRename);
  if (close(fd_) != 0) {
    fd_ = -1;
    Fail(ReplaceStep::kWrite, errno);
  }
  fd_ = -1;
  if (rename(temp_.c_str(), target_.c_str()) != 0) Fail(ReplaceStep::kRename, errno);
  temp_.clear();
  finished_ = true;
  SyncFolder(target_.parent_path());
}

void ReplaceFileContent(const std::filesystem::path& target, const std::string& content,
                        std::shared_ptr<ReplaceFaults> faults) {
  AtomicFile file(target, target, std::move(faults));
  file.Write(content);
  file.Commit();
}

}  // namespace vellomar::platform
