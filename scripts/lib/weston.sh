# SPDX-FileCopyrightText: The Kelvara developers
# SPDX-License-Identifier: BSD-3-Clause

# Sourced by the other scripts: start_weston runs a headless Wayland
# compositor with Mesa's software OpenGL, reached through a private runtime
# folder, sets WAYLAND_DISPLAY for it and stops it when the script ends;
# returns non-zero, with weston's log, when it does not start.
start_weston() {
    export XDG_RUNTIME_DIR WAYLAND_DISPLAY=kelvara-wayland
    XDG_RUNTIME_DIR=$(mktemp -d)
    weston --backend=headless-backend.so --use-gl --socket="$WAYLAND_DISPLAY" --idle-time=0 \
        >"$XDG_RUNTIME_DIR/weston.log" 2>&1 &
    weston_pid=$!
    trap 'kill "$weston_pid" 2>/dev/null || true' EXIT
    for _ in $(seq 600); do
        [ -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ] && return 0
        sleep 0.1
    done
    cat "$XDG_RUNTIME_DIR/weston.log" >&2
    echo "weston did not start" >&2
    return 1
}
