#!/usr/bin/env bash
# Decodes a stream made by the ffmpeg encoder with vidorlan-convert --y4m and
# with ffmpeg, and compares the two frame by frame.
#
#   decoder_vs_ffmpeg.sh CONVERT COMPARE WORKDIR CASE
#
# Two conforming decoders differ only through their inverse transforms:
# intra-only streams must agree within +-2 per sample and 55 dB mean PSNR;
# long-GOP streams (where differences are carried by prediction) at 50 dB
# mean luma and chroma PSNR with no frame below 45 dB.
set -euo pipefail

convert=$1 compare=$2 work=$3 name=$4
command -v ffmpeg >/dev/null || { echo "ffmpeg missing: skipped"; exit 77; }
mkdir -p "$work"

intra=(--max-diff 2 --min-psnr 55)
long_gop=(--min-psnr 50 --min-frame-psnr 45)
size=352x288 frames=30 rate=25 pix=yuv420p
input=(-f lavfi -i "testsrc2=size=SIZE:rate=RATE")
audio=() format=() vf=() ext=m2v limits=("${long_gop[@]}")

case $name in
  mpeg1_es)
    ext=m1v; video=(-c:v mpeg1video -q:v 4 -g 15 -bf 2) ;;
  mpeg1_intra)
    ext=m1v; video=(-c:v mpeg1video -q:v 3 -g 1); limits=("${intra[@]}") ;;
  mpeg1_odd_size)
    ext=m1v; size=200x150; video=(-c:v mpeg1video -q:v 5 -g 9 -bf 2) ;;
  mpeg1_system)
    ext=mpg; size=352x240; rate=30000/1001; video=(-c:v mpeg1video -b:v 1500k -g 15 -bf 2)
    audio=(-f lavfi -i "sine=frequency=440:sample_rate=44100" -c:a mp2 -b:a 128k -shortest)
    format=(-f mpeg) ;;
  mpeg2_es)
    size=720x576; frames=25; video=(-c:v mpeg2video -q:v 3 -g 12 -bf 2) ;;
  mpeg2_intra)
    size=720x576; frames=10; video=(-c:v mpeg2video -q:v 2 -g 1); limits=("${intra[@]}") ;;
  mpeg2_low_quality)
    video=(-c:v mpeg2video -qmin 31 -q:v 31 -g 12 -bf 2) ;;
  mpeg2_high_quality)
    video=(-c:v mpeg2video -qmin 1 -q:v 1 -g 6 -bf 1) ;;
  mpeg2_program_stream)
    ext=mpg; video=(-c:v mpeg2video -b:v 4M -g 12 -bf 2)
    audio=(-f lavfi -i "sine=frequency=440:sample_rate=48000" -c:a mp2 -b:a 192k -shortest)
    format=(-f vob) ;;
  mpeg2_dvd_vob)
    ext=vob; size=720x576; frames=40; video=(-c:v mpeg2video -b:v 6M -maxrate 9M -bufsize 1835k -g 15 -bf 2 -flags +ilme+ildct)
    audio=(-f lavfi -i "sine=frequency=440:sample_rate=48000" -c:a ac3 -b:a 192k -shortest)
    format=(-f dvd -muxrate 10080000 -packetsize 2048) ;;
  mpeg2_interlaced_tff)
    size=720x576; frames=20; video=(-c:v mpeg2video -q:v 3 -g 12 -bf 2 -flags +ilme+ildct -alternate_scan 1 -field_order tt)
    vf=(-vf "tinterlace=interleave_top,setfield=tff"); rate=50 ;;
  mpeg2_interlaced_bff)
    size=704x480; frames=20; video=(-c:v mpeg2video -q:v 3 -g 12 -bf 2 -flags +ilme+ildct -field_order bb)
    vf=(-vf "tinterlace=interleave_bottom,setfield=bff"); rate=60000/1001 ;;
  mpeg2_interlaced_odd_size)
    size=350x278; frames=20; video=(-c:v mpeg2video -q:v 4 -g 12 -bf 2 -flags +ilme+ildct -field_order tt)
    vf=(-vf "tinterlace=interleave_top,setfield=tff"); rate=50 ;;
  mpeg2_odd_size)
    size=721x479; frames=15; video=(-c:v mpeg2video -q:v 4 -g 12 -bf 2) ;;
  mpeg2_422)
    pix=yuv422p; size=720x576; frames=15; video=(-c:v mpeg2video -q:v 3 -g 12 -bf 2 -flags +ilme+ildct -field_order tt)
    vf=(-vf "tinterlace=interleave_top,setfield=tff"); rate=50 ;;
  mpeg2_422_intra)
    pix=yuv422p; frames=10; video=(-c:v mpeg2video -q:v 2 -g 1); limits=("${intra[@]}") ;;
  mpeg2_tools_intra)
    frames=10; video=(-c:v mpeg2video -q:v 2 -g 1 -alternate_scan 1 -non_linear_quant 1 -qmax 28 -intra_vlc 1)
    limits=("${intra[@]}") ;;
  mpeg2_tools)
    video=(-c:v mpeg2video -q:v 4 -g 12 -bf 2 -alternate_scan 1 -non_linear_quant 1 -qmax 28 -intra_vlc 1) ;;
  mpeg2_dc9_intra|mpeg2_dc10_intra|mpeg2_dc11_intra)
    bits=${name#mpeg2_dc}; bits=${bits%_intra}
    frames=10; video=(-c:v mpeg2video -q:v 2 -g 1 -dc "$bits"); limits=("${intra[@]}") ;;
  mpeg2_custom_matrices)
    matrix=8,9,10,11,12,13,14,15,9,10,11,12,13,14,15,16,10,11,12,13,14,15,16,17,11,12,13,14,15,16,17,18,12,13,14,15,16,17,18,19,13,14,15,16,17,18,19,20,14,15,16,17,18,19,20,21,15,16,17,18,19,20,21,22
    inter=16,17,18,19,20,21,22,23,17,18,19,20,21,22,23,24,18,19,20,21,22,23,24,25,19,20,21,22,23,24,25,26,20,21,22,23,24,25,26,27,21,22,23,24,25,26,27,28,22,23,24,25,26,27,28,29,23,24,25,26,27,28,29,30
    video=(-c:v mpeg2video -q:v 4 -g 12 -bf 2 -intra_matrix "$matrix" -inter_matrix "$inter") ;;
  mpeg2_custom_matrices_intra)
    matrix=8,30,29,28,27,26,25,24,30,29,28,27,26,25,24,23,29,28,27,26,25,24,23,22,28,27,26,25,24,23,22,21,27,26,25,24,23,22,21,20,26,25,24,23,22,21,20,19,25,24,23,22,21,20,19,18,24,23,22,21,20,19,18,17
    frames=10; video=(-c:v mpeg2video -q:v 2 -g 1 -intra_matrix "$matrix"); limits=("${intra[@]}") ;;
  *)
    echo "unknown case $name" >&2; exit 2 ;;
esac

stream=$work/$name.$ext
if [ ! -s "$stream" ]; then
  src=("${input[@]}")
  src[3]=${src[3]/SIZE/$size}
  src[3]=${src[3]/RATE/$rate}
  ffmpeg -v error -y "${src[@]}" "${audio[@]:0:4}" "${vf[@]}" -frames:v "$frames" -pix_fmt "$pix" \
    "${video[@]}" "${audio[@]:4}" "${format[@]}" "$stream.tmp.$ext"
  mv "$stream.tmp.$ext" "$stream"
fi

"$convert" --y4m "$work/$name.ours.y4m" "$stream"
ffmpeg -v error -y -i "$stream" -fps_mode passthrough -f yuv4mpegpipe -strict -1 "$work/$name.ref.y4m"
"$compare" "$work/$name.ours.y4m" "$work/$name.ref.y4m" "${limits[@]}"
