// A small reader of the RIFF structure of an AVI file, written from the AVI
// and OpenDML layouts, for checking what ffprobe does not show: which RIFFs
// a file has, its counts and its indexes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace avi_test {

inline uint32_t Fourcc(const char* s) {
  return static_cast<uint32_t>(static_cast<unsigned char>(s[0])) |
         static_cast<uint32_t>(static_cast<unsigned char>(s[1])) << 8 |
         static_cast<uint32_t>(static_cast<unsigned char>(s[2])) << 16 |
         static_cast<uint32_t>(static_cast<unsigned char>(s[3])) << 24;
}

struct SuperIndexEntry {
  uint64_t offset;
  uint32_t size;
  uint32_t duration;
};

struct IndexedChunk {
  uint64_t data_offset;  // position of the chunk's data in the file
  uint32_t size;
  bool key_frame;
  uint32_t fourcc = 0;  // idx1 entries: the chunk id
};

// What a strl and the indexes say about one stream.
struct StreamStructure {
  std::string type;  // fccType: "vids", "auds"
  uint32_t scale = 0;
  uint32_t rate = 0;
  uint32_t length = 0;
  uint32_t suggested_buffer = 0;
  uint32_t sample_size = 0;
  bool has_indx = false;
  std::vector<SuperIndexEntry> super_index;
  // All chunks of the ix0N indexes the super index points to, in order.
  std::vector<IndexedChunk> odml_index;
};

struct AviStructure {
  std::string error;                    // empty when the whole structure could be walked
  std::vector<std::string> riff_types;  // "AVI ", "AVIX", ... in file order
  uint32_t avih_total_frames = 0;
  uint32_t avih_streams = 0;
  bool has_dmlh = false;
  std::string dmlh_lists;  // the lists around dmlh in the first RIFF: "hdrl/odml"
  uint32_t dmlh_total_frames = 0;
  std::vector<IndexedChunk> idx1;  // resolved to file positions
  std::vector<StreamStructure> streams;
  // The first stream's figures.
  uint32_t strh_length = 0;
  bool has_indx = false;
  std::vector<SuperIndexEntry> super_index;
  std::vector<IndexedChunk> odml_index;
};

class AviStructureReader {
 public:
  explicit AviStructureReader(const std::string& path) : file_(std::fopen(path.c_str(), "rb")) {}
  ~AviStructureReader() {
    if (file_) std::fclose(file_);
  }
  AviStructureReader(const AviStructureReader&) = delete;
  AviStructureReader& operator=(const AviStructureReader&) = delete;

  AviStructure Read() {
    AviStructure s;
    if (!file_) return Fail(s, "cannot open");
    fseeko(file_, 0, SEEK_END);
    const uint64_t file_size = static_cast<uint64_t>(ftello(file_));
    uint64_t pos = 0;
    uint64_t first_movi = 0;
    while (pos + 12 <= file_size) {
      if (U32(pos) != Fourcc("RIFF")) return Fail(s, "top-level chunk is not RIFF");
      const uint64_t size = U32(pos + 4);
      const uint32_t type = U32(pos + 8);
      s.riff_types.push_back(FourccText(type));
      const uint64_t end = pos + 8 + size;
      if (end > file_size) return Fail(s, "RIFF runs past the end of the file");
      if (type == Fourcc("AVI ")) {
        if (!ReadFirstRiff(pos + 12, end, "", &s, &first_movi)) return s;
      }
      pos = end + (size & 1);
    }
    if (pos != file_size) return Fail(s, "bytes after the last RIFF");
    for (size_t i = 0; i < s.streams.size(); ++i)
      for (const SuperIndexEntry& e : s.streams[i].super_index)
        if (!ReadStandardIndex(e, static_cast<int>(i), &s)) return s;
    if (!s.streams.empty()) {
      s.strh_length = s.streams[0].length;
      s.has_indx = s.streams[0].has_indx;
      s.super_index = s.streams[0].super_index;
      s.odml_index = s.streams[0].odml_index;
    }
    return s;
  }

  // Whether the chunk whose data starts at `data_offset` has `fourcc` and
  // `size` in its header.
  bool ChunkMatches(uint64_t data_offset, uint32_t fourcc, uint32_t size) {
    return data_offset >= 8 && U32(data_offset - 8) == fourcc && U32(data_offset - 4) == size;
  }

 private:
  static AviStructure& Fail(AviStructure& s, const std::string& why) {
    if (s.error.empty()) s.error = why;
    return s;
  }
  static bool Bad(AviStructure* s, const std::string& why) {
    Fail(*s, why);
    return false;
  }
  static std::string FourccText(uint32_t v) {
    std::string t(4, ' ');
    for (int i = 0; i < 4; ++i) t[i] = static_cast<char>(v >> (8 * i));
    return t;
  }

  uint32_t U32(uint64_t offset) {
    unsigned char b[4] = {};
    fseeko(file_, static_cast<off_t>(offset), SEEK_SET);
    if (std::fread(b, 1, 4, file_) != 4) return 0;
    return b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24;
  }
  uint64_t U64(uint64_t offset) { return U32(offset) | uint64_t{U32(offset + 4)} << 32; }
  uint16_t U16(uint64_t offset) { return static_cast<uint16_t>(U32(offset)); }
  uint8_t U8(uint64_t offset) { return static_cast<uint8_t>(U32(offset)); }

  bool ReadFirstRiff(uint64_t pos, uint64_t end, const std::string& lists, AviStructure* s,
                     uint64_t* movi) {
    while (pos + 8 <= end) {
      const uint32_t id = U32(pos);
      const uint32_t size = U32(pos + 4);
      const uint64_t data = pos + 8;
      if (data + size > end) return Bad(s, "chunk runs past its RIFF");
      if (id == Fourcc("LIST")) {
        const uint32_t type = U32(data);
        if (type == Fourcc("movi")) *movi = data;
        if (type == Fourcc("hdrl") || type == Fourcc("strl") || type == Fourcc("odml")) {
          const std::string inner = (lists.empty() ? "" : lists + "/") + FourccText(type);
          if (!ReadFirstRiff(data + 4, data + size, inner, s, movi)) return false;
        }
      } else if (id == Fourcc("avih")) {
        s->avih_total_frames = U32(data + 16);
        s->avih_streams = U32(data + 24);
      } else if (id == Fourcc("strh")) {
        StreamStructure stream;
        stream.type = FourccText(U32(data));
        stream.scale = U32(data + 20);
        stream.rate = U32(data + 24);
        stream.length = U32(data + 32);
        stream.suggested_buffer = U32(data + 36);
        stream.sample_size = U32(data + 44);
        s->streams.push_back(stream);
      } else if (id == Fourcc("dmlh")) {
        s->has_dmlh = true;
        s->dmlh_lists = lists;
        s->dmlh_total_frames = U32(data);
      } else if (id == Fourcc("indx")) {
        if (s->streams.empty()) return Bad(s, "indx before strh");
        StreamStructure& stream = s->streams.back();
        stream.has_indx = true;
        if (U16(data) != 4 || U8(data + 3) != 0) return Bad(s, "indx is not a super index");
        const uint32_t entries = U32(data + 4);
        if (24 + uint64_t{entries} * 16 > size) return Bad(s, "indx entries overflow");
        for (uint32_t i = 0; i < entries; ++i) {
          const uint64_t e = data + 24 + uint64_t{i} * 16;
          stream.super_index.push_back({U64(e), U32(e + 8), U32(e + 12)});
        }
      } else if (id == Fourcc("idx1")) {
        if (*movi == 0) return Bad(s, "idx1 before movi");
        for (uint32_t i = 0; i + 16 <= size; i += 16) {
          const uint64_t e = data + i;
          // Offsets count from the 'movi' list type; +8 skips the header.
          s->idx1.push_back(
              {*movi + U32(e + 8) + 8, U32(e + 12), (U32(e + 4) & 0x10) != 0, U32(e)});
        }
      }
      pos = data + size + (size & 1);
    }
    return true;
  }

  bool ReadStandardIndex(const SuperIndexEntry& e, int stream, AviStructure* s) {
    const std::string name = "ix0" + std::to_string(stream);
    if (U32(e.offset) != Fourcc(name.c_str())) return Bad(s, "super index entry is not " + name);
    const uint64_t data = e.offset + 8;
    if (U32(e.offset + 4) + 8 != e.size) return Bad(s, "ix00 size differs from the super index");
    if (U16(data) != 2 || U8(data + 3) != 1) return Bad(s, "ix00 is not a standard index");
    const uint32_t entries = U32(data + 4);
    StreamStructure& info = s->streams[stream];
    // A stream of blocks counts them, one of frames its chunks.
    if (info.sample_size == 0 && entries != e.duration)
      return Bad(s, "ix00 entries differ from its duration");
    const uint64_t base = U64(data + 12);
    for (uint32_t i = 0; i < entries; ++i) {
      const uint64_t entry = data + 24 + uint64_t{i} * 8;
      const uint32_t size = U32(entry + 4);
      info.odml_index.push_back(
          {base + U32(entry), size & 0x7FFFFFFFu, (size & 0x80000000u) == 0, U32(data + 8)});
    }
    return true;
  }

  std::FILE* file_;
};

}  // namespace avi_test
