#!/bin/sh
# Starts Halvex Dravane from this drive:
#   sh HalvexDravane.sh              the suite
#   sh HalvexDravane.sh --cli ARGS   the dravane command line
# Flash drives are mounted so that their files cannot be run (FAT's showexec,
# noexec), so the programs are copied once per version into the user's cache
# and started from there, with this drive as their run path.
set -eu

drive=$(cd "$(dirname "$0")" && pwd -P)
linux="$drive/HalvexDravane.app/Contents/Linux"
if [ ! -d "$linux" ]; then
    echo "HalvexDravane.sh: $linux is missing" >&2
    exit 2
fi

version=$(head -c 64 "$linux/VERSION" 2>/dev/null | tr -cd '0-9.')
[ -n "$version" ] || version=0
# Names, sizes and times of the programs: an update changes them, and with
# them the digest, so the next start makes a fresh copy.
digest=$(cd "$linux" && find . -type f -printf '%P %s %T@\n' | LC_ALL=C sort | cksum | cut -d' ' -f1)
cache_root="${XDG_CACHE_HOME:-$HOME/.cache}/halvex-dravane"
cache="$cache_root/$version-$digest"

if [ ! -f "$cache/.complete" ]; then
    mkdir -p "$cache_root"
    chmod 700 "$cache_root"
    staging=$(mktemp -d "$cache_root/.new-XXXXXX")
    cp -R "$linux/." "$staging/"
    chmod -R u+rwX,go-w "$staging"
    for program in HalvexDravane dravane PelloryAutoRun Updater forkcopy; do
        [ -f "$staging/$program" ] && chmod 755 "$staging/$program"
    done
    : > "$staging/.complete"
    rm -rf "$cache"
    # Another start may have placed the same copy meanwhile: keep either.
    mv "$staging" "$cache" 2>/dev/null || rm -rf "$staging"
    # Copies of earlier versions are of no further use.
    for old in "$cache_root"/*; do
        [ "$old" = "$cache" ] || rm -rf "$old"
    done
fi

if [ "${1:-}" = "--cli" ]; then
    shift
    exec "$cache/dravane" --run-path "$drive" "$@"
fi
exec "$cache/HalvexDravane" "$drive" "$@"
