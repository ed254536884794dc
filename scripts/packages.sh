# Sourced by the other scripts: installs the Debian packages they name
# that are not installed yet, with sudo when not run as root.

install_missing() {
    local missing=() package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' \
            || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    echo "Installing ${missing[*]}"
    "${sudo[@]}" apt-get update -qq
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
}

# What building and drawing the program needs: the Qt OpenGL widgets, Qt's
# platform headers (to ask whether the platform can show an OpenGL view), the
# xcb platform plugin, Mesa's software renderer and a font with Cyrillic.
build_packages=(cmake g++ make qt6-base-dev qt6-base-private-dev libqt6opengl6-dev
                qt6-qpa-plugins libgl1-mesa-dri fonts-dejavu-core)
