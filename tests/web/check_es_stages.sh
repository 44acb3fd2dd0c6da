#!/bin/sh
# The stages' GLSL ES 3.00 form, made by the build's own conversion, passes glslangValidator, and below its
# new head it is the desktop stage unchanged (one scene, two version lines). It is validated as the page
# compiles it, with the track names put in by STAGE_WITH_TRACK_NAMES. ctest: web.SceneStagesGlslEs.
# Usage: check_es_stages.sh SOURCE_DIR GLSLANG_VALIDATOR STAGE_WITH_TRACK_NAMES
set -eu
source_dir=$1
validator=$2
with_track_names=$3
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
for stage in scene.vert scene.frag; do
    desktop="$source_dir/shaders/$stage"
    es="$out/${stage%.*}.es.${stage##*.}"
    cmake -DINPUT="$desktop" -DOUTPUT="$es" -P "$source_dir/cmake/GlslEs.cmake"
    [ "$(head -n 1 "$es")" = "#version 300 es" ] || { echo "$stage: no ES version line"; exit 1; }
    # The head is four lines where the desktop stage had one.
    tail -n +2 "$desktop" > "$out/body"
    tail -n +5 "$es" | cmp - "$out/body" || { echo "$stage: the ES form changed the scene's text"; exit 1; }
    named="$out/${stage%.*}.named.${stage##*.}"
    "$with_track_names" "$es" "$named"
    "$validator" "$named" || { echo "$stage: the ES form does not compile as GLSL ES 3.00"; exit 1; }
    echo "$stage: GLSL ES 3.00 form passes"
done
# A stage without the desktop version line is refused rather than half converted.
printf '#version 450\nvoid main() {}\n' > "$out/odd.frag"
if cmake -DINPUT="$out/odd.frag" -DOUTPUT="$out/odd.es.frag" -P "$source_dir/cmake/GlslEs.cmake" 2>/dev/null; then
    echo "a '#version 450' stage was converted"
    exit 1
fi
