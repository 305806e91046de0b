// MIDIFileWriter's operations in any order with any arguments. Whatever is
// asked, a writer that finishes without an error has written a valid
// format-0 file with one track, and its track length matches: checked by a
// strict reader written here from the file format, not from the writer.

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input input(data, size);
  const auto division = int16_t(input.Byte() << 8 | input.Byte());
  quorbel::test::MemorySink sink;
  MIDIFileWriter writer(sink, division);
  while (!input.empty()) {
    switch (input.Byte() % 8) {
      case 0: writer.WriteTrackName(input.Text()); break;
      case 1: writer.WriteCopyright(input.Text()); break;
      case 2: {
        const uint8_t n = input.Byte(), d = input.Byte(), c = input.Byte(), t = input.Byte();
        writer.WriteTimeSignature(n, d, c, t);
        break;
      }
      case 3: writer.WriteTempo(int32_t(input.Word())); break;
      case 4: {
        const uint8_t status = input.Byte(), data1 = input.Byte(), data2 = input.Byte();
        writer.WriteChannelEvent(status, data1, data2);
        break;
      }
      case 5: {
        // Mostly small steps, sometimes anything at all.
        const uint32_t word = input.Word();
        writer.AdvanceTime(word & 0x80000000u ? word : word & 0x3FFF);
        break;
      }
      case 6: {
        const uint8_t channel = input.Byte();
        const std::string_view notes = input.Text();
        const uint32_t ticks = input.Word() >> input.Byte() % 32;
        const uint8_t on = input.Byte(), off = input.Byte();
        writer.WriteNotes(channel, reinterpret_cast<const uint8_t*>(notes.data()),
                          notes.size(), ticks, on, off);
        break;
      }
      default: (void)writer.Finish(); break;  // early: the rest must reach nothing
    }
  }
  if (writer.Finish() == 0) CheckValidFile(sink.bytes, division);
  return 0;
}
