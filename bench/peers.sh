#!/usr/bin/env bash
# The peers' benchmark: Kelvara beside FeatherPad on the same large solver logs,
# under a virtual display of its own. Run by hand (never from CTest):
#   bench/peers.sh [build-directory] [bench_peers options: --runs N --sizes 5,50 --ty]
# The build directory (default: build) must hold app/Kelvara and bench/bench_peers.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$top/build}
[ $# -gt 0 ] && shift

if ! command -v featherpad > /dev/null; then
    echo "Installing FeatherPad, the peer ..." >&2
    if [ "$(id -u)" -eq 0 ]; then
        apt-get install -y featherpad
    else
        sudo apt-get install -y featherpad
    fi
fi
for tool in xvfb-run; do
    command -v "$tool" > /dev/null || { echo "$tool is missing (Debian package xvfb)" >&2; exit 1; }
done
for file in "$build/app/Kelvara" "$build/bench/bench_peers"; do
    [ -x "$file" ] || { echo "$file is missing: build the project first" >&2; exit 1; }
done

# A black root window (-br): the benchmark sees a window appear on it.
exec xvfb-run -a -s "-screen 0 1280x1024x24 -br -nolisten tcp" \
    "$build/bench/bench_peers" --kelvara "$build/app/Kelvara" "$@"
