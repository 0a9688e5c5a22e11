// Picture decoding driver: chooses and rotates the frame stores, runs the
// slices of one coded picture (a frame or one field) and keeps the
// bookkeeping of which stores hold valid pictures.
#pragma once

// Decodes the picture whose headers were just read.
void Decode_Coded_Picture();
