#!/bin/sh
# Runs COMMAND with wine made safe for a machine that must not see the
# program's broadcasts. Wine makes its sockets inside wineserver, and a
# wineserver that was started outside a network namespace also serves a
# program started inside one, which would then send on this machine's own
# network. So here:
#   - COMMAND runs inside a network namespace: the rig's program namespace
#     when started there by tests/rig/rig.sh (RIG_PROG_NS), else a fresh one
#     with only loopback;
#   - /tmp, where wine looks for its server (/tmp/.wine-<uid>, or with
#     Debian's wine a /tmp/wine-XXXXXX directory named in the prefix), is an
#     empty tmpfs in a mount namespace of this run's own, so the first wine
#     command starts a private wineserver inside that network namespace;
#   - WINEPREFIX is a fresh directory made for this run in that /tmp;
#   - the script waits for that wineserver to end before it returns and the
#     namespaces go.
# It checks all of this itself and refuses to run COMMAND otherwise.
# COMMAND may call wine any number of times; the calls share the prefix.
# It sees a private /tmp, into which only the top-level directories of its
# working directory, of this script and of its path arguments are bound back.
#
# usage: wine-run.sh [--path DIR]... -- COMMAND [ARG...]
#   --path DIR   a Linux directory added to wine's DLL search path (WINEPATH)
set -eu

die() {
    echo "wine-run.sh: refusing to run: $1" >&2
    exit 1
}
usage() {
    echo "usage: wine-run.sh [--path DIR]... -- COMMAND [ARG...]" >&2
    exit 2
}

uid=$(id -u)
server_dir=/tmp/.wine-$uid
netns() { readlink /proc/self/ns/net; }
mntns() { readlink /proc/self/ns/mnt; }
# The rig's program namespace, identified by its name under /run/netns.
in_rig() { [ -n "${RIG_PROG_NS:-}" ] && [ "$(ip netns identify 2>/dev/null)" = "$RIG_PROG_NS" ]; }

if [ -z "${WINE_RUN_OUTER_NETNS:-}" ]; then
    dll_path=
    while [ $# -gt 0 ] && [ "$1" != -- ]; do
        [ "$1" = --path ] && [ $# -ge 2 ] || usage
        dll_path="$dll_path${dll_path:+;}Z:$(printf '%s' "$2" | tr / '\\')"
        shift 2
    done
    [ $# -gt 1 ] || usage
    shift
    [ "$uid" = 0 ] || die "needs root for network and mount namespaces"
    command -v wine >/dev/null 2>&1 || die "wine is not installed (packages wine, wine32)"
    self=$(cd "$(dirname "$0")" && pwd)/$(basename "$0")
    WINE_RUN_OUTER_NETNS=$(netns)
    WINE_RUN_OUTER_MNTNS=$(mntns)
    export WINE_RUN_OUTER_NETNS WINE_RUN_OUTER_MNTNS WINE_RUN_DLL_PATH="$dll_path"
    # A network namespace with only loopback, unless already in the rig's.
    if in_rig; then
        exec unshare --mount --propagation private -- "$self" "$@"
    fi
    exec unshare --net --mount --propagation private -- "$self" "$@"
fi

# The checks, made where COMMAND will run.
init_netns=$(readlink /proc/1/ns/net 2>/dev/null || true)
[ -z "$init_netns" ] || [ "$(netns)" != "$init_netns" ] || die "in the init process's network namespace"
if in_rig; then
    :
else
    [ "$(netns)" != "$WINE_RUN_OUTER_NETNS" ] || die "no network namespace of its own"
    ip link set lo up
    others=$(ip -o link show | awk -F': ' '{ sub(/@.*/, "", $2); print $2 }' | grep -vx lo || true)
    [ -z "$others" ] || die "interfaces besides loopback: $others"
fi
[ "$(mntns)" != "$WINE_RUN_OUTER_MNTNS" ] || die "no mount namespace of its own"
unset WINE_RUN_OUTER_NETNS WINE_RUN_OUTER_MNTNS
# A private, empty /tmp: where wine keeps its server's socket, upstream in
# /tmp/.wine-<uid>, Debian's build in a /tmp/wine-XXXXXX directory that the
# prefix records. Both are then this run's own and go with it.
# A tree that itself lives under /tmp (a clone built there, the command's
# working directory or a file it is given) is kept: each such top-level
# directory is held open across the tmpfs mount and bound back in its place.
keep=
for path in "$(pwd -P)" "$(cd "$(dirname "$0")" && pwd -P)" "$@"; do
    case $path in
    /tmp/?*)
        top=$(printf '%s\n' "$path" | cut -d/ -f1-3)
        [ -d "$top" ] || continue
        case " $keep " in *" $top "*) ;; *) keep="$keep $top" ;; esac
        ;;
    esac
done
fd=3
for top in $keep; do
    # sh redirects single-digit descriptors only.
    [ "$fd" -le 9 ] || die "too many directories under /tmp to keep"
    eval "exec $fd<\"\$top\""
    fd=$((fd + 1))
done
mount -t tmpfs -o mode=1777 tmpfs /tmp
[ "$(findmnt -n -o FSTYPE --mountpoint /tmp)" = tmpfs ] || die "/tmp is not a private tmpfs"
[ -z "$(ls -A /tmp)" ] || die "/tmp is not empty"
mkdir -m 0700 "$server_dir"
fd=3
for top in $keep; do
    mkdir "$top"
    # Not canonicalised: the descriptor's path now names the empty tmpfs.
    mount --bind --no-canonicalize "/proc/self/fd/$fd" "$top"
    eval "exec $fd<&-"
    fd=$((fd + 1))
done

WINEPREFIX=$(mktemp -d /tmp/wine-run-prefix.XXXXXX)
cleanup() {
    # Wine's processes and their server end before the namespaces go.
    if ! timeout 120 wineserver -w; then
        wineserver -k || true
        wineserver -w || true
    fi
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

export WINEPREFIX TMPDIR=/tmp
export WINEARCH=win32
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installer prompts in the fresh prefix.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
[ -z "$WINE_RUN_DLL_PATH" ] || export WINEPATH="$WINE_RUN_DLL_PATH${WINEPATH:+;$WINEPATH}"
unset WINE_RUN_DLL_PATH DISPLAY WAYLAND_DISPLAY
status=0
"$@" || status=$?
exit $status
