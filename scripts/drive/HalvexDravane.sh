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
settle_update() {
    journal="$drive/.halvex-update-journal"
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
        case "/$rel/" in *//*|*/./*|*/../*) continue ;; esac
        target="$drive/$rel"
        staged="${target%/*}/.halvex-new-${target##*/}"
        replaced="${target%/*}/.halvex-old-${target##*/}"
        case "$state" in
        staging)
            rm -f "$staged" || failed=1 ;;
        replacing)
            if [ "$kind" = E ]; then
                if [ -e "$replaced" ]; then mv -f "$replaced" "$target" || failed=1; fi
            elif [ ! -e "$staged" ]; then
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
if [ -f "$drive/.halvex-update-journal" ]; then
    settle_update || echo "HalvexDravane.sh: an unfinished update could not be undone" >&2
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
