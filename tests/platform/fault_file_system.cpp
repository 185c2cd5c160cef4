#include "tests/platform/fault_file_system.h"

#include <algorithm>

namespace {

class FaultFile final : public File {
 public:
  FaultFile(FaultFileSystem& files, std::unique_ptr<File> inner)
      : files_(files), inner_(std::move(inner)) {}

  File& Inner() { return *inner_; }
  std::unique_ptr<File> ReleaseInner() { return std::move(inner_); }

  const std::string& Path() const override { return inner_->Path(); }

  FileStatus Read(void* buffer, std::size_t size, std::size_t& done) override {
    done = 0;
    if (auto cause = Due(FileCall::kRead)) return FileError{*cause, Path()};
    return inner_->Read(buffer, size, done);
  }

  FileStatus Write(const void* data, std::size_t size) override {
    std::size_t stored = size;
    if (auto cause = files_.Due(FileCall::kWrite, size, stored)) {
      if (stored > 0) {
        if (auto error = inner_->Write(data, stored)) return error;
      }
      return FileError{*cause, Path()};
    }
    return inner_->Write(data, size);
  }

  FileStatus Seek(std::uint64_t offset) override {
    if (auto cause = Due(FileCall::kSeek)) return FileError{*cause, Path()};
    return inner_->Seek(offset);
  }

  FileStatus Length(std::uint64_t& length) override {
    if (auto cause = Due(FileCall::kLength)) return FileError{*cause, Path()};
    return inner_->Length(length);
  }

  FileStatus Flush() override {
    if (auto cause = Due(FileCall::kFlush)) return FileError{*cause, Path()};
    return inner_->Flush();
  }

  std::optional<FileId> Id() const override { return inner_->Id(); }
  std::optional<std::uint32_t> Permissions() const override { return inner_->Permissions(); }
  void Close() override {
    if (inner_) inner_->Close();
  }

 private:
  std::optional<int> Due(FileCall call) {
    std::size_t stored = 0;
    return files_.Due(call, 0, stored);
  }

  FaultFileSystem& files_;
  std::unique_ptr<File> inner_;
};

}  // namespace

FaultFileSystem::FaultFileSystem(FileSystem& inner) : inner_(inner) {}

void FaultFileSystem::FailOn(FileCall call, int nth, int cause, bool sticky) {
  planned_.push_back(Planned{call, calls_[call] + nth, cause, std::nullopt, sticky});
}

void FaultFileSystem::ShortWriteOn(int nth, std::size_t stored) {
  planned_.push_back(Planned{FileCall::kWrite, calls_[FileCall::kWrite] + nth, 13, stored, false});
}

void FaultFileSystem::SetFreeSpace(std::uint64_t bytes) { free_space_ = bytes; }

void FaultFileSystem::ClearFaults() {
  planned_.clear();
  free_space_.reset();
}

int FaultFileSystem::Calls(FileCall call) const {
  const auto it = calls_.find(call);
  return it == calls_.end() ? 0 : it->second;
}

std::optional<int> FaultFileSystem::Due(FileCall call, std::size_t size, std::size_t& stored) {
  const int count = ++calls_[call];
  stored = size;
  for (auto it = planned_.begin(); it != planned_.end(); ++it) {
    if (it->call != call || (it->sticky ? count < it->at : count != it->at)) continue;
    const int cause = it->cause;
    stored = it->stored ? std::min(*it->stored, size) : 0;
    if (!it->sticky) planned_.erase(it);
    return cause;
  }
  if (call == FileCall::kWrite && free_space_) {
    if (size > *free_space_) {
      stored = static_cast<std::size_t>(*free_space_);
      *free_space_ = 0;
      return 13;
    }
    *free_space_ -= size;
  }
  return std::nullopt;
}

std::unique_ptr<File> FaultFileSystem::Open(const std::string& path, OpenMode mode, HoldMode hold,
                                            FileError& error) {
  std::size_t stored = 0;
  if (auto cause = Due(FileCall::kOpen, 0, stored)) {
    error = FileError{*cause, path};
    return nullptr;
  }
  std::unique_ptr<File> file = inner_.Open(path, mode, hold, error);
  if (!file) return nullptr;
  return std::make_unique<FaultFile>(*this, std::move(file));
}

std::unique_ptr<File> FaultFileSystem::CreateReplacementFor(const std::string& path,
                                                            std::uint32_t new_file_mode,
                                                            FileError& error) {
  std::size_t stored = 0;
  if (auto cause = Due(FileCall::kCreateReplacement, 0, stored)) {
    error = FileError{*cause, path};
    return nullptr;
  }
  std::unique_ptr<File> file = inner_.CreateReplacementFor(path, new_file_mode, error);
  if (!file) return nullptr;
  return std::make_unique<FaultFile>(*this, std::move(file));
}

FileStatus FaultFileSystem::ReplaceWith(File& replacement, const std::string& path) {
  std::size_t stored = 0;
  if (auto cause = Due(FileCall::kReplace, 0, stored)) return FileError{*cause, AbsolutePath(path)};
  auto* wrapped = dynamic_cast<FaultFile*>(&replacement);
  return inner_.ReplaceWith(wrapped ? wrapped->Inner() : replacement, path);
}

void FaultFileSystem::Discard(std::unique_ptr<File> replacement) {
  if (auto* wrapped = dynamic_cast<FaultFile*>(replacement.get())) {
    inner_.Discard(wrapped->ReleaseInner());
    return;
  }
  inner_.Discard(std::move(replacement));
}

std::optional<FileId> FaultFileSystem::IdOf(const std::string& path) { return inner_.IdOf(path); }
