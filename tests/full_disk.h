// A disk that takes only so many more bytes: while a FullDisk lives, every
// file that platform::NewFile hands out is the system's file with its
// writes (and the growth of its size) counted against the room left. A
// write that finds too little room stores what fits and comes back short
// with result 0, as the system's file reports a full disk. FailWith makes it a failing disk instead: every read
// and write moves no byte and gives that error number.
#pragma once
#include <algorithm>
#include <cstdint>
#include <memory>

#include "forwarding_file.h"
#include "platform/file.h"

namespace test_support {

class FullDisk {
 public:
  explicit FullDisk(std::size_t room)
      : room_(std::make_shared<std::size_t>(room)),
        failure_(std::make_shared<int>(0)),
        guard_([room = room_, failure = failure_] {
          return std::make_unique<RoomFile>(room, failure);
        }) {}

  void SetRoom(std::size_t room) { *room_ = room; }
  std::size_t Room() const { return *room_; }
  void FailWith(int error) { *failure_ = error; }

 private:
  class RoomFile final : public ForwardingFile {
   public:
    RoomFile(std::shared_ptr<std::size_t> room, std::shared_ptr<int> failure)
        : room_(std::move(room)), failure_(std::move(failure)) {}

    int WriteAt(std::int64_t offset, const void* buffer, std::size_t size,
                std::size_t& written) override {
      written = 0;
      if (*failure_) return *failure_;
      std::size_t fits = std::min(size, *room_);
      int result = file_->WriteAt(offset, buffer, fits, written);
      *room_ -= written;
      return result;
    }
    // Growing a file takes room as the system's Windows file does (it
    // allocates the new bytes); too little room refuses it, the file kept.
    int Truncate(std::int64_t size) override {
      if (*failure_) return *failure_;
      std::int64_t now = 0;
      if (int error = file_->Size(now)) return error;
      auto growth = static_cast<std::size_t>(std::max<std::int64_t>(size - now, 0));
      if (growth > *room_) return platform::error::kDiskFull;
      *room_ -= growth;
      return file_->Truncate(size);
    }
    int ReadAt(std::int64_t offset, void* buffer, std::size_t size, std::size_t& got) override {
      got = 0;
      if (*failure_) return *failure_;
      return file_->ReadAt(offset, buffer, size, got);
    }

   private:
    std::shared_ptr<std::size_t> room_;
    std::shared_ptr<int> failure_;
  };

  std::shared_ptr<std::size_t> room_;
  std::shared_ptr<int> failure_;
  platform::FileMakerGuard guard_;
};

}  // namespace test_support
