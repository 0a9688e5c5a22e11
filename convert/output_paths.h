// The paths a job writes: the names of split files, and the check that no
// output of a job is one of its inputs.
#pragma once

#include <cstdint>
#include <string>

// Split files are numbered after the path without its extension. Only a dot
// after the last directory separator starts an extension, so a dot in a
// directory name is left alone: "out/film.avi" gives "out/film".
std::string Split_Base_Name(const std::string& path);

// The name of split file `number`: "out/film" and 3 give "out/film3.avi".
std::string Split_File_Name(const std::string& base_name, int32_t number);

// True when a file the job could write is one of `input_paths`
// (null-terminated): `output_path` itself, or with `split` any
// Split_File_Name(Split_Base_Name(output_path), N). Where both files exist
// they are compared by device and inode, so symbolic and hard links are
// found; otherwise by their resolved paths. Inputs that are not regular
// files (standard input "-", pipes, devices) are read as streams and
// cannot be overwritten; they are skipped.
bool Output_Overwrites_Input(const std::string& output_path, bool split,
                             const char* const* input_paths);
