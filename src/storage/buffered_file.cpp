#include "storage/buffered_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "storage/file_errors.h"

namespace vantrel {

TBufferedFile::~TBufferedFile() {
  if (!IsOpen())
    return;
  try {
    FlushBuffer();
  } catch (...) {
    // This is the clean-up path, often while another exception unwinds; a
    // caller that needs the outcome has called Close and seen the error.
  }
}

void TBufferedFile::OpenRead(const std::string& fileName) {
  Open(fileName, O_RDONLY, "Open for reading");
}

void TBufferedFile::Create(const std::string& fileName) {
  Open(fileName, O_WRONLY | O_CREAT | O_TRUNC, "Create");
}

void TBufferedFile::OpenAppend(const std::string& fileName) {
  Open(fileName, O_WRONLY | O_CREAT, "Open for appending");
  Position_ = FileSize_;
}

void TBufferedFile::Open(const std::string& fileName, int flags, const char* operation) {
  if (IsOpen())
    throw std::logic_error("TBufferedFile: " + FileName_ + " is open already");
  ResetState();
  FileName_ = fileName;
  TUniqueFd fd = Ops_->Open(fileName.c_str(), flags, kNewFileMode);
  if (!fd)
    throw EInOutError(fileName, errno, operation);
  struct stat info {};
  if (Ops_->FStat(fd.Get(), info) != 0)
    throw EInOutError(fileName, errno, operation);
  if (Capacity_ < kBufferSize) {
    Buffer_ = std::make_unique_for_overwrite<unsigned char[]>(kBufferSize);
    Capacity_ = kBufferSize;
  }
  Fd_ = std::move(fd);
  FileSize_ = static_cast<std::uint64_t>(info.st_size);
}

void TBufferedFile::ResetState() {
  BufferStart_ = 0;
  Length_ = 0;
  Dirty_ = false;
  Position_ = 0;
  FileSize_ = 0;
}

void TBufferedFile::RequireOpen(const char* operation) const {
  if (!IsOpen())
    throw EInOutError(FileName_, EBADF, operation);
}

std::uint64_t TBufferedFile::Size() const {
  return Dirty_ ? std::max(FileSize_, BufferStart_ + Length_) : FileSize_;
}

bool TBufferedFile::Eof() const {
  return !IsOpen() || Position_ >= Size();
}

void TBufferedFile::Read(void* data, std::size_t count) {
  RequireOpen("Read");
  if (Dirty_)
    FlushBuffer();
  auto* out = static_cast<unsigned char*>(data);
  std::uint64_t position = Position_;  // Position_ moves only on success
  while (count > 0) {
    if (position >= BufferStart_ && position < BufferStart_ + Length_) {
      const auto offset = static_cast<std::size_t>(position - BufferStart_);
      const std::size_t take = std::min(count, Length_ - offset);
      std::memcpy(out, Buffer_.get() + offset, take);
      out += take;
      count -= take;
      position += take;
      continue;
    }
    std::size_t got;
    if (count >= Capacity_) {
      // Large reads go straight to the caller's memory.
      got = ReadSome(out, count, position);
      out += got;
      count -= got;
      position += got;
    } else {
      Length_ = 0;
      BufferStart_ = position;
      got = ReadSome(Buffer_.get(), Capacity_, position);
      Length_ = got;
    }
    if (got == 0)
      throw EInOutError::ReadPastEnd(FileName_);
  }
  Position_ = position;
}

std::size_t TBufferedFile::ReadSome(void* data, std::size_t count, std::uint64_t offset) {
  const ssize_t got = Ops_->PRead(Fd_.Get(), data, count, offset);
  if (got < 0)
    throw EInOutError(FileName_, errno, "Read");
  return static_cast<std::size_t>(got);
}

void TBufferedFile::Write(const void* data, std::size_t count) {
  RequireOpen("Write");
  if (count == 0)
    return;
  const auto* in = static_cast<const unsigned char*>(data);
  if (!Dirty_) {
    Length_ = 0;  // read-ahead would go stale under this write
  } else if (BufferStart_ + Length_ != Position_) {
    FlushBuffer();  // pending bytes elsewhere in the file (Seek flushes, so rare)
  }
  if (Length_ == 0)
    BufferStart_ = Position_;

  if (Length_ + count > Capacity_) {
    FlushBuffer();  // throws before anything of this call is taken
    BufferStart_ = Position_;
    if (count >= Capacity_) {
      std::size_t written = 0;
      try {
        WriteAll(in, count, Position_, written);
      } catch (...) {
        if (written == 0)
          throw;
        // Some of this call is on disk already: keep the rest so that Flush
        // completes it, instead of leaving the caller to guess what to resend.
        const std::size_t rest = count - written;
        EnsureCapacity(rest);
        std::memcpy(Buffer_.get(), in + written, rest);
        BufferStart_ = Position_ + written;
        Length_ = rest;
        Dirty_ = true;
        Position_ += count;
        throw;
      }
      Position_ += count;
      return;
    }
  }
  std::memcpy(Buffer_.get() + Length_, in, count);
  Length_ += count;
  Dirty_ = true;
  Position_ += count;
}

void TBufferedFile::WriteAll(const unsigned char* data, std::size_t count, std::uint64_t offset,
                             std::size_t& written) {
  written = 0;
  while (written < count) {
    const ssize_t done = Ops_->PWrite(Fd_.Get(), data + written, count - written, offset + written);
    if (done < 0)
      throw EInOutError(FileName_, errno, "Write");
    if (done == 0)
      throw EInOutError(FileName_, EIO, "Write");  // would loop forever
    written += static_cast<std::size_t>(done);
    FileSize_ = std::max(FileSize_, offset + written);
  }
}

void TBufferedFile::FlushBuffer() {
  if (!Dirty_)
    return;
  std::size_t written = 0;
  try {
    WriteAll(Buffer_.get(), Length_, BufferStart_, written);
  } catch (...) {
    // Keep exactly the bytes that did not reach the file, at their offset.
    std::memmove(Buffer_.get(), Buffer_.get() + written, Length_ - written);
    BufferStart_ += written;
    Length_ -= written;
    throw;
  }
  Length_ = 0;
  Dirty_ = false;
}

void TBufferedFile::EnsureCapacity(std::size_t capacity) {
  if (capacity <= Capacity_)
    return;
  auto bigger = std::make_unique_for_overwrite<unsigned char[]>(capacity);
  std::memcpy(bigger.get(), Buffer_.get(), Length_);
  Buffer_ = std::move(bigger);
  Capacity_ = capacity;
}

void TBufferedFile::Seek(std::uint64_t position) {
  RequireOpen("Seek");
  if (position == Position_)
    return;
  FlushBuffer();
  Position_ = position;
}

void TBufferedFile::Flush() {
  RequireOpen("Flush");
  FlushBuffer();
}

void TBufferedFile::Truncate(std::uint64_t size) {
  RequireOpen("Truncate");
  FlushBuffer();
  if (Ops_->FTruncate(Fd_.Get(), size) != 0)
    throw EInOutError(FileName_, errno, "Truncate");
  Length_ = 0;
  FileSize_ = size;
  Position_ = std::min(Position_, size);
}

void TBufferedFile::Close() {
  if (!IsOpen())
    return;
  FlushBuffer();
  ResetState();
  // Linux releases the descriptor even when close fails, so it is never
  // retried; EINTR means only that the wait for a final write was cut short.
  if (Ops_->Close(Fd_) != 0 && errno != EINTR)
    throw EInOutError(FileName_, errno, "Close");
}

void TBufferedFile::Abandon() noexcept {
  Fd_.Reset();
  ResetState();
}

}  // namespace vantrel
