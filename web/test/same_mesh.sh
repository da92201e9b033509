#!/bin/sh
# The mesh of the WebAssembly build, run by node, against the native one,
# byte for byte, at clock readings from 0 to the last 32-bit millisecond:
# 2^24 + 1 is the first reading a float cannot hold, 4294967295 the last.
#
#   same_mesh.sh NATIVE_DUMP_MESH WASM_DUMP_MESH_JS
set -e
native=$1
wasm=$2
ticks="0 1 17 5000 60000 1000003 16777216 16777217 16777219 123456789 2147483648 4294967295"

folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
"$native" "$folder/native.bin" $ticks
# Node 18 and later would fetch the .wasm with their fetch, which reads no
# files.
node --no-experimental-fetch "$wasm" "$folder/wasm.bin" $ticks
cmp "$folder/native.bin" "$folder/wasm.bin"
echo "same mesh at $(echo $ticks | wc -w) clock readings, $(($(stat -c %s "$folder/native.bin") / 4)) floats"
