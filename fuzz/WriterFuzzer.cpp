// MIDIFileWriter's operations in any order with any arguments. Whatever is
// asked, a writer that finishes without an error has written a valid
// format-0 file with one track, and its track length matches: checked by a
// strict reader written here from the file format, not from the writer.
//
// The writer is told the track length first, as WriteMIDI tells it. The
// length is counted here, by the same operations on a count of bytes made
// from the file format; a second writer is told a wrong one, and must then
// fail with nothing past it reaching the sink.

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "ExpectedMIDIFile.h"
#include "MIDIFileWriter.h"
#include "TestSinks.h"

namespace {

using quorbel::MIDIFileWriter;
using quorbel::test::TrackLengthField;
using Bytes = std::vector<uint8_t>;

void Check(bool condition) {
  if (!condition) std::abort();
}

// Reads the operations' arguments from the input, with zeros past its end.
class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool empty() const { return at_ >= size_; }
  uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  uint32_t Word() {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = value << 8 | Byte();
    return value;
  }
  std::string_view Text() {
    const size_t wanted = Byte() * 4u;
    const size_t length = wanted < size_ - at_ ? wanted : size_ - at_;
    const std::string_view text(reinterpret_cast<const char*>(data_ + at_), length);
    at_ += length;
    return text;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

// A variable-length quantity of at most four bytes.
uint32_t ReadVariableLength(const Bytes& file, size_t& at) {
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) {
    Check(at < file.size());
    const uint8_t byte = file[at++];
    value = value << 7 | (byte & 0x7F);
    if ((byte & 0x80) == 0) return value;
  }
  std::abort();  // a fifth byte: no such quantity
}

void CheckValidFile(const Bytes& file, int16_t division) {
  const Bytes header = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1,
                        uint8_t(uint16_t(division) >> 8), uint8_t(division),
                        'M', 'T', 'r', 'k'};
  Check(file.size() >= 22 && Bytes(file.begin(), file.begin() + 18) == header);
  Check(TrackLengthField(file) == file.size() - 22);

  size_t at = 22;
  uint8_t runningStatus = 0;  // 0: none; a meta event cancels it
  for (;;) {
    ReadVariableLength(file, at);
    Check(at < file.size());
    uint8_t status = file[at];
    if (status == 0xFF) {
      Check(at + 1 < file.size());
      const uint8_t type = file[at + 1];
      at += 2;
      const uint32_t dataLength = ReadVariableLength(file, at);
      Check(dataLength <= file.size() - at);
      at += dataLength;
      runningStatus = 0;
      if (type == 0x2F) {
        Check(dataLength == 0 && at == file.size());  // the last event
        return;
      }
      Check(type == 0x02 || type == 0x03 || type == 0x51 || type == 0x58);
      continue;
    }
    if (status & 0x80) {
      Check(status < 0xF0);  // the writer writes no system messages
      ++at;
      runningStatus = status;
    } else {
      Check(runningStatus != 0);  // a data byte needs a status before it
      status = runningStatus;
    }
    const int dataBytes = (status & 0xE0) == 0xC0 ? 1 : 2;  // Cn, Dn: one
    for (int i = 0; i < dataBytes; ++i) {
      Check(at < file.size() && file[at] < 0x80);
      ++at;
    }
  }
}

// The bytes a track comes to, event by event, or that it has no encoding:
// the writer's operations, counted from the file format alone.
class TrackCount {
 public:
  uint64_t length() const { return length_; }
  bool failed() const { return failed_; }

  void Meta(size_t dataLength) {
    if (dataLength > kMaxVarLen) return Fail();
    Add(Delta() + 2 + VarLenSize(uint32_t(dataLength)) + dataLength);
    runningStatus_ = 0;
  }
  void Channel(uint8_t status) {
    if (status < 0x80 || status > 0xEF) return;
    Add(Delta() + (status != runningStatus_) + ((status & 0xE0) == 0xC0 ? 1 : 2));
    runningStatus_ = status;
  }
  void Advance(uint32_t ticks) {
    if (uint64_t{pending_} + ticks > kMaxVarLen) return Fail();
    pending_ += ticks;
  }
  void Notes(uint8_t channel, size_t count, uint32_t ticks) {
    if (count == 0) return;
    if (ticks > kMaxVarLen) return Fail();
    for (size_t i = 0; i < count; ++i) {
      Channel(uint8_t(0x90 | (channel & 0x0F)));
      Advance(ticks);
      Channel(uint8_t(0x80 | (channel & 0x0F)));
    }
  }
  void End() {
    if (!ended_) Meta(0);
    ended_ = true;
  }

 private:
  static constexpr uint32_t kMaxVarLen = 0x0FFFFFFF;
  static uint64_t VarLenSize(uint32_t value) {
    return value < 1u << 7 ? 1 : value < 1u << 14 ? 2 : value < 1u << 21 ? 3 : 4;
  }
  uint64_t Delta() {
    const uint64_t size = VarLenSize(pending_);
    pending_ = 0;
    return size;
  }
  void Add(uint64_t size) {
    if (!failed_ && !ended_) length_ += size;
  }
  // Not after the end: the file went out whole, and Finish says so still.
  void Fail() {
    if (!ended_) failed_ = true;
  }

  uint64_t length_ = 0;
  uint32_t pending_ = 0;
  uint8_t runningStatus_ = 0;
  bool failed_ = false;
  bool ended_ = false;
};

// Runs the input's operations on `writer`, or on `count` when there is no
// writer.
void Run(Input input, MIDIFileWriter* writer, TrackCount& count) {
  while (!input.empty()) {
    const uint8_t operation = input.Byte() % 8;
    switch (operation) {
      case 0:
      case 1: {
        const std::string_view text = input.Text();
        if (writer == nullptr) {
          count.Meta(text.size());
        } else if (operation == 0) {
          writer->WriteTrackName(text);
        } else {
          writer->WriteCopyright(text);
        }
        break;
      }
      case 2: {
        const uint8_t n = input.Byte(), d = input.Byte(), c = input.Byte(), t = input.Byte();
        writer ? writer->WriteTimeSignature(n, d, c, t) : count.Meta(4);
        break;
      }
      case 3: {
        const auto beatsPerMinute = int32_t(input.Word());
        writer ? writer->WriteTempo(beatsPerMinute) : count.Meta(3);
        break;
      }
      case 4: {
        const uint8_t status = input.Byte(), data1 = input.Byte(), data2 = input.Byte();
        writer ? writer->WriteChannelEvent(status, data1, data2) : count.Channel(status);
        break;
      }
      case 5: {
        // Mostly small steps, sometimes anything at all.
        const uint32_t word = input.Word();
        const uint32_t ticks = word & 0x80000000u ? word : word & 0x3FFF;
        writer ? writer->AdvanceTime(ticks) : count.Advance(ticks);
        break;
      }
      case 6: {
        const uint8_t channel = input.Byte();
        const std::string_view notes = input.Text();
        const uint32_t ticks = input.Word() >> input.Byte() % 32;
        const uint8_t on = input.Byte(), off = input.Byte();
        if (writer == nullptr) {
          count.Notes(channel, notes.size(), ticks);
        } else {
          writer->WriteNotes(channel, reinterpret_cast<const uint8_t*>(notes.data()),
                             notes.size(), ticks, on, off);
        }
        break;
      }
      default:  // early: the rest must reach nothing
        writer ? (void)writer->Finish() : count.End();
        break;
    }
  }
  count.End();
}

// Runs the input on a writer told `told`, and checks what it gave.
void WriteAndCheck(const Input& input, int16_t division, const TrackCount& count,
                   uint64_t told) {
  quorbel::test::MemorySink sink;
  MIDIFileWriter writer(sink, division, told);
  TrackCount unused;
  Run(input, &writer, unused);
  const int error = writer.Finish();
  Check(sink.bytes.size() <= 22 || sink.bytes.size() - 22 <= told);
  if (told > MIDIFileWriter::kMaxTrackLength) {
    Check(error == EFBIG && sink.bytes.empty());
  } else if (count.failed()) {
    Check(error == EOVERFLOW || (told != count.length() && error == EIO));
  } else if (told == count.length()) {
    Check(error == 0);
    CheckValidFile(sink.bytes, division);
  } else {
    Check(error == EIO);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input input(data, size);
  const auto division = int16_t(input.Byte() << 8 | input.Byte());
  TrackCount count;
  Run(input, nullptr, count);
  WriteAndCheck(input, division, count, count.length());
  // Wrong by a little, either way, chosen by the input's last byte.
  const auto wrongBy = size > 0 && data[size - 1] != 0 ? int8_t(data[size - 1]) : int8_t{-1};
  WriteAndCheck(input, division, count, count.length() + uint64_t(int64_t{wrongBy}));
  return 0;
}
