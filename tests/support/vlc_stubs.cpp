// Stand-ins for the variable-length code getters, for test programs that
// link units which call them (the motion vector unit) without reading any
// code. Every getter reports an invalid code.
#include "decoder/vlc.h"

#include "decoder/decoder_state.h"

namespace {

int Invalid() {
  decoder_state.decode_error = 1;
  return 0;
}

}  // namespace

int Read_macroblock_address_increment() {
  decoder_state.decode_error = 1;
  return 1;
}
int Get_macroblock_type() {
  return Invalid();
}
int Read_coded_block_pattern() {
  return Invalid();
}
int Read_motion_code() {
  return Invalid();
}
int Read_dmvector() {
  return Invalid();
}
int Read_luma_dc_differential() {
  return Invalid();
}
int Read_chroma_dc_differential() {
  return Invalid();
}
