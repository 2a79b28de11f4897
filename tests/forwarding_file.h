// A file that hands every call on to the system's file: the base of the
// test files that change a few calls (a full disk, a watched journal).
#pragma once
#include <cstdint>
#include <memory>

#include "platform/file.h"

namespace test_support {

class ForwardingFile : public platform::File {
 public:
  int Open(std::string_view path, int flags) override { return file_->Open(path, flags); }
  int Create(std::string_view path, int flags) override { return file_->Create(path, flags); }
  bool IsOpen() const override { return file_->IsOpen(); }
  const std::string& Path() const override { return file_->Path(); }
  int ReadAt(std::int64_t offset, void* buffer, std::size_t size, std::size_t& got) override {
    return file_->ReadAt(offset, buffer, size, got);
  }
  int WriteAt(std::int64_t offset, const void* buffer, std::size_t size,
              std::size_t& written) override {
    return file_->WriteAt(offset, buffer, size, written);
  }
  int Size(std::int64_t& size) override { return file_->Size(size); }
  int Truncate(std::int64_t size) override { return file_->Truncate(size); }
  int Flush() override { return file_->Flush(); }
  int Lock(std::int64_t offset, std::int64_t length) override { return file_->Lock(offset, length); }
  int Unlock(std::int64_t offset, std::int64_t length) override {
    return file_->Unlock(offset, length);
  }
  int GetWriteTime(std::uint64_t& time) override { return file_->GetWriteTime(time); }
  int SetWriteTime(std::uint64_t time) override { return file_->SetWriteTime(time); }
  int Close() override { return file_->Close(); }

 protected:
  std::unique_ptr<platform::File> file_ = platform::NewSystemFile();
};

}  // namespace test_support
