#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "OutputSink.h"

namespace quorbel {

// Writes one Standard MIDI File of format 0 with a single track, event by
// event, to an OutputSink.
//
// Construction writes the header chunk and the start of the track; Finish()
// writes the end-of-track event. Time waits in a pending tick count that
// becomes the delta time of the next event.
//
// The caller gives the track length in advance: it goes out with the
// header, the writer never goes back, and any output (a pipe, a socket)
// takes a file of any length. Finish checks that the track came to exactly
// that length and fails with EIO otherwise, and no byte past it ever
// reaches the sink, so a file whose length field lies never leaves whole.
//
// Arguments, one policy: what a MIDI file can still say is made to fit,
// silently; what it cannot say fails the writer. So data bytes are masked
// to 7 bits (a byte above 0x7F would read as a status), a tempo slower than
// 24 bits hold gives the slowest there is, and a status outside the channel
// messages writes nothing (there is no such event to write). A delta time
// or meta text longer than a variable-length quantity holds, or a track
// past 4 GiB, would make a file that says something else: the writer fails
// with EOVERFLOW or EFBIG.
//
// Errors are sticky: the first failure (of the sink, or an argument with no
// encoding) is kept, nothing more reaches the sink, and Finish() reports it.
// Every byte goes through a fixed buffer inside the object, or through a
// larger one the caller lends for a long track, so the writer allocates
// nothing and the sink sees a few large writes.
class MIDIFileWriter {
 public:
  // The largest delta time, and the largest meta event length, that a
  // variable-length quantity of four bytes can hold.
  static constexpr uint32_t kMaxVarLen = 0x0FFFFFFF;
  // The largest track chunk: its length field has 32 bits.
  static constexpr uint64_t kMaxTrackLength = 0xFFFFFFFF;
  static constexpr size_t kBufferSize = 16 * 1024;
  // The header chunk, "MTrk" and the track length field.
  static constexpr uint64_t kBytesBeforeTrack = 14 + 8;

  // Writes the header chunk (format 0, one track, `division` ticks per
  // quarter note), "MTrk" and `trackLength`, the number of bytes the
  // caller's events and the end of track will come to. A length above
  // kMaxTrackLength fails the writer with EFBIG at once.
  // `lentBuffer`, when given, takes the place of the writer's own buffer
  // and must outlive it: the larger it is, the fewer the sink's writes. A
  // buffer of kBytesBeforeTrack + trackLength + kRoomToSpare bytes goes to
  // the sink in one write, at the end: an event asks for room for its
  // longest form before it is put.
  static constexpr size_t kRoomToSpare = 16;
  MIDIFileWriter(OutputSink& sink, int16_t division,
                 uint64_t trackLength,
                 uint8_t* lentBuffer = nullptr, size_t lentBufferSize = 0);
  MIDIFileWriter(const MIDIFileWriter&) = delete;
  MIDIFileWriter& operator=(const MIDIFileWriter&) = delete;

  // Sequence/track name meta event (FF 03).
  void WriteTrackName(std::string_view text) { WriteTextEvent(0x03, text); }
  // Copyright notice meta event (FF 02).
  void WriteCopyright(std::string_view text) { WriteTextEvent(0x02, text); }
  // Time signature meta event (FF 58 04): numerator, the denominator as a
  // power of 2, MIDI clocks per metronome click, 32nd notes per quarter.
  void WriteTimeSignature(uint8_t numerator, uint8_t denominatorPower,
                          uint8_t clocksPerClick,
                          uint8_t thirtySecondsPerQuarter);
  // Set tempo meta event (FF 51 03): 60000000 / beatsPerMinute microseconds
  // per quarter note. Fewer than 4 beats per minute, which would need more
  // than 24 bits, gives the slowest tempo the event holds, 0xFFFFFF.
  void WriteTempo(int32_t beatsPerMinute);

  // A channel message (status 0x80-0xEF). A status that repeats the last
  // one written is left out (running status). Data bytes are masked to 7
  // bits, so no argument can produce a byte that a reader takes for a
  // status. Program change and channel pressure (0xC0-0xDF) carry one data
  // byte, and data2 is not written for them. Any other status writes
  // nothing and leaves the pending ticks as they were.
  inline void WriteChannelEvent(uint8_t status, uint8_t data1, uint8_t data2);

  // Adds `ticks` to the delta time of the next event. A total above
  // kMaxVarLen has no encoding and fails the writer with EOVERFLOW.
  inline void AdvanceTime(uint32_t ticks);

  // For each of `count` note numbers: a note on with `onVelocity`, `ticks`
  // of time, and a note off with `offVelocity`, on `channel` (0-15). The
  // bytes are those of WriteChannelEvent, AdvanceTime, WriteChannelEvent
  // for each note; this is the fast way to write many notes of one length.
  // The numbers come as bytes, or as 16-bit units (char16_t, or wchar_t
  // where it is 16 bits), so that text all in ASCII is read where it lies
  // with no conversion; either way a number is its unit's low seven bits.
  template <typename Unit>
  void WriteNotes(uint8_t channel, const Unit* notes, size_t count,
                  uint32_t ticks, uint8_t onVelocity, uint8_t offVelocity);

  // Writes the end-of-track event, checks the track against its length and
  // hands the last bytes to the sink. Returns 0, or the first error. Once finished,
  // the writer sends nothing more to the sink, and Finish returns the same.
  [[nodiscard]] int Finish();

  // The first error, or 0.
  [[nodiscard]] int error() const { return error_; }

 private:
  static constexpr size_t kMaxChannelEventSize = 4 + 1 + 2;

  inline uint8_t* Reserve(size_t size);
  static inline uint8_t* PutVarLen(uint8_t* out, uint32_t value);
  inline uint8_t* PutDeltaTime(uint8_t* out);
  void WriteTextEvent(uint8_t type, std::string_view text);
  void WriteBytes(const uint8_t* bytes, size_t size);
  void EndMetaEvent(uint8_t* out);
  void EndTrack();
  void Flush();
  void Fail(int error);

  OutputSink& sink_;
  uint32_t pendingTicks_ = 0;
  uint8_t runningStatus_ = kNoStatus;
  int error_ = 0;
  bool finished_ = false;
  uint64_t trackLengthPos_ = 0;
  uint64_t trackLength_;
  uint64_t flushedBytes_ = 0;  // bytes already handed to the sink
  size_t used_ = 0;            // bytes waiting in buffer_
  uint8_t* buffer_;            // ownBuffer_, or the one lent
  size_t capacity_;
  uint8_t ownBuffer_[kBufferSize];

  static constexpr uint8_t kNoStatus = 0xFF;
};

inline uint8_t* MIDIFileWriter::Reserve(size_t size) {
  if (capacity_ - used_ < size) Flush();
  return buffer_ + used_;
}

inline uint8_t* MIDIFileWriter::PutVarLen(uint8_t* out, uint32_t value) {
  if (value < 0x80) {
    *out++ = static_cast<uint8_t>(value);
    return out;
  }
  // Seven bits a byte, highest group first; bit 7 marks every byte but the
  // last. value <= kMaxVarLen, so there are at most four groups.
  int shift = 21;
  while ((value >> shift) == 0) shift -= 7;
  for (; shift > 0; shift -= 7) {
    *out++ = static_cast<uint8_t>(0x80 | ((value >> shift) & 0x7F));
  }
  *out++ = static_cast<uint8_t>(value & 0x7F);
  return out;
}

inline uint8_t* MIDIFileWriter::PutDeltaTime(uint8_t* out) {
  out = PutVarLen(out, pendingTicks_);
  pendingTicks_ = 0;
  return out;
}

inline void MIDIFileWriter::WriteChannelEvent(uint8_t status, uint8_t data1,
                                              uint8_t data2) {
  if (status < 0x80 || status > 0xEF) return;
  uint8_t* out = PutDeltaTime(Reserve(kMaxChannelEventSize));
  if (status != runningStatus_) {
    *out++ = status;
    runningStatus_ = status;
  }
  *out++ = data1 & 0x7F;
  const bool oneDataByte = status >= 0xC0 && status <= 0xDF;
  if (!oneDataByte) *out++ = data2 & 0x7F;
  used_ = static_cast<size_t>(out - buffer_);
}

inline void MIDIFileWriter::AdvanceTime(uint32_t ticks) {
  const uint64_t total = uint64_t{pendingTicks_} + ticks;
  if (total > kMaxVarLen) {
    Fail(EOVERFLOW);
    return;
  }
  pendingTicks_ = static_cast<uint32_t>(total);
}

}  // namespace quorbel
