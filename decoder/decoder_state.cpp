#include "decoder/decoder_state.h"

DecoderState decoder_state;
