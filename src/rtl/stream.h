// Byte streams: the abstract TStream and the in-memory TMemoryStream.
#ifndef KAVO_RTL_STREAM_H_
#define KAVO_RTL_STREAM_H_

#include <cstdint>
#include <utility>
#include <vector>

#include "rtl/exceptions.h"

namespace kavo {

enum TSeekOrigin { soFromBeginning, soFromCurrent, soFromEnd };

KAVO_EXCEPTION_CLASS(EStreamError, Exception);
KAVO_EXCEPTION_CLASS(EWriteError, EStreamError);

class TStream {
 public:
  virtual ~TStream() = default;

  // Transfer up to `count` bytes at the position and move past them; answer
  // how many were transferred.
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  // Answers the new position. Any position may be set; before the start (or
  // past the end, for a read) nothing is transferred.
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;

  // Base: found by seeking to the end and back.
  virtual int64_t Size();
  virtual void SetSize(int64_t size) = 0;
  int64_t Position() { return Seek(0, soFromCurrent); }
  void SetPosition(int64_t position) { Seek(position, soFromBeginning); }

  // All `count` bytes or EReadError "Stream read error" / EWriteError
  // "Stream write error".
  void ReadBuffer(void* buffer, int64_t count);
  void WriteBuffer(const void* buffer, int64_t count);
  // Copies `count` bytes from the source's position; 0 copies the whole
  // source from its start. Answers the bytes copied.
  int64_t CopyFrom(TStream& source, int64_t count);
};

class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  // Starts with these contents, at position 0.
  explicit TMemoryStream(std::vector<uint8_t> bytes) : data_(std::move(bytes)) {}

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(data_.size()); }
  void SetSize(int64_t size) override;
  void Clear();

  const uint8_t* Memory() const { return data_.data(); }
  // The contents, for a holder that keeps them elsewhere.
  const std::vector<uint8_t>& Bytes() const { return data_; }
  std::vector<uint8_t> TakeBytes();

 private:
  // std::vector grows geometrically: appending piecewise stays linear.
  std::vector<uint8_t> data_;
  int64_t position_ = 0;
};

}  // namespace kavo

#endif  // KAVO_RTL_STREAM_H_
