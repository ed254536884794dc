#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Kelvara developers
# SPDX-License-Identifier: BSD-3-Clause

# Usage: check_shaders.sh SHADER_DIR
# Validates default.vert and default.frag with glslangValidator as GLSL ES
# 1.00, as desktop GLSL 1.10 and 1.20 with the precision defines that Qt
# puts in front of a desktop shader, and links the pair. Then shows that the
# same checks reject a fragment shader whose precision line is not guarded.
set -euo pipefail
shaders=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

qt_desktop_prefix=$'#define lowp\n#define mediump\n#define highp\n'

# validate NAME SOURCE_DIR: every check for one stage; fails on the first
# error. It returns explicitly, since it also runs as an if condition, where
# errexit is off.
validate() {
    local name=$1 dir=$2
    mkdir -p "$work/110" "$work/120"
    { printf '%s' "$qt_desktop_prefix"; cat "$dir/$name"; } > "$work/110/$name"
    { printf '#version 120\n%s' "$qt_desktop_prefix"; cat "$dir/$name"; } > "$work/120/$name"
    glslangValidator "$dir/$name" >/dev/null || return 1
    glslangValidator -d "$work/110/$name" >/dev/null || return 1
    glslangValidator "$work/120/$name" >/dev/null || return 1
    echo "$name: valid as GLSL ES 1.00, GLSL 1.10 and GLSL 1.20"
}

validate default.vert "$shaders"
validate default.frag "$shaders"
glslangValidator -l "$shaders/default.vert" "$shaders/default.frag" >/dev/null
echo "the pair links"

mkdir -p "$work/unguarded"
{ echo 'precision mediump float;'; grep -v -e '^#ifdef GL_ES' -e '^#endif' -e '^precision' \
      "$shaders/default.frag"; } > "$work/unguarded/default.frag"
if validate default.frag "$work/unguarded" >/dev/null 2>&1; then
    echo "an unguarded precision line passed the checks" >&2
    exit 1
fi
echo "an unguarded precision line is rejected"
