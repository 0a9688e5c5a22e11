// Sequence, group of pictures, picture and slice headers with all
// extensions and user data.
#pragma once

// Reads start codes and headers until the header of a decodable picture has
// been read (0; its slices follow). Allocates the frame stores at the first
// sequence header. Returns DECODER_NO_MEMORY when that allocation fails,
// DECODER_UNKNOWN_STREAM when the first sequence header describes a picture
// that cannot be decoded (zero size, reserved chroma_format), and
// DECODER_END_OF_SEQUENCE at a sequence_end_code, or where a later sequence
// header changes the picture size or chroma format.
int Seek_Next_Picture();

// Called right after a slice start code: returns slice_vertical_position_extension
// (0 when absent) and sets quantiser_scale and intra_slice.
int Read_Slice_Header();
