#pragma once
// A small in-memory FileSystem for the record tests: files are byte strings keyed by their
// upper-cased name, folders are names, and every call is logged so that a test can prove what a
// reader did and did not touch. It keeps Windows' error numbers for the cases the record meets.

#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/filesystem.h"
#include "record/password_record.h"

namespace vellomar::testing {

class FakeFiles : public platform::FileSystem {
 public:
  std::map<std::string, std::string> files;  // upper-cased name -> content
  std::set<std::string> folders;             // upper-cased names
  std::vector<std::string> calls;            // every call, in order
  std::vector<std::string> writes;           // the calls that change or could change the disk

  void Put(const std::string& name, const std::string& content) { files[Key(name)] = content; }
  std::string Content(const std::string& name) const { return files.at(Key(name)); }
  bool AnyOpen() const { return !open_.empty(); }

  std::string CurDir() const override { return "C:\\VELLOMAR"; }
  void ChDir(const std::string& path) override { Write("ChDir " + path); }

  void Open(int number, const std::string& path, platform::OpenMode mode) override {
    const bool output = mode == platform::OpenMode::Output;
    Log(std::string(output ? "Open Output " : "Open Input ") + path);
    if (output) writes.push_back(calls.back());
    if (open_.count(number)) throw RuntimeError(errc::kFileAlreadyOpen, "File already open");
    const std::string key = Key(path);
    if (folders.count(key))
      throw RuntimeError(errc::kPathFileAccessError, "Path/File access error");
    if (!output && !files.count(key)) throw RuntimeError(errc::kFileNotFound, "File not found");
    open_[number] = Handle{key, output, 0, ""};
  }

  std::string LineInput(int number) override {
    Log("LineInput");
    Handle& h = Get(number);
    const std::string& data = files.at(h.key);
    if (h.pos >= data.size()) throw RuntimeError(errc::kInputPastEndOfFile, "Input past end");
    const std::size_t stop = data.find_first_of("\r\n", h.pos);
    const std::size_t end = stop == std::string::npos ? data.size() : stop;
    std::string line = data.substr(h.pos, end - h.pos);
    h.pos = end;
    if (h.pos < data.size() && data[h.pos] == '\r') ++h.pos;
    if (h.pos < data.size() && data[h.pos] == '\n') ++h.pos;
    return line;
  }

  void PrintLine(int number, const std::string& text) override {
    Write("PrintLine " + text);
    Get(number).pending += text + "\r\n";
  }

  bool Eof(int number) override {
    Log("Eof");
    Handle& h = Get(number);
    return h.pos >= files.at(h.key).size();
  }

  void Close(int number) override {
    Log("Close");
    auto it = open_.find(number);
    if (it == open_.end()) return;
    if (it->second.output) files[it->second.key] = it->second.pending;
    open_.erase(it);
  }

  void Kill(const std::string& pattern) override { Write("Kill " + pattern); }
  void MkDir(const std::string& path) override { Write("MkDir " + path); }
  void RmDir(const std::string& path) override { Write("RmDir " + path); }
  void FileCopy(const std::string& from, const std::string& to) override {
    Write("FileCopy " + from + " " + to);
  }
  int GetAttr(const std::string& path) override {
    Log("GetAttr " + path);
    return platform::attr::kNormal;
  }
  void SetAttr(const std::string& path, int) override { Write("SetAttr " + path); }
  std::uint32_t GetWindowsDirectoryA(char*, std::uint32_t) override { return 0; }
  std::uint32_t GetShortPathNameA(const char*, char*, std::uint32_t) override { return 0; }

 private:
  struct Handle {
    std::string key;
    bool output;
    std::size_t pos;
    std::string pending;
  };
  std::map<int, Handle> open_;

  static std::string Key(const std::string& name) { return UpperCase(name); }
  void Log(const std::string& call) { calls.push_back(call); }
  void Write(const std::string& call) {
    Log(call);
    writes.push_back(call);
  }
  Handle& Get(int number) {
    auto it = open_.find(number);
    if (it == open_.end())
      throw RuntimeError(errc::kBadFileNameOrNumber, "Bad file name or number");
    return it->second;
  }
};

}  // namespace vellomar::testing
