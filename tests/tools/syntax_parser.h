// A reference parser of MPEG-1/MPEG-2 video from the picture layer down to
// the coefficients, written from the standard's syntax for the tests of the
// stream synthesizer: it shares only the code tables with the synthesizer
// (which the tests check on their own) and reports every macroblock with the
// motion vectors it decodes by the rules of ISO/IEC 13818-2 7.6.3.1 and the
// predictor resets of the macroblock layer.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tools/synth/code_tables.h"

namespace synth_test {

using synth::DctTable;
using synth::RunLevelCode;
using synth::ValueCode;

// The '0' and '1' of a code written with spaces.
inline std::string Bits(std::string_view code) {
  std::string bits;
  for (char c : code) {
    if (c == '0' || c == '1') bits.push_back(c);
  }
  return bits;
}

// 7.6.3.1: a vector component from its prediction and the coded difference.
inline int DecodeComponent(int prediction, int r_size, int motion_code, int motion_residual) {
  const int f = 1 << r_size;
  const int high = 16 * f - 1;
  const int low = -16 * f;
  const int range = 32 * f;
  int delta = motion_code;
  if (f != 1 && motion_code != 0) {
    delta = (std::abs(motion_code) - 1) * f + motion_residual + 1;
    if (motion_code < 0) delta = -delta;
  }
  int vector = prediction + delta;
  if (vector < low) vector += range;
  if (vector > high) vector -= range;
  return vector;
}

class Reader {
 public:
  explicit Reader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
  int Bit() {
    if (position_ >= bytes_.size() * 8) {
      overrun_ = true;
      return 0;
    }
    const int bit = (bytes_[position_ / 8] >> (7 - position_ % 8)) & 1;
    ++position_;
    return bit;
  }
  uint32_t Get(int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) v = (v << 1) | static_cast<uint32_t>(Bit());
    return v;
  }
  uint32_t Peek(int n) {
    const size_t saved = position_;
    const uint32_t v = Get(n);
    position_ = saved;
    overrun_ = false;
    return v;
  }
  // Aligns and moves to the next 00 00 01; returns the start code value or
  // -1 at the end.
  int NextStartCode() {
    position_ = (position_ + 7) / 8 * 8;
    for (size_t i = position_ / 8; i + 3 < bytes_.size(); ++i) {
      if (bytes_[i] == 0 && bytes_[i + 1] == 0 && bytes_[i + 2] == 1) {
        position_ = (i + 4) * 8;
        return bytes_[i + 3];
      }
    }
    position_ = bytes_.size() * 8;
    return -1;
  }
  // The value of the code in `table` that the next bits spell.
  int Code(std::span<const ValueCode> table) {
    std::string bits;
    while (bits.size() < 16) {
      bits.push_back(Bit() ? '1' : '0');
      for (const ValueCode& e : table) {
        if (Bits(e.code) == bits) return e.value;
      }
    }
    ADD_FAILURE() << "no code matches " << bits << " at bit " << position_;
    failed_ = true;
    return 0;
  }
  bool ok() const { return !overrun_ && !failed_; }
  void Fail() { failed_ = true; }

 private:
  const std::vector<uint8_t>& bytes_;
  size_t position_ = 0;
  bool overrun_ = false;
  bool failed_ = false;
};

struct ParsedMacroblock {
  int picture = 0;
  int address = 0;
  bool skipped = false;
  bool intra = false;
  bool forward = false;
  bool backward = false;
  int motion_type = 0;
  int vector[2][2][2] = {};  // [r][s][t], field vectors in field units
  int field_select[2][2] = {};
  int dmvector[2] = {};
};

class SyntaxParser {
 public:
  explicit SyntaxParser(const std::vector<uint8_t>& bytes) : in_(bytes) {}

  // Parses the whole stream; false after a syntax error.
  bool Run() {
    for (int code = in_.NextStartCode(); code >= 0 && in_.ok(); code = in_.NextStartCode()) {
      if (code == 0xB3) {
        SequenceHeader();
      } else if (code == 0xB5) {
        Extension();
      } else if (code == 0x00) {
        PictureHeader();
      } else if (code >= 0x01 && code <= 0xAF) {
        Slice(code);
      } else if (code == 0xB7) {
        return in_.ok();
      }
    }
    return false;
  }

  const std::vector<ParsedMacroblock>& macroblocks() const { return macroblocks_; }
  // Macroblocks per picture, coded and skipped.
  const std::vector<int>& counts() const { return counts_; }

 private:
  bool FramePicture() const { return !mpeg2_ || structure_ == 3; }
  int Blocks() const { return mpeg2_ ? 4 + (2 << (chroma_format_ - 1)) : 6; }

  void SequenceHeader() {
    width_ = static_cast<int>(in_.Get(12));
    height_ = static_cast<int>(in_.Get(12));
    in_.Get(4 + 4 + 18 + 1 + 10 + 1);
    for (int matrix = 0; matrix < 2; ++matrix) {
      if (in_.Bit()) in_.Get(8 * 64);
    }
  }

  void Extension() {
    const uint32_t id = in_.Get(4);
    if (id == 1) {
      mpeg2_ = true;
      in_.Get(8);
      progressive_sequence_ = in_.Bit();
      chroma_format_ = static_cast<int>(in_.Get(2));
      width_ |= static_cast<int>(in_.Get(2)) << 12;
      height_ |= static_cast<int>(in_.Get(2)) << 12;
    } else if (id == 8) {
      for (auto& s : f_code_) {
        for (int& f : s) f = static_cast<int>(in_.Get(4));
      }
      in_.Get(2);  // intra_dc_precision
      structure_ = static_cast<int>(in_.Get(2));
      in_.Bit();  // top_field_first
      frame_pred_frame_dct_ = in_.Bit();
      concealment_ = in_.Bit();
      in_.Bit();  // q_scale_type
      intra_vlc_format_ = in_.Bit();
    }
  }

  void PictureHeader() {
    ++picture_;
    counts_.push_back(0);
    in_.Get(10);
    type_ = static_cast<int>(in_.Get(3));
    in_.Get(16);
    if (type_ == 2 || type_ == 3) {
      full_pel_[0] = in_.Bit();
      f_code_[0][0] = f_code_[0][1] = static_cast<int>(in_.Get(3));
    }
    if (type_ == 3) {
      full_pel_[1] = in_.Bit();
      f_code_[1][0] = f_code_[1][1] = static_cast<int>(in_.Get(3));
    }
    structure_ = 3;
    frame_pred_frame_dct_ = 1;
    concealment_ = 0;
    intra_vlc_format_ = 0;
  }

  int MbWidth() const { return (width_ + 15) / 16; }

  void Slice(int code) {
    int row = code - 1;
    if (mpeg2_ && height_ > 2800) row += static_cast<int>(in_.Get(3)) << 7;
    in_.Get(5);
    if (mpeg2_ && in_.Peek(1)) {
      in_.Get(1 + 1 + 7);  // intra_slice_flag, intra_slice, reserved_bits
    }
    while (in_.Bit()) in_.Get(8);  // extra_bit_slice, extra_information_slice
    for (auto& r : pmv_) {
      for (auto& s : r) s[0] = s[1] = 0;
    }
    int address = row * MbWidth() - 1;
    bool first = true;
    while (in_.ok() && in_.Peek(23) != 0) {
      int increment = 0;
      while (in_.Peek(11) == 0b00000001111) in_.Get(11);
      while (in_.Peek(11) == 0b00000001000) {
        in_.Get(11);
        increment += 33;
      }
      increment += in_.Code(synth::MacroblockAddressIncrementCodes());
      if (!first) {
        for (int a = address + 1; a < address + increment; ++a) Skipped(a);
      }
      first = false;
      address += increment;
      Macroblock(address);
    }
  }

  void Skipped(int address) {
    ParsedMacroblock mb;
    mb.picture = picture_;
    mb.address = address;
    mb.skipped = true;
    if (type_ == 2) {
      for (auto& r : pmv_) r[0][0] = r[0][1] = 0;
    }
    macroblocks_.push_back(mb);
    ++counts_.back();
  }

  int MotionComponent(int prediction, int r_size) {
    const int magnitude = in_.Code(synth::MotionCodeMagnitudeCodes());
    int motion_code = magnitude;
    if (magnitude != 0 && in_.Bit()) motion_code = -magnitude;
    const int residual = r_size != 0 && motion_code != 0 ? static_cast<int>(in_.Get(r_size)) : 0;
    return DecodeComponent(prediction, r_size, motion_code, residual);
  }

  void MotionVector(ParsedMacroblock& mb, int r, int s, bool field_format, bool dmv) {
    int* pmv = pmv_[r][s];
    if (!mpeg2_) {
      // ISO/IEC 11172-2: one vector; full-sample vectors keep half-sample
      // predictors here, halved for decoding.
      const int r_size = f_code_[s][0] - 1;
      for (int t = 0; t < 2; ++t) {
        const int value = full_pel_[s] ? MotionComponent(pmv[t] / 2, r_size) * 2
                                       : MotionComponent(pmv[t], r_size);
        pmv[t] = mb.vector[r][s][t] = value;
      }
      return;
    }
    pmv[0] = mb.vector[r][s][0] = MotionComponent(pmv[0], f_code_[s][0] - 1);
    if (dmv) mb.dmvector[0] = in_.Code(synth::DmvectorCodes());
    const bool halve = field_format && FramePicture();
    const int vertical = MotionComponent(halve ? pmv[1] >> 1 : pmv[1], f_code_[s][1] - 1);
    mb.vector[r][s][1] = vertical;
    pmv[1] = halve ? vertical * 2 : vertical;
    if (dmv) mb.dmvector[1] = in_.Code(synth::DmvectorCodes());
  }

  void MotionVectors(ParsedMacroblock& mb, int s) {
    if (!mpeg2_) {
      MotionVector(mb, 0, s, false, false);
      return;
    }
    int count = 1;
    bool field_format = !FramePicture();
    const bool dmv = mb.motion_type == 3;
    if (FramePicture()) {
      field_format = mb.motion_type != 2;
      if (mb.motion_type == 1) count = 2;
    } else if (mb.motion_type == 2) {
      count = 2;
    }
    if (count == 1) {
      if (field_format && !dmv) mb.field_select[0][s] = mb.field_select[1][s] = in_.Bit();
      MotionVector(mb, 0, s, field_format, dmv);
      pmv_[1][s][0] = pmv_[0][s][0];
      pmv_[1][s][1] = pmv_[0][s][1];
    } else {
      for (int r = 0; r < 2; ++r) {
        mb.field_select[r][s] = in_.Bit();
        MotionVector(mb, r, s, field_format, false);
      }
    }
  }

  void Coefficients(bool intra, int component) {
    if (intra) {
      const int size = in_.Code(component == 0 ? synth::DcSizeLuminanceCodes()
                                               : synth::DcSizeChrominanceCodes());
      in_.Get(size);
      if (type_ == 4) return;
    }
    const bool b15 = intra && intra_vlc_format_;
    const std::string eob = Bits(b15 ? synth::kEndOfBlockB15 : synth::kEndOfBlockB14);
    int position = intra ? 1 : 0;
    for (bool first = !intra;; first = false) {
      if (first && in_.Peek(1) == 1) {  // "1s": run 0, level 1
        in_.Get(2);
        ++position;
        continue;
      }
      if (in_.Peek(static_cast<int>(eob.size())) == std::stoul(eob, nullptr, 2)) {
        in_.Get(static_cast<int>(eob.size()));
        return;
      }
      int run;
      if (in_.Peek(6) == 1) {  // escape
        in_.Get(6);
        run = static_cast<int>(in_.Get(6));
        if (mpeg2_) {
          if ((in_.Get(12) & 0x7FF) == 0) in_.Fail();
        } else {
          const uint32_t level = in_.Get(8);
          if (level == 0 || level == 128) in_.Get(8);
        }
      } else {
        std::vector<ValueCode> table;
        const auto codes = synth::DctCoefficientCodes(b15 ? DctTable::kB15 : DctTable::kB14);
        for (const RunLevelCode& e : codes) table.push_back({e.run, e.code});
        run = in_.Code(table);
        in_.Bit();  // sign
      }
      position += run + 1;
      if (position > 64 || !in_.ok()) {
        in_.Fail();
        return;
      }
    }
  }

  void Macroblock(int address) {
    ParsedMacroblock mb;
    mb.picture = picture_;
    mb.address = address;
    const int type = in_.Code(synth::MacroblockTypeCodes(type_));
    mb.intra = type & 1;
    const bool pattern = type & 2;
    mb.backward = type & 4;
    mb.forward = type & 8;
    if (mpeg2_ && (mb.forward || mb.backward)) {
      mb.motion_type = FramePicture() && frame_pred_frame_dct_ ? 2 : static_cast<int>(in_.Get(2));
    } else if (mb.intra && concealment_) {
      mb.motion_type = FramePicture() ? 2 : 1;
    } else if (type_ == 2 && !mb.intra) {
      mb.motion_type = FramePicture() ? 2 : 1;  // no motion compensation
    }
    if (mpeg2_ && FramePicture() && !frame_pred_frame_dct_ && (mb.intra || pattern)) in_.Bit();
    if (type & 16) in_.Get(5);
    const bool concealment = mb.intra && concealment_;
    if (mb.forward || concealment) MotionVectors(mb, 0);
    if (mb.backward) MotionVectors(mb, 1);
    if (concealment && in_.Bit() != 1) in_.Fail();  // marker_bit
    int cbp = mb.intra ? (1 << Blocks()) - 1 : 0;
    if (pattern) {
      cbp = in_.Code(synth::CodedBlockPatternCodes());
      if (Blocks() > 6) cbp = (cbp << (Blocks() - 6)) | static_cast<int>(in_.Get(Blocks() - 6));
      if (cbp == 0) in_.Fail();
    }
    for (int b = 0; b < Blocks(); ++b) {
      if (cbp & (1 << (Blocks() - 1 - b))) Coefficients(mb.intra, b < 4 ? 0 : 1 + (b & 1));
    }
    if (type_ == 4 && in_.Bit() != 1) in_.Fail();  // end_of_macroblock
    if (mb.intra && !concealment_) {
      for (auto& r : pmv_) {
        for (auto& s : r) s[0] = s[1] = 0;
      }
    }
    if (type_ == 2 && !mb.intra && !mb.forward) {
      for (auto& r : pmv_) r[0][0] = r[0][1] = 0;
    }
    macroblocks_.push_back(mb);
    ++counts_.back();
  }

  Reader in_;
  bool mpeg2_ = false;
  int width_ = 0;
  int height_ = 0;
  int progressive_sequence_ = 1;
  int chroma_format_ = 1;
  int picture_ = -1;
  int type_ = 0;
  int structure_ = 3;
  int frame_pred_frame_dct_ = 1;
  int concealment_ = 0;
  int intra_vlc_format_ = 0;
  int full_pel_[2] = {};
  int f_code_[2][2] = {};
  int pmv_[2][2][2] = {};
  std::vector<ParsedMacroblock> macroblocks_;
  std::vector<int> counts_;
};

}  // namespace synth_test
