#include "decoder/file_chain.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "decoder/start_codes.h"

namespace {

// Bytes asked of a file at a time.
constexpr int READ_CHUNK = 32 * 1024;

// The read-ahead store; decoder_state.read_ahead says which bytes are in use.
alignas(64) uint8_t read_ahead_bytes[READ_AHEAD_CAPACITY];

int Ahead_Count() {
  const ReadAhead& a = decoder_state.read_ahead;
  return a.end - a.start;
}

// The current file has ended: the chain goes on with the next path of the
// list, if there is one and it can be opened (input_file stays none else).
void Open_Next_File() {
  DecoderState& d = decoder_state;
  if (d.input_file != nullptr) std::fclose(d.input_file);
  d.input_file = nullptr;
  d.current_file_index += 1;
  const char* path = d.file_list != nullptr ? d.file_list[d.current_file_index] : nullptr;
  if (path != nullptr) d.input_file = Open_Input_File(path);
}

// Reads the next piece of the chain into the read-ahead; false when nothing
// more came. Files that end are passed over, so a stream cut into pieces of
// any size reads like the whole file; with `within_file` the reading stops at
// the end of the current file instead. The chain ends at a read error, at a
// file that cannot be opened, and when the list runs out.
bool Read_Ahead_More(bool within_file) {
  DecoderState& d = decoder_state;
  ReadAhead& a = d.read_ahead;
  if (a.chain_ended) return false;
  if (a.end + READ_CHUNK > READ_AHEAD_CAPACITY) {
    std::memmove(read_ahead_bytes, read_ahead_bytes + a.start,
                 static_cast<size_t>(a.end - a.start));
    a.end -= a.start;
    a.start = 0;
    if (a.end + READ_CHUNK > READ_AHEAD_CAPACITY) return false;  // full
  }
  while (d.input_file != nullptr) {
    const size_t count = std::fread(read_ahead_bytes + a.end, 1, READ_CHUNK, d.input_file);
    a.end += static_cast<int>(count);
    if (count > 0) return true;
    if (std::ferror(d.input_file)) break;
    if (within_file) return false;
    Open_Next_File();
  }
  a.chain_ended = 1;
  return false;
}

// Makes `count` bytes available in the read-ahead, if the chain has them.
bool Ensure_Ahead(int count) {
  while (Ahead_Count() < count) {
    if (!Read_Ahead_More(false)) return false;
  }
  return true;
}

}  // namespace

bool Input_Path_Is_Usable(const char* path) {
  if (std::strcmp(path, "-") == 0) return true;
  struct stat status;
  return ::stat(path, &status) == 0 && (S_ISREG(status.st_mode) || S_ISFIFO(status.st_mode));
}

std::FILE* Open_Input_File(const char* path) {
  if (std::strcmp(path, "-") == 0) {
    // A handle of its own, so that closing it leaves standard input alone.
    const int fd = ::dup(STDIN_FILENO);
    if (fd < 0) return nullptr;
    std::FILE* file = ::fdopen(fd, "rb");
    if (file == nullptr) ::close(fd);
    return file;
  }
  if (!Input_Path_Is_Usable(path)) return nullptr;
  return std::fopen(path, "rb");
}

InputProbe Probe_Input() {
  DecoderState& d = decoder_state;
  ReadAhead& a = d.read_ahead;
  InputProbe probe{-1, 0};
  // Empty files at the head of the list are passed over: the first file with
  // bytes is the one probed.
  while (Ahead_Count() == 0 && !Read_Ahead_More(true)) {
    if (a.chain_ended || d.file_list == nullptr ||
        d.file_list[d.current_file_index + 1] == nullptr) {
      return probe;
    }
    Open_Next_File();
    if (d.input_file == nullptr) return probe;
  }
  probe.first_byte = read_ahead_bytes[a.start];
  for (;;) {
    while (Ahead_Count() < 4 && Read_Ahead_More(true)) {
    }
    const uint8_t* p = read_ahead_bytes + a.start;
    const int count = Ahead_Count();
    for (int i = 0; i + 3 < count; ++i) {
      if (p[i] == 0 && p[i + 1] == 0 && p[i + 2] == 1) {
        a.start += i;
        probe.first_start_code = (START_CODE_PREFIX << 8) | p[i + 3];
        return probe;
      }
    }
    // Keep the last three bytes: they may begin a start code.
    if (count > 3) a.start += count - 3;
    if (!Read_Ahead_More(true)) return probe;
  }
}

std::span<const uint8_t> Peek_Input_Ahead(int count) {
  const ReadAhead& a = decoder_state.read_ahead;
  Ensure_Ahead(std::min(count, SURVEY_BYTES));
  return {read_ahead_bytes + a.start, static_cast<size_t>(std::min(count, Ahead_Count()))};
}

int Chain_Byte(int64_t offset) {
  const ReadAhead& a = decoder_state.read_ahead;
  const int64_t index = offset - a.bytes_delivered;
  if (index < 0 || index >= READ_AHEAD_CAPACITY - 2 * READ_CHUNK) return -1;
  if (!Ensure_Ahead(static_cast<int>(index) + 1)) return -1;
  return read_ahead_bytes[a.start + index];
}

const uint8_t* Chain_Bytes(int64_t offset) {
  const ReadAhead& a = decoder_state.read_ahead;
  return read_ahead_bytes + a.start + (offset - a.bytes_delivered);
}

int Take_From_Chain(uint8_t* dest, int count) {
  ReadAhead& a = decoder_state.read_ahead;
  int taken = 0;
  while (taken < count && Ensure_Ahead(1)) {
    const int n = std::min(count - taken, Ahead_Count());
    std::memcpy(dest + taken, read_ahead_bytes + a.start, static_cast<size_t>(n));
    a.start += n;
    a.bytes_delivered += n;
    taken += n;
  }
  return taken;
}
