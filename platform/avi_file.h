// AVI file layer: one video stream, and optionally one audio stream,
// written into a RIFF AVI file.
//
// A file starts as RIFF AVI 1.0 ('hdrl' with avih and one strl per stream,
// 'movi' with one chunk per frame or audio piece in the order they are
// written, 'idx1' over both streams). When the first RIFF would pass 1 GiB
// the file goes on in OpenDML form: further 'RIFF AVIX' extents with their
// own 'movi', at the end of each movi one standard index per stream that has
// chunks in it ('ix00' video, 'ix01' audio), an 'indx' super index in each
// strl (its room is reserved when the header is laid out) and, in 'hdrl'
// after the strls, 'odml/dmlh' with the total video frame count. The first
// RIFF keeps its idx1, so AVI 1.0 readers still see its chunks.
//
// The header is written as soon as the file exists; counts, sizes and
// indexes are completed by Release, which the destructor calls. Every write,
// flush and close is checked: a failure (full disk, I/O error) is returned as
// AVI_ERROR_WRITE and sticks to the file, and Release still completes as much
// of the structure as can be written. A file this layer made and could not
// complete is removed; a file that existed before is never removed.
//
// Calling order: Create, CreateStream, SetFormat, [AddAudioStream],
// WriteFrame and WriteAudio in the order of the file..., Release.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <vector>

// Result codes of the platform's AVI services (this layer and the compressed
// stream); 0 is success.
constexpr int AVI_OK = 0;
constexpr int AVI_ERROR_CREATE = 1;      // the file could not be created or replaced
constexpr int AVI_ERROR_WRITE = 2;       // a write, flush or close failed
constexpr int AVI_ERROR_STATE = 3;       // call out of order (no file, no stream, no format)
constexpr int AVI_ERROR_ARGUMENT = 4;    // a record or frame the layer cannot store
constexpr int AVI_ERROR_COMPRESSOR = 5;  // compressor unknown, refused to open, or failed
constexpr int AVI_ERROR_TOO_LARGE = 6;   // the super index has no room for another RIFF

// A FourCC from its four characters, first character in the lowest byte (the
// order in which the characters appear in the file).
constexpr uint32_t MakeFourCC(const char (&text)[5]) {
  return static_cast<uint32_t>(static_cast<unsigned char>(text[0])) |
         static_cast<uint32_t>(static_cast<unsigned char>(text[1])) << 8 |
         static_cast<uint32_t>(static_cast<unsigned char>(text[2])) << 16 |
         static_cast<uint32_t>(static_cast<unsigned char>(text[3])) << 24;
}

constexpr uint32_t BI_RGB = 0;

struct AviRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
};

// Description of a stream, field for field the platform's AVISTREAMINFOA.
struct AviStreamInfo {
  uint32_t fccType = 0;
  uint32_t fccHandler = 0;
  uint32_t dwFlags = 0;
  uint32_t dwCaps = 0;
  uint16_t wPriority = 0;
  uint16_t wLanguage = 0;
  uint32_t dwScale = 0;
  uint32_t dwRate = 0;
  uint32_t dwStart = 0;
  uint32_t dwLength = 0;
  uint32_t dwInitialFrames = 0;
  uint32_t dwSuggestedBufferSize = 0;
  uint32_t dwQuality = 0;
  uint32_t dwSampleSize = 0;
  AviRect rcFrame;
  uint32_t dwEditCount = 0;
  uint32_t dwFormatChangeCount = 0;
  char szName[64] = {};
};

// Format tags of audio streams (WAVEFORMATEX wFormatTag).
constexpr uint16_t WAVE_FORMAT_PCM = 0x0001;
constexpr uint16_t WAVE_FORMAT_MPEG = 0x0050;  // MPEG audio Layer I or II (MPEG1WAVEFORMAT)
constexpr uint16_t WAVE_FORMAT_MPEGLAYER3 = 0x0055;
// The tags AVI files carry AC-3 and DTS under (not the registry's DTS 0x0008).
constexpr uint16_t WAVE_FORMAT_AC3 = 0x2000;
constexpr uint16_t WAVE_FORMAT_DTS = 0x2001;
constexpr uint16_t WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

// The platform's BITMAPINFOHEADER (40 bytes in a file).
struct BitmapInfoHeader {
  uint32_t biSize = 0;
  int32_t biWidth = 0;
  int32_t biHeight = 0;
  uint16_t biPlanes = 0;
  uint16_t biBitCount = 0;
  uint32_t biCompression = 0;
  uint32_t biSizeImage = 0;
  int32_t biXPelsPerMeter = 0;
  int32_t biYPelsPerMeter = 0;
  uint32_t biClrUsed = 0;
  uint32_t biClrImportant = 0;
};

// The platform's WAVEFORMATEX without cbSize (18 bytes in a file with it);
// the format's extra data, cbSize bytes, is passed beside it.
struct WaveFormatEx {
  uint16_t wFormatTag = 0;
  uint16_t nChannels = 0;
  uint32_t nSamplesPerSec = 0;
  uint32_t nAvgBytesPerSec = 0;
  uint16_t nBlockAlign = 0;
  uint16_t wBitsPerSample = 0;
};

// Where a file goes on with another RIFF. The defaults are what readers
// expect; smaller values let tests reach the OpenDML form quickly.
struct AviFileLimits {
  // A RIFF is closed before it would grow past this size (frames larger
  // than that get a RIFF of their own).
  uint64_t riff_bytes = uint64_t{1} << 30;
  // Room reserved in the header for super index entries, one per RIFF: with
  // RIFFs of 1 GiB a file may grow to 4 TiB.
  uint32_t super_index_entries = 4096;
};

class AviFile {
 public:
  // Largest frame (chunk payload) the layer stores: ix00 entries keep the
  // key-frame flag in bit 31 of the size.
  static constexpr uint32_t kMaxFrameBytes = 1u << 30;

  AviFile() = default;
  explicit AviFile(const AviFileLimits& limits);
  ~AviFile();
  AviFile(const AviFile&) = delete;
  AviFile& operator=(const AviFile&) = delete;

  // Creates `path` for writing, replacing a file of that name, and writes a
  // provisional header. AVI_ERROR_CREATE when the file cannot be opened or
  // its first bytes cannot be written; the file is closed again then, and
  // removed if this call made it.
  int Create(const std::string& path);
  bool IsOpen() const { return file_ != nullptr; }

  // Adds the file's one stream. Only video streams ("vids") with a non-zero
  // rate and scale and a frame rectangle within 16-bit coordinates are taken.
  int CreateStream(const AviStreamInfo& info);

  // Declares the format of the stored frames: the header that describes
  // them and the codec's extra data, which follows it in 'strf'. Allowed once,
  // before the first frame. A stream whose fccHandler is 0 takes
  // biCompression as its handler. Frames of a BI_RGB format are stored as
  // '00db' chunks, all others as '00dc'.
  int SetFormat(const BitmapInfoHeader& format, std::span<const uint8_t> extradata);

  // Adds the audio stream, after the video format and before the first
  // chunk. `info` is an "auds" stream with a non-zero rate and scale whose
  // dwSampleSize is either nBlockAlign (a stream of fixed-size blocks, PCM:
  // dwLength counts blocks) or 0 (one compressed frame per chunk: dwLength
  // counts chunks, each lasting dwScale / dwRate seconds). `extradata`
  // follows the WAVEFORMATEX in 'strf' with its size as cbSize (the
  // WAVEFORMATEXTENSIBLE fields, MPEG1WAVEFORMAT, ...). Audio chunks are
  // '01wb', always key frames in the indexes.
  int AddAudioStream(const AviStreamInfo& info, const WaveFormatEx& format,
                     std::span<const uint8_t> extradata);
  bool HasAudio() const { return has_audio_; }

  // Appends one frame; `key_frame` marks it in the indexes. Reports 1 sample
  // and the frame's size in bytes on success, 0 and 0 otherwise.
  int WriteFrame(std::span<const uint8_t> data, bool key_frame, int32_t* samples_written,
                 int64_t* bytes_written);

  // Appends one audio chunk: a whole number of blocks for a stream with a
  // sample size, one compressed frame otherwise. Empty data writes nothing.
  // Reports its size in bytes on success, 0 otherwise. AVI_ERROR_STATE
  // without an audio stream, AVI_ERROR_ARGUMENT for a partial block or a
  // chunk larger than kMaxFrameBytes.
  int WriteAudio(std::span<const uint8_t> data, int64_t* bytes_written);

  // Completes the indexes, counts and sizes and closes the file. Returns the
  // first error the file met (a write error earlier on is returned here
  // again), AVI_OK when everything reached the disk. Idle files: AVI_OK.
  // The file is complete when it has its format and the completing writes
  // all succeeded, whatever failed before: readers then find every frame it
  // reports. A file that Create made and that is not complete is removed;
  // one that existed before is left.
  int Release();

  // Frames written to the file so far, over all RIFFs.
  int64_t FrameCount() const { return streams_[kVideo].length; }
  // Length of the audio stream so far, in its units (blocks or frames).
  int64_t AudioLength() const { return streams_[kAudio].length; }

 private:
  enum Stream : uint8_t { kVideo = 0, kAudio = 1, kStreams = 2 };
  struct IndexEntry {
    uint64_t offset;  // position of the chunk header in the file
    uint32_t size;    // payload bytes, without the pad byte
    Stream stream;
    bool key_frame;
  };
  struct SuperIndexEntry {
    uint64_t offset;  // position of an ix00 or ix01 chunk
    uint32_t size;    // its size including the chunk header
    uint32_t duration;
  };
  // What the indexes and headers count for one stream.
  struct StreamCounts {
    int64_t length = 0;  // over all RIFFs, in the stream's units
    uint32_t largest_chunk = 0;
    uint32_t chunks_in_riff = 0;  // in the RIFF being written
    uint64_t units_in_riff = 0;
    uint32_t chunks_in_first_riff = 0;  // once RIFF 0 is closed
    std::vector<SuperIndexEntry> super_index;
  };
  struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };

  std::vector<uint8_t> BuildHeader() const;
  std::vector<uint8_t> BuildStandardIndex(Stream stream) const;
  std::vector<uint8_t> BuildIdx1() const;
  uint32_t ChunkId(Stream stream) const;
  uint64_t UnitsOf(Stream stream, uint32_t size) const;
  uint64_t IndexBytes(bool standard_indexes, bool idx1, uint64_t video_chunks,
                      uint64_t audio_chunks) const;
  int WriteChunk(Stream stream, std::span<const uint8_t> data, bool key_frame);
  int LayOutHeader();
  int WriteAt(uint64_t offset, std::span<const uint8_t> bytes);
  int Flush();
  int WriteFailed();
  int Patch32(uint64_t offset, uint32_t value);
  bool NeedsNextRiff(Stream stream, uint64_t chunk_bytes) const;
  int EndRiff(bool more_follow);
  int StartNextRiff();
  bool WriteStructure();
  bool ShedFramesForIndex();
  int Fail(int result);
  int CloseFile();
  void ResetState();

  AviFileLimits limits_;
  // Declared before file_: stdio uses it until fclose.
  std::unique_ptr<char[]> buffer_;
  std::unique_ptr<std::FILE, FileCloser> file_;
  int error_ = AVI_OK;        // first failure met; later writes are refused with it
  std::string created_path_;  // the file, when Create made it (it did not exist)

  bool has_stream_ = false;
  bool has_format_ = false;
  AviStreamInfo info_;
  BitmapInfoHeader format_;
  std::vector<uint8_t> extradata_;
  uint32_t chunk_id_ = 0;
  bool has_audio_ = false;
  AviStreamInfo audio_info_;
  WaveFormatEx wave_format_;
  std::vector<uint8_t> audio_extradata_;

  uint64_t position_ = 0;  // end of the structure written so far
  // Where the stdio stream stands; unknown after a failed write or seek.
  uint64_t file_position_ = 0;
  bool file_position_known_ = false;

  // The RIFF being written and the chunks in its movi list.
  uint64_t riff_start_ = 0;
  uint64_t movi_start_ = 0;
  std::vector<IndexEntry> riff_index_;
  StreamCounts streams_[kStreams];
  uint32_t closed_riffs_ = 0;
  bool riff_cut_ = false;  // a failure while one RIFF was closed and the next begun
  bool first_riff_closed_ = false;
  uint64_t first_riff_size_ = 0;  // payload sizes of RIFF 0 once it is closed
  uint64_t first_movi_size_ = 0;
};
