#!/usr/bin/env bash
# Generates the seed corpora of the fuzz targets into DIR/<target>/: small
# streams of every kind the decoder takes (ffmpeg-made MPEG-1 and MPEG-2
# elementary streams, system and program streams with audio, interlaced and
# 4:2:2 pictures, and the synthesizer's scenarios), each behind the control
# bytes its target reads first.
#
#   fuzz/make_corpus.sh BUILD_BIN_DIR DIR
set -euo pipefail
bin=$1 dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
src=(-f lavfi -i "testsrc2=size=64x48:rate=25")
sine=(-f lavfi -i "sine=frequency=440:sample_rate=48000")
make() {  # NAME ARGS...: an ffmpeg stream of 6 frames
  local name=$1
  shift
  ffmpeg -v error -y "$@" -frames:v 6 "$work/$name"
}
make mpeg1.m1v "${src[@]}" -c:v mpeg1video -g 3 -bf 1
make mpeg2.m2v "${src[@]}" -c:v mpeg2video -g 3 -bf 1
make interlaced.m2v -f lavfi -i "testsrc2=size=64x64:rate=25" -c:v mpeg2video -g 3 -bf 1 \
  -flags +ilme+ildct -top 1
make chroma422.m2v "${src[@]}" -c:v mpeg2video -pix_fmt yuv422p -g 3
make tools.m2v "${src[@]}" -c:v mpeg2video -g 3 -bf 1 -intra_vlc 1 -alternate_scan 1 -non_linear_quant 1 -qmax 28
make system.mpg "${src[@]}" "${sine[@]}" -c:v mpeg1video -g 3 -c:a mp2 -shortest -f mpeg
make program.vob "${src[@]}" "${sine[@]}" -c:v mpeg2video -g 3 -bf 1 -c:a mp2 -shortest -f vob
make program_ac3.vob "${src[@]}" "${sine[@]}" -c:v mpeg2video -g 3 -bf 1 -c:a ac3 -shortest -f vob
for scenario in $("$bin/vidorlan-synth" --list | cut -f1); do
  "$bin/vidorlan-synth" "$scenario" "$work/$scenario.m2v"
done

# The audio target takes elementary streams: MPEG audio, AC-3, DTS, and
# LPCM as its 3-byte header (24 bit, 48 kHz, stereo) before the samples.
audio="$dir/audio_fuzzer"
mkdir -p "$audio"
tone=(-f lavfi -i "sine=frequency=440:sample_rate=48000" -t 0.2 -ac 2)
ffmpeg -v error -y "${tone[@]}" -c:a mp2 -f mp2 "$work/a.mp2"
ffmpeg -v error -y "${tone[@]}" -c:a libmp3lame -write_xing 0 -id3v2_version 0 -f mp3 "$work/a.mp3"
ffmpeg -v error -y "${tone[@]}" -c:a ac3 -f ac3 "$work/a.ac3"
ffmpeg -v error -y "${tone[@]}" -c:a dca -strict -2 -f dts "$work/a.dts"
ffmpeg -v error -y "${tone[@]}" -f s24be "$work/a.pcm"
{ printf '\x00\x40'; cat "$work/a.mp2"; } >"$audio/mp2"
{ printf '\x04\x13'; cat "$work/a.mp3"; } >"$audio/mp3"
{ printf '\x01\x40'; cat "$work/a.ac3"; } >"$audio/ac3"
{ printf '\x06\x55'; cat "$work/a.dts"; } >"$audio/dts"
{ printf '\x03\x21\x00\x81\x80'; cat "$work/a.pcm"; } >"$audio/lpcm"
rm "$work"/a.*

# Control bytes per target: decoder_fuzzer one file (0) and two pieces (1,
# cut in the middle); frame_source_fuzzer a plain frame and a cropped,
# deinterlaced 4:3 one; conversion_job_fuzzer an uncompressed job with
# decoded audio and an FFV1 job split every second frame with copied audio.
declare -A prefixes=(
  [decoder_fuzzer]='\x00 \x01\x80'
  [frame_source_fuzzer]='\x00\x00\x00 \x05\x08\xF0'
  [conversion_job_fuzzer]='\x00\x05\x01 \x93\x07\x03'
)
for target in "${!prefixes[@]}"; do
  mkdir -p "$dir/$target"
  for stream in "$work"/*; do
    n=0
    for prefix in ${prefixes[$target]}; do
      { printf "$prefix"; cat "$stream"; } >"$dir/$target/$(basename "$stream").$n"
      n=$((n + 1))
    done
  done
done
echo "corpora in $dir"
