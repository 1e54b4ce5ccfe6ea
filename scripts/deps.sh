# Debian packages Kelvara needs to build, test and run; sourced by scripts/run and
# scripts/test. Installs only what is missing (and skips apt-get update then).
KELVARA_PACKAGES=(
    cmake ninja-build g++
    qt6-base-dev qt6-svg-dev libqscintilla2-qt6-dev
    libboost-dev libeigen3-dev libgif-dev libnlopt-cxx-dev
    xvfb xauth xdotool imagemagick poppler-utils xdg-utils fonts-liberation
    desktop-file-utils shared-mime-info librsvg2-bin
)

kelvara_install_packages() {
    local missing=()
    local pkg
    for pkg in "${KELVARA_PACKAGES[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    if [ "${#missing[@]}" -eq 0 ]; then
        return 0
    fi
    echo "Installing: ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        sudo=(sudo)
    fi
    "${sudo[@]}" apt-get update
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
}
