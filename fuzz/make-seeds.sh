#!/usr/bin/env bash
# Writes the seed corpora of the file and profile targets: small valid files the mutator
# can take apart. Usage: fuzz/make-seeds.sh MAKE_SEED_PROFILES_TOOL OUTPUT_FOLDER
# OUTPUT_FOLDER/icc gets ICC profiles, OUTPUT_FOLDER/image JPEG, PNG and TIFF files of every
# channel layout and depth the loader handles, with orientation tags and embedded profiles;
# OUTPUT_FOLDER/dds block-compressed DDS files of each kind, with and without mip levels.
set -euo pipefail
tool=$1
out=$2
mkdir -p "$out/icc" "$out/image" "$out/dds"
"$tool" "$out/icc"

img=$out/image
# Tiny images keep each seed a few hundred bytes and each execution fast.
make() { # NAME CHANNELS [oiiotool options after the pattern...]
  local name=$1 channels=$2
  shift 2
  oiiotool --nosoftwareattrib --pattern checker:width=2:height=2 5x3 "$channels" "$@" -o "$img/$name"
}
make rgb8.jpg 3 -d uint8
make grey8.jpg 1 -d uint8
make rgb8_orient6.jpg 3 -d uint8 --attrib Orientation 6
make rgb8_srgb.jpg 3 -d uint8 --iccread "$out/icc/sRGB_IEC61966-2-1_black_scaled.icc"
make grey8_profile.jpg 1 -d uint8 --iccread "$out/icc/grey22.icc"
make rgba8.png 4 -d uint8
make grey16.png 1 -d uint16
make greya8.png 2 -d uint8
make rgb16_adobe.png 3 -d uint16 --iccread "$out/icc/Adobe98.icc"
make rgb8_orient8.png 3 -d uint8 --attrib Orientation 8
make rgb16.tif 3 -d uint16 --compression none
make rgba8_lzw.tif 4 -d uint8 --compression lzw
make rgb8_orient5.tif 3 -d uint8 --attrib Orientation 5 --compression zip
make rgb16_prophoto.tif 3 -d uint16 --iccread "$out/icc/ProPhoto.icc" --compression none
make grey16_orient3.tif 1 -d uint16 --attrib Orientation 3
make rgb_float.tif 3 -d float --compression none
make rgb8_tiled.tif 3 -d uint8 --tile 16 16 --compression none
make five8.tif 5 -d uint8 --compression none

# DDS: the 128-byte header (magic, size 124, height, width, mip count, FourCC) and a
# patterned body of exactly the bytes the levels need.
# le32 prints a little-endian 32-bit value as \xHH escapes for printf %b.
le32() { printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($1 & 255)) $((($1 >> 8) & 255)) $((($1 >> 16) & 255)) $((($1 >> 24) & 255)); }
dds() { # NAME FOURCC WIDTH HEIGHT MIPS BODY_BYTES
  local header i
  header="DDS $(le32 124)$(le32 $((0x21007)))$(le32 "$4")$(le32 "$3")$(le32 0)$(le32 0)$(le32 "$5")"
  for i in $(seq 11); do header+=$(le32 0); done
  header+="$(le32 32)$(le32 4)$2"
  for i in $(seq 10); do header+=$(le32 0); done
  {
    printf '%b' "$header"
    head -c "$6" /dev/zero | tr '\0' '\125'
  } >"$out/dds/$1"
}
dds dxt1_4x4.dds DXT1 4 4 1 8
dds dxt1_8x8_mips.dds DXT1 8 8 4 56
dds dxt3_4x4.dds DXT3 4 4 0 16
dds dxt5_8x4_mips.dds DXT5 8 4 4 80
dds dxt5_5x3.dds DXT5 5 3 1 32
