#include "platform/avi_file.h"

#include <fcntl.h>
#include <stdio_ext.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

namespace {

constexpr uint32_t kAvifHasIndex = 0x10;
constexpr uint32_t kAvifIsInterleaved = 0x100;
constexpr uint32_t kAviifKeyFrame = 0x10;
constexpr uint8_t kAviIndexOfIndexes = 0x00;
constexpr uint8_t kAviIndexOfChunks = 0x01;
constexpr uint32_t kDeltaFrameBit = 0x80000000u;

constexpr uint32_t kBitmapInfoBytes = 40;
constexpr uint16_t kMaxWaveChannels = 32;
constexpr uint32_t kDmlhBytes = 248;
constexpr uint32_t kIndexHeaderBytes = 24;  // both index kinds, after the chunk header
constexpr uint32_t kSuperIndexEntryBytes = 16;
constexpr uint32_t kStandardIndexEntryBytes = 8;
constexpr uint32_t kIdx1EntryBytes = 16;
constexpr size_t kMaxExtradataBytes = 1 << 20;
constexpr size_t kStdioBufferBytes = 256 * 1024;
constexpr uint32_t kMaxSuperIndexEntries = 1 << 16;

// Little-endian serialisation of RIFF structures into memory.
class ByteWriter {
 public:
  void Put8(uint8_t v) { bytes_.push_back(v); }
  void Put16(uint16_t v) {
    Put8(static_cast<uint8_t>(v));
    Put8(static_cast<uint8_t>(v >> 8));
  }
  void Put32(uint32_t v) {
    Put16(static_cast<uint16_t>(v));
    Put16(static_cast<uint16_t>(v >> 16));
  }
  void Put64(uint64_t v) {
    Put32(static_cast<uint32_t>(v));
    Put32(static_cast<uint32_t>(v >> 32));
  }
  void PutZeros(size_t n) { bytes_.insert(bytes_.end(), n, 0); }
  void PutBytes(std::span<const uint8_t> b) { bytes_.insert(bytes_.end(), b.begin(), b.end()); }

  // Starts a chunk (or a LIST/RIFF with `list_type`) whose size EndChunk
  // fills in from what was put in between.
  size_t BeginChunk(uint32_t fourcc) {
    Put32(fourcc);
    size_t size_at = bytes_.size();
    Put32(0);
    return size_at;
  }
  size_t BeginList(uint32_t fourcc, uint32_t list_type) {
    size_t size_at = BeginChunk(fourcc);
    Put32(list_type);
    return size_at;
  }
  // Pads the chunk to an even size; the pad byte is not counted in its size.
  void EndChunk(size_t size_at) {
    SetAt32(size_at, static_cast<uint32_t>(bytes_.size() - size_at - 4));
    if (bytes_.size() % 2) Put8(0);
  }
  void SetAt32(size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_[at + i] = static_cast<uint8_t>(v >> (8 * i));
  }
  size_t size() const { return bytes_.size(); }
  std::vector<uint8_t> Take() { return std::move(bytes_); }

 private:
  std::vector<uint8_t> bytes_;
};

uint32_t Clamp32(uint64_t v) {
  return static_cast<uint32_t>(std::min<uint64_t>(v, std::numeric_limits<uint32_t>::max()));
}

bool FitsInt16(int32_t v) {
  return v >= INT16_MIN && v <= INT16_MAX;
}

size_t StreamNameLength(const AviStreamInfo& info) {
  return strnlen(info.szName, sizeof info.szName);
}

}  // namespace

AviFile::AviFile(const AviFileLimits& limits) : limits_(limits) {
  // Keeps the reserved header room within reason.
  limits_.super_index_entries = std::min(limits_.super_index_entries, kMaxSuperIndexEntries);
}

AviFile::~AviFile() {
  Release();
}

void AviFile::ResetState() {
  error_ = AVI_OK;
  has_stream_ = false;
  has_format_ = false;
  info_ = AviStreamInfo{};
  format_ = BitmapInfoHeader{};
  extradata_.clear();
  chunk_id_ = 0;
  has_audio_ = false;
  audio_info_ = AviStreamInfo{};
  wave_format_ = WaveFormatEx{};
  audio_extradata_.clear();
  position_ = 0;
  file_position_ = 0;
  file_position_known_ = false;
  riff_start_ = 0;
  movi_start_ = 0;
  riff_index_.clear();
  for (StreamCounts& counts : streams_) counts = StreamCounts{};
  closed_riffs_ = 0;
  first_riff_closed_ = false;
  first_riff_size_ = 0;
  first_movi_size_ = 0;
  riff_cut_ = false;
  created_path_.clear();
}

int AviFile::Fail(int result) {
  if (error_ == AVI_OK) error_ = result;
  return result;
}

int AviFile::Create(const std::string& path) {
  Release();
  ResetState();
  // Whether this call makes the file decides whether a failure may remove
  // it: a file that was there before is never removed.
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  const bool created = fd >= 0;
  if (!created && errno == EEXIST)
    fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return AVI_ERROR_CREATE;
  std::FILE* stream = fdopen(fd, "wb");
  if (stream == nullptr) {
    close(fd);
    if (created) unlink(path.c_str());
    return AVI_ERROR_CREATE;
  }
  buffer_ = std::make_unique<char[]>(kStdioBufferBytes);
  std::setvbuf(stream, buffer_.get(), _IOFBF, kStdioBufferBytes);
  file_.reset(stream);
  file_position_known_ = true;
  created_path_ = created ? path : std::string();

  // A skeleton without streams, so that even a file abandoned before its
  // format is known is a well-formed RIFF.
  std::vector<uint8_t> header = BuildHeader();
  position_ = header.size();
  movi_start_ = position_ - 12;
  header = BuildHeader();
  if (WriteAt(0, header) != AVI_OK || Flush() != AVI_OK) {
    Release();
    return AVI_ERROR_CREATE;
  }
  return AVI_OK;
}

int AviFile::CreateStream(const AviStreamInfo& info) {
  if (!file_ || has_stream_) return AVI_ERROR_STATE;
  if (info.fccType != MakeFourCC("vids") || info.dwRate == 0 || info.dwScale == 0)
    return AVI_ERROR_ARGUMENT;
  const AviRect& r = info.rcFrame;
  if (!FitsInt16(r.left) || !FitsInt16(r.top) || !FitsInt16(r.right) || !FitsInt16(r.bottom))
    return AVI_ERROR_ARGUMENT;
  info_ = info;
  has_stream_ = true;
  return AVI_OK;
}

int AviFile::SetFormat(const BitmapInfoHeader& format, std::span<const uint8_t> extradata) {
  if (!file_ || !has_stream_ || has_format_) return AVI_ERROR_STATE;
  if (error_ != AVI_OK) return error_;
  if (format.biWidth <= 0 || format.biHeight == 0 || format.biWidth > INT16_MAX ||
      format.biHeight > INT16_MAX || format.biHeight < -INT16_MAX ||
      extradata.size() > kMaxExtradataBytes)
    return AVI_ERROR_ARGUMENT;
  format_ = format;
  extradata_.assign(extradata.begin(), extradata.end());
  if (info_.fccHandler == 0) info_.fccHandler = format.biCompression;
  chunk_id_ = format.biCompression == BI_RGB ? MakeFourCC("00db") : MakeFourCC("00dc");
  has_format_ = true;
  return LayOutHeader();
}

// The header's length does not depend on the counts in it, so the first
// build fixes where the movi data begins. Only while no chunk is written.
int AviFile::LayOutHeader() {
  position_ = BuildHeader().size();
  riff_start_ = 0;
  movi_start_ = position_ - 12;
  if (WriteAt(0, BuildHeader()) != AVI_OK) return error_;
  return Flush();
}

int AviFile::AddAudioStream(const AviStreamInfo& info, const WaveFormatEx& format,
                            std::span<const uint8_t> extradata) {
  if (!file_ || !has_format_ || has_audio_ || !riff_index_.empty() || first_riff_closed_)
    return AVI_ERROR_STATE;
  if (error_ != AVI_OK) return error_;
  if (info.fccType != MakeFourCC("auds") || info.dwRate == 0 || info.dwScale == 0 ||
      format.nChannels == 0 || format.nChannels > kMaxWaveChannels || format.nSamplesPerSec == 0 ||
      format.nBlockAlign == 0 ||
      (info.dwSampleSize != 0 && info.dwSampleSize != format.nBlockAlign) ||
      extradata.size() > std::numeric_limits<uint16_t>::max())
    return AVI_ERROR_ARGUMENT;
  audio_info_ = info;
  wave_format_ = format;
  audio_extradata_.assign(extradata.begin(), extradata.end());
  has_audio_ = true;
  return LayOutHeader();
}

uint32_t AviFile::ChunkId(Stream stream) const {
  return stream == kVideo ? chunk_id_ : MakeFourCC("01wb");
}

uint64_t AviFile::UnitsOf(Stream stream, uint32_t size) const {
  return stream == kAudio && audio_info_.dwSampleSize != 0 ? size / audio_info_.dwSampleSize : 1;
}

std::vector<uint8_t> AviFile::BuildHeader() const {
  const bool riff0_open = !first_riff_closed_;
  const uint64_t riff_size = riff0_open ? position_ - 8 : first_riff_size_;
  const uint64_t movi_size = riff0_open ? position_ - movi_start_ - 8 : first_movi_size_;
  const StreamCounts& video = streams_[kVideo];
  const StreamCounts& audio = streams_[kAudio];
  const uint32_t frames_riff0 = riff0_open ? video.chunks_in_riff : video.chunks_in_first_riff;
  const uint32_t buffer_size = std::max(info_.dwSuggestedBufferSize, video.largest_chunk);
  const uint32_t audio_buffer_size =
      std::max(audio_info_.dwSuggestedBufferSize, audio.largest_chunk);

  ByteWriter w;
  size_t riff = w.BeginList(MakeFourCC("RIFF"), MakeFourCC("AVI "));
  size_t hdrl = w.BeginList(MakeFourCC("LIST"), MakeFourCC("hdrl"));

  size_t avih = w.BeginChunk(MakeFourCC("avih"));
  uint64_t rate = has_stream_ ? info_.dwRate : 0;
  uint64_t scale = has_stream_ ? info_.dwScale : 0;
  uint64_t max_bytes_per_second = scale ? uint64_t{video.largest_chunk} * rate / scale : 0;
  if (has_audio_) max_bytes_per_second += wave_format_.nAvgBytesPerSec;
  w.Put32(rate ? Clamp32((scale * 1000000 + rate / 2) / rate) : 0);  // dwMicroSecPerFrame
  w.Put32(Clamp32(max_bytes_per_second));
  w.Put32(0);  // dwPaddingGranularity
  w.Put32(kAvifHasIndex | kAvifIsInterleaved);
  w.Put32(frames_riff0);  // dwTotalFrames: what an AVI 1.0 reader finds in idx1
  w.Put32(0);             // dwInitialFrames
  w.Put32((has_stream_ ? 1 : 0) + (has_audio_ ? 1 : 0));
  w.Put32(has_audio_ ? std::max(buffer_size, audio_buffer_size) : buffer_size);
  w.Put32(static_cast<uint32_t>(format_.biWidth));
  w.Put32(static_cast<uint32_t>(format_.biHeight < 0 ? -format_.biHeight : format_.biHeight));
  w.PutZeros(16);
  w.EndChunk(avih);

  // strh, strf, the super index (or the room for it) and strn of a stream.
  auto put_stream_list = [&](Stream stream, const AviStreamInfo& info, uint32_t suggested_buffer,
                             auto&& put_format) {
    size_t strl = w.BeginList(MakeFourCC("LIST"), MakeFourCC("strl"));

    size_t strh = w.BeginChunk(MakeFourCC("strh"));
    w.Put32(info.fccType);
    w.Put32(info.fccHandler);
    w.Put32(info.dwFlags);
    w.Put16(info.wPriority);
    w.Put16(info.wLanguage);
    w.Put32(info.dwInitialFrames);
    w.Put32(info.dwScale);
    w.Put32(info.dwRate);
    w.Put32(info.dwStart);
    w.Put32(Clamp32(static_cast<uint64_t>(streams_[stream].length)));  // dwLength, all RIFFs
    w.Put32(suggested_buffer);
    w.Put32(info.dwQuality);
    w.Put32(info.dwSampleSize);
    w.Put16(static_cast<uint16_t>(info.rcFrame.left));
    w.Put16(static_cast<uint16_t>(info.rcFrame.top));
    w.Put16(static_cast<uint16_t>(info.rcFrame.right));
    w.Put16(static_cast<uint16_t>(info.rcFrame.bottom));
    w.EndChunk(strh);

    size_t strf = w.BeginChunk(MakeFourCC("strf"));
    put_format();
    w.EndChunk(strf);

    // The super index's room: a JUNK chunk of the same size while the
    // stream has no standard index (the file is plain AVI 1.0).
    const std::vector<SuperIndexEntry>& super_index = streams_[stream].super_index;
    size_t indx = w.BeginChunk(MakeFourCC(super_index.empty() ? "JUNK" : "indx"));
    if (super_index.empty()) {
      w.PutZeros(kIndexHeaderBytes + kSuperIndexEntryBytes * limits_.super_index_entries);
    } else {
      w.Put16(4);  // wLongsPerEntry
      w.Put8(0);   // bIndexSubType
      w.Put8(kAviIndexOfIndexes);
      w.Put32(static_cast<uint32_t>(super_index.size()));
      w.Put32(ChunkId(stream));
      w.PutZeros(12);
      for (const SuperIndexEntry& e : super_index) {
        w.Put64(e.offset);
        w.Put32(e.size);
        w.Put32(e.duration);
      }
      w.PutZeros(kSuperIndexEntryBytes * (limits_.super_index_entries - super_index.size()));
    }
    w.EndChunk(indx);

    size_t strn = w.BeginChunk(MakeFourCC("strn"));
    const size_t name_length = StreamNameLength(info);
    w.PutBytes(std::span(reinterpret_cast<const uint8_t*>(info.szName), name_length));
    w.Put8(0);
    w.EndChunk(strn);

    w.EndChunk(strl);
  };

  if (has_format_) {
    put_stream_list(kVideo, info_, buffer_size, [&] {
      // Readers take the extra data as what follows the 40 bytes within biSize.
      w.Put32(kBitmapInfoBytes + static_cast<uint32_t>(extradata_.size()));
      w.Put32(static_cast<uint32_t>(format_.biWidth));
      w.Put32(static_cast<uint32_t>(format_.biHeight));
      w.Put16(format_.biPlanes);
      w.Put16(format_.biBitCount);
      w.Put32(format_.biCompression);
      w.Put32(format_.biSizeImage);
      w.Put32(static_cast<uint32_t>(format_.biXPelsPerMeter));
      w.Put32(static_cast<uint32_t>(format_.biYPelsPerMeter));
      w.Put32(format_.biClrUsed);
      w.Put32(format_.biClrImportant);
      w.PutBytes(extradata_);
    });
    if (has_audio_) {
      put_stream_list(kAudio, audio_info_, audio_buffer_size, [&] {
        w.Put16(wave_format_.wFormatTag);
        w.Put16(wave_format_.nChannels);
        w.Put32(wave_format_.nSamplesPerSec);
        w.Put32(wave_format_.nAvgBytesPerSec);
        w.Put16(wave_format_.nBlockAlign);
        w.Put16(wave_format_.wBitsPerSample);
        w.Put16(static_cast<uint16_t>(audio_extradata_.size()));  // cbSize
        w.PutBytes(audio_extradata_);
      });
    }

    // The extended header follows the stream headers inside hdrl, where
    // OpenDML readers look for it.
    size_t odml = w.BeginList(MakeFourCC("LIST"), MakeFourCC("odml"));
    size_t dmlh = w.BeginChunk(MakeFourCC("dmlh"));
    w.Put32(Clamp32(static_cast<uint64_t>(video.length)));
    w.PutZeros(kDmlhBytes - 4);
    w.EndChunk(dmlh);
    w.EndChunk(odml);
  }
  w.EndChunk(hdrl);

  // The first RIFF's movi list header closes the header; its size and the
  // RIFF's come from the data behind it, not from this buffer.
  w.Put32(MakeFourCC("LIST"));
  w.Put32(Clamp32(movi_size));
  w.Put32(MakeFourCC("movi"));
  w.SetAt32(riff, Clamp32(riff_size));
  return w.Take();
}

std::vector<uint8_t> AviFile::BuildStandardIndex(Stream stream) const {
  ByteWriter w;
  size_t ix = w.BeginChunk(MakeFourCC(stream == kVideo ? "ix00" : "ix01"));
  w.Put16(2);  // wLongsPerEntry
  w.Put8(0);   // bIndexSubType
  w.Put8(kAviIndexOfChunks);
  w.Put32(streams_[stream].chunks_in_riff);
  w.Put32(ChunkId(stream));
  w.Put64(riff_start_);  // qwBaseOffset
  w.Put32(0);
  for (const IndexEntry& e : riff_index_) {
    if (e.stream != stream) continue;
    // Entries point at the chunk's data, past its 8-byte header.
    w.Put32(static_cast<uint32_t>(e.offset + 8 - riff_start_));
    w.Put32(e.size | (e.key_frame ? 0 : kDeltaFrameBit));
  }
  w.EndChunk(ix);
  return w.Take();
}

std::vector<uint8_t> AviFile::BuildIdx1() const {
  ByteWriter w;
  size_t idx1 = w.BeginChunk(MakeFourCC("idx1"));
  for (const IndexEntry& e : riff_index_) {
    w.Put32(ChunkId(e.stream));
    w.Put32(e.key_frame ? kAviifKeyFrame : 0);
    // Offsets count from the 'movi' list type, i.e. the first chunk is at 4.
    w.Put32(static_cast<uint32_t>(e.offset - (movi_start_ + 8)));
    w.Put32(e.size);
  }
  w.EndChunk(idx1);
  return w.Take();
}

int AviFile::WriteAt(uint64_t offset, std::span<const uint8_t> bytes) {
  if (!file_) return AVI_ERROR_STATE;
  if (!file_position_known_ || file_position_ != offset) {
    if (offset > static_cast<uint64_t>(std::numeric_limits<off_t>::max()) ||
        fseeko(file_.get(), static_cast<off_t>(offset), SEEK_SET) != 0) {
      file_position_known_ = false;
      return Fail(AVI_ERROR_WRITE);
    }
    file_position_ = offset;
    file_position_known_ = true;
  }
  // At most a mebibyte a call: the kernel may put the page cache of one
  // larger write into large folios of fresh memory, which on some virtual
  // machines costs several times as much as the copy.
  constexpr size_t kLargestWrite = size_t{1} << 20;
  for (size_t done = 0; done < bytes.size();) {
    const size_t piece = std::min(kLargestWrite, bytes.size() - done);
    if (std::fwrite(bytes.data() + done, 1, piece, file_.get()) != piece) return WriteFailed();
    done += piece;
    file_position_ += piece;
  }
  return AVI_OK;
}

int AviFile::Flush() {
  return std::fflush(file_.get()) == 0 ? AVI_OK : WriteFailed();
}

// What a failed write left in the stdio buffer is dropped: the structure is
// written again from position_, and bytes the buffer held back must not
// land in the file later.
int AviFile::WriteFailed() {
  __fpurge(file_.get());
  std::clearerr(file_.get());
  file_position_known_ = false;
  return Fail(AVI_ERROR_WRITE);
}

int AviFile::Patch32(uint64_t offset, uint32_t value) {
  uint8_t bytes[4];
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
  return WriteAt(offset, bytes);
}

// Bytes of the indexes that close a RIFF with these chunks: the standard
// index of each stream that has chunks in it, and idx1 over all of them.
uint64_t AviFile::IndexBytes(bool standard_indexes, bool idx1, uint64_t video_chunks,
                             uint64_t audio_chunks) const {
  uint64_t bytes = 0;
  for (uint64_t chunks : {video_chunks, audio_chunks})
    if (standard_indexes && chunks > 0)
      bytes += 8 + kIndexHeaderBytes + kStandardIndexEntryBytes * chunks;
  if (idx1) bytes += 8 + kIdx1EntryBytes * (video_chunks + audio_chunks);
  return bytes;
}

bool AviFile::NeedsNextRiff(Stream stream, uint64_t chunk_bytes) const {
  if (riff_index_.empty()) return false;  // every RIFF holds at least one chunk
  const uint64_t video = streams_[kVideo].chunks_in_riff + (stream == kVideo ? 1 : 0);
  const uint64_t audio = streams_[kAudio].chunks_in_riff + (stream == kAudio ? 1 : 0);
  // Closing a RIFF for the next one writes the standard indexes, and idx1
  // behind the first RIFF.
  const uint64_t projected =
      position_ + chunk_bytes - riff_start_ + IndexBytes(true, !first_riff_closed_, video, audio);
  return projected > limits_.riff_bytes;
}

// Closes the movi list and the RIFF being written: an ix00 when the file is
// (or is about to become) OpenDML, and the idx1 behind the first RIFF's movi.
// Write failures are recorded; the remaining steps are still tried.
int AviFile::EndRiff(bool more_follow) {
  const bool first_riff = !first_riff_closed_;
  if (!first_riff || more_follow) {
    for (Stream stream : {kVideo, kAudio}) {
      StreamCounts& counts = streams_[stream];
      if (counts.chunks_in_riff == 0) continue;
      std::vector<uint8_t> ix = BuildStandardIndex(stream);
      counts.super_index.push_back(
          {position_, static_cast<uint32_t>(ix.size()), Clamp32(counts.units_in_riff)});
      WriteAt(position_, ix);
      position_ += ix.size();
    }
    ++closed_riffs_;
  }
  const uint64_t movi_size = position_ - movi_start_ - 8;
  Patch32(movi_start_ + 4, Clamp32(movi_size));
  if (first_riff) {
    std::vector<uint8_t> idx1 = BuildIdx1();
    WriteAt(position_, idx1);
    position_ += idx1.size();
    first_movi_size_ = movi_size;
    first_riff_size_ = position_ - 8;
    streams_[kVideo].chunks_in_first_riff = streams_[kVideo].chunks_in_riff;
    first_riff_closed_ = true;
  }
  Patch32(riff_start_ + 4, Clamp32(position_ - riff_start_ - 8));
  return error_;
}

int AviFile::StartNextRiff() {
  // One entry for the RIFF being closed and one for the RIFF being started.
  if (closed_riffs_ + 2 > limits_.super_index_entries) return AVI_ERROR_TOO_LARGE;
  riff_cut_ = true;  // until the new RIFF stands
  if (EndRiff(true) != AVI_OK) return error_;
  riff_start_ = position_;
  movi_start_ = position_ + 12;
  ByteWriter w;
  w.Put32(MakeFourCC("RIFF"));
  w.Put32(16);  // sizes completed when this RIFF is closed
  w.Put32(MakeFourCC("AVIX"));
  w.Put32(MakeFourCC("LIST"));
  w.Put32(4);
  w.Put32(MakeFourCC("movi"));
  if (WriteAt(position_, w.Take()) != AVI_OK) return error_;
  position_ += 24;
  riff_index_.clear();
  for (StreamCounts& counts : streams_) {
    counts.chunks_in_riff = 0;
    counts.units_in_riff = 0;
  }
  riff_cut_ = false;
  return AVI_OK;
}

int AviFile::WriteFrame(std::span<const uint8_t> data, bool key_frame, int32_t* samples_written,
                        int64_t* bytes_written) {
  if (samples_written) *samples_written = 0;
  if (bytes_written) *bytes_written = 0;
  if (!file_ || !has_format_) return AVI_ERROR_STATE;
  const int result = WriteChunk(kVideo, data, key_frame);
  if (result != AVI_OK) return result;
  if (samples_written) *samples_written = 1;
  if (bytes_written) *bytes_written = static_cast<int64_t>(data.size());
  return AVI_OK;
}

int AviFile::WriteAudio(std::span<const uint8_t> data, int64_t* bytes_written) {
  if (bytes_written) *bytes_written = 0;
  if (!file_ || !has_audio_) return AVI_ERROR_STATE;
  if (audio_info_.dwSampleSize != 0 && data.size() % audio_info_.dwSampleSize != 0)
    return AVI_ERROR_ARGUMENT;
  if (data.empty()) return error_;
  const int result = WriteChunk(kAudio, data, true);
  if (result == AVI_OK && bytes_written) *bytes_written = static_cast<int64_t>(data.size());
  return result;
}

int AviFile::WriteChunk(Stream stream, std::span<const uint8_t> data, bool key_frame) {
  if (error_ != AVI_OK) return error_;
  if (data.size() > kMaxFrameBytes) return AVI_ERROR_ARGUMENT;

  const uint32_t size = static_cast<uint32_t>(data.size());
  const uint64_t chunk_bytes = 8 + uint64_t{size} + (size & 1);
  if (NeedsNextRiff(stream, chunk_bytes)) {
    int result = StartNextRiff();
    if (result != AVI_OK) return result;
  }
  uint8_t header[8];
  const uint32_t chunk_id = ChunkId(stream);
  for (int i = 0; i < 4; ++i) header[i] = static_cast<uint8_t>(chunk_id >> (8 * i));
  for (int i = 0; i < 4; ++i) header[4 + i] = static_cast<uint8_t>(size >> (8 * i));
  static constexpr uint8_t kPad[1] = {0};
  if (WriteAt(position_, header) != AVI_OK) return error_;
  if (WriteAt(position_ + 8, data) != AVI_OK) return error_;
  if ((size & 1) && WriteAt(position_ + 8 + size, kPad) != AVI_OK) return error_;
  // Every chunk counted is on the disk: what a crash or a later failure
  // leaves behind ends at a chunk boundary.
  if (Flush() != AVI_OK) return error_;

  riff_index_.push_back({position_, size, stream, key_frame});
  position_ += chunk_bytes;
  StreamCounts& counts = streams_[stream];
  const uint64_t units = UnitsOf(stream, size);
  counts.length += static_cast<int64_t>(units);
  counts.units_in_riff += units;
  ++counts.chunks_in_riff;
  counts.largest_chunk = std::max(counts.largest_chunk, size);
  return AVI_OK;
}

int AviFile::CloseFile() {
  std::FILE* stream = file_.release();
  if (std::fflush(stream) != 0) Fail(AVI_ERROR_WRITE);
  // A write that failed half-way may have left bytes past the final end.
  struct stat st;
  if (fstat(fileno(stream), &st) == 0 && S_ISREG(st.st_mode) &&
      static_cast<uint64_t>(st.st_size) > position_ &&
      ftruncate(fileno(stream), static_cast<off_t>(position_)) != 0)
    Fail(AVI_ERROR_WRITE);
  if (std::fclose(stream) != 0) Fail(AVI_ERROR_WRITE);
  buffer_.reset();
  return error_;
}

// Writes the indexes, counts and sizes. A failed attempt leaves the layout
// as it was before, so that it can be made again.
bool AviFile::WriteStructure() {
  const uint64_t position = position_;
  const uint32_t closed_riffs = closed_riffs_;
  size_t super_index_sizes[kStreams];
  for (int i = 0; i < kStreams; ++i) super_index_sizes[i] = streams_[i].super_index.size();
  const bool first_riff_closed = first_riff_closed_;
  error_ = AVI_OK;
  if (has_format_) EndRiff(false);
  if (WriteAt(0, BuildHeader()) == AVI_OK) Flush();
  if (error_ == AVI_OK) return true;
  position_ = position;
  closed_riffs_ = closed_riffs;
  for (int i = 0; i < kStreams; ++i) streams_[i].super_index.resize(super_index_sizes[i]);
  first_riff_closed_ = first_riff_closed;
  return false;
}

// When the disk is full the index finds no room behind the data. The last
// chunks of the RIFF being written then give up their space, which is on
// the disk already, to it: the file keeps fewer chunks but stays readable.
// False when there is no chunk to give up.
bool AviFile::ShedFramesForIndex() {
  const bool first_riff = !first_riff_closed_;
  size_t keep = riff_index_.size();
  if (keep == 0) return false;
  do {
    --keep;
    const IndexEntry& e = riff_index_[keep];
    StreamCounts& counts = streams_[e.stream];
    const uint64_t units = UnitsOf(e.stream, e.size);
    counts.length -= static_cast<int64_t>(units);
    counts.units_in_riff -= units;
    --counts.chunks_in_riff;
    // The last RIFF ends with idx1 when it is the first, with the standard
    // indexes otherwise.
  } while (keep > 0 && position_ - riff_index_[keep].offset <
                           IndexBytes(!first_riff, first_riff, streams_[kVideo].chunks_in_riff,
                                      streams_[kAudio].chunks_in_riff));
  position_ = riff_index_[keep].offset;
  riff_index_.resize(keep);
  return true;
}

int AviFile::Release() {
  if (!file_) return AVI_OK;
  // The structure is completed even after a failed write; whether that
  // succeeds is judged on its own. A RIFF cut off half-way cannot be.
  const int earlier_error = error_;
  bool whole = false;
  if (!riff_cut_) {
    whole = WriteStructure();
    if (!whole && ShedFramesForIndex()) whole = WriteStructure();
  }
  whole = CloseFile() == AVI_OK && whole && has_format_;
  if (!whole && !created_path_.empty()) unlink(created_path_.c_str());
  const int result = earlier_error != AVI_OK ? earlier_error : error_;
  ResetState();
  return result;
}
