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

# An update that was killed or cut off half way left its journal (the
# Updater's format: "halvex-update 1", "pid N", "state S", then "E path" for
# a replaced file and "A path" for an added one). Before anything is copied
# or started, the drive goes back to one version: the set-aside old files
# return and the new ones go, or, once every new file was in place, only the
# set-aside ones go. The Updater does the same at its next run.
#
# The paths come from the drive, and a folder on the drive may be a link to
# any folder of this computer: each folder on the way must be a real folder
# of the drive, and a rename never moves a file into a folder (mv -T).
# way_below REL: 0 when every folder on the way is a real folder, 1 (said
# on standard error) when one is a link or no folder, 2 when one is missing.
way_below() {
    way=$drive
    rest=$1
    while [ "${rest#*/}" != "$rest" ]; do
        way="$way/${rest%%/*}"
        rest=${rest#*/}
        if [ -L "$way" ] || { [ -e "$way" ] && [ ! -d "$way" ]; }; then
            echo "HalvexDravane.sh: $way is a link or no folder; $drive/$1 is left alone" >&2
            return 1
        fi
        [ -d "$way" ] || return 2
    done
    return 0
}
present() { [ -e "$1" ] || [ -L "$1" ]; }
settle_update() {
    journal="$drive/.halvex-update-journal"
    [ ! -L "$journal" ] || return 1
    [ "$(head -n 1 "$journal")" = "halvex-update 1" ] || return 1
    [ "$(wc -c < "$journal")" -le 1048576 ] || return 1
    pid=$(sed -n 's/^pid \([0-9][0-9]*\)$/\1/p' "$journal" | head -n 1)
    state=$(sed -n 's/^state //p' "$journal" | head -n 1)
    if [ -n "$pid" ] && [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = Updater ]; then
        echo "HalvexDravane.sh: an update is being installed; the suite starts again when it is done" >&2
        exit 1
    fi
    case "$state" in staging|replacing|done) ;; *) return 1 ;; esac
    failed=0
    while IFS= read -r line; do
        case "$line" in "E "*|"A "*) ;; *) continue ;; esac
        kind=${line%% *}
        rel=${line#? }
        case "/$rel/" in *//*|*/./*|*/../*) failed=1; continue ;; esac
        found=0
        way_below "$rel" || found=$?
        case "$found" in 1) failed=1; continue ;; 2) continue ;; esac
        target="$drive/$rel"
        staged="${target%/*}/.halvex-new-${target##*/}"
        replaced="${target%/*}/.halvex-old-${target##*/}"
        case "$state" in
        staging)
            rm -f "$staged" || failed=1 ;;
        replacing)
            if [ "$kind" = E ]; then
                if present "$replaced"; then mv -f -T "$replaced" "$target" || failed=1; fi
            elif ! present "$staged"; then
                rm -f "$target" || failed=1
            fi
            rm -f "$staged" || failed=1 ;;
        done)
            rm -f "$replaced" || failed=1 ;;
        esac
    done < "$journal"
    [ "$failed" = 0 ] || return 1
    rm -f "$journal"
}
if present "$drive/.halvex-update-journal"; then
    if ! settle_update; then
        # Half of one version and half of another is no suite to start.
        echo "HalvexDravane.sh: an unfinished update on this drive could not be settled;" \
            "the suite is not started ($drive/.halvex-update-journal)" >&2
        exit 1
    fi
fi

version=$(head -c 64 "$linux/VERSION" 2>/dev/null | tr -cd '0-9.')
[ -n "$version" ] || version=0
# Names, sizes and times of the programs: an update changes them, and with
# them the digest, so the next start makes a fresh copy.
digest=$(cd "$linux" && find . -type f -printf '%P %s %T@\n' | LC_ALL=C sort | cksum | cut -d' ' -f1)
cache_root="${XDG_CACHE_HOME:-$HOME/.cache}/halvex-dravane"
# The drive, as its copies record it: its file system's UUID where it has
# one, and the inode of its folder (the top of a FAT or exFAT drive always
# has the same), so that it is the same drive wherever it is mounted and two
# drive folders on one disk are two drives.
uuid=$(findmnt -n -o UUID --target "$drive" 2>/dev/null | head -n 1) || uuid=
drive_id="${uuid:-none}:$(stat -c %i "$drive")"
cache="$cache_root/$version-$digest-$(printf '%s' "$drive_id" | cksum | cut -d' ' -f1)"

if [ ! -f "$cache/.complete" ]; then
    mkdir -p "$cache_root"
    chmod 700 "$cache_root"
    staging=$(mktemp -d "$cache_root/.new-XXXXXX")
    cp -R "$linux/." "$staging/"
    chmod -R u+rwX,go-w "$staging"
    for program in HalvexDravane dravane PelloryAutoRun Updater forkcopy; do
        [ -f "$staging/$program" ] && chmod 755 "$staging/$program"
    done
    printf '%s\n' "$drive_id" > "$staging/.drive"
    : > "$staging/.complete"
    # Only whole copies ever take the cache's name, in one rename that fails
    # where one is already there: another start (the Updater's relaunch, a
    # second click) may be running from it, so it is never removed here.
    if ! mv -T "$staging" "$cache" 2>/dev/null; then
        if [ ! -f "$cache/.complete" ]; then
            # A copy left unfinished by an older launcher.
            rm -rf "$cache"
            mv -T "$staging" "$cache" 2>/dev/null
        fi
        rm -rf "$staging"
    fi
fi

# The suite keeps descriptor 9 open, and with it a shared lock on its copy,
# for as long as it runs: a copy in use is never taken from under it.
exec 9< "$cache/.complete"
flock -s 9 || true
# Earlier copies of this drive are of no further use once nothing runs from
# them; other drives' copies are theirs.
for old in "$cache_root"/*; do
    [ "$old" != "$cache" ] && [ -d "$old" ] && [ ! -L "$old" ] || continue
    [ "$(head -c 256 "$old/.drive" 2>/dev/null)" = "$drive_id" ] || continue
    ( flock -n -x 8 && rm -rf "$old" ) 2>/dev/null 8< "$old/.complete" || true
done

if [ "${1:-}" = "--cli" ]; then
    shift
    exec "$cache/dravane" --run-path "$drive" "$@"
fi
exec "$cache/HalvexDravane" "$drive" "$@"
