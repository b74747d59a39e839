#!/bin/sh
# Tests Debian packages of Node Spotter on a fresh Debian 12 system:
#   1. makes a minimal Debian 12 root with debootstrap, from the mirror apt
#      uses here, in a temporary directory outside the repository;
#   then for each package in turn:
#   2. installs it there with apt, which resolves its Depends;
#   3. starts the program through its desktop entry's Exec line, inside a
#      network namespace of its own that holds only loopback, on Qt's
#      offscreen platform: its first line must be the locale line, and it
#      must still run after its automatic first search;
#   4. removes the package and the packages it pulled in, and checks that
#      nothing of it is left.
# The root is removed at the end, also on failure. Needs root.
#   scripts/test-package.sh build-package/nodespotter_<version>-1_amd64.deb [MORE.deb...]
set -eu
[ $# -ge 1 ] || { echo "usage: test-package.sh PACKAGE.deb..." >&2; exit 2; }
[ "$(id -u)" = 0 ] || { echo "test-package.sh: needs root (debootstrap, chroot, namespaces)" >&2; exit 1; }

suite=bookworm
mirror=${NODESPOTTER_DEBIAN_MIRROR:-$(apt-get indextargets --format '$(REPO_URI) $(RELEASE)' 'Identifier: Packages' |
    awk -v suite="$suite" '$2 == suite { print $1; exit }')}
mirror=${mirror:-http://deb.debian.org/debian/}

work=$(mktemp -d "${TMPDIR:-/tmp}/nodespotter-package-test.XXXXXX")
root=$work/root
cleanup() {
    # Mounts are only ever made in private mount namespaces that end with
    # their command; should one outlive it, detach it before removing.
    findmnt --list --noheadings --output TARGET | grep -F "$root" | sort -r | xargs -r umount -l || true
    rm -rf --one-file-system "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

started=$(date +%s)
stage() {
    now=$(date +%s)
    echo "test-package.sh: $1 ($((now - started)) s)"
    started=$now
}
fail() {
    echo "test-package.sh: FAIL: $*" >&2
    exit 1
}
# Runs a command in the root with /proc mounted, in a mount namespace of its
# own, with a plain environment.
in_root() {
    unshare --mount -- sh -c 'mount -t proc proc "$0/proc" && exec chroot "$0" "$@"' "$root" \
        env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"
}

echo "test-package.sh: Debian $suite from $mirror in $root"
debootstrap --variant=minbase "$suite" "$root" "$mirror" >"$work/debootstrap.log" 2>&1 ||
    { tail -n 30 "$work/debootstrap.log" >&2; fail "debootstrap"; }
stage "fresh Debian root made"

in_root apt-get update -qq

for deb in "$@"; do
    deb=$(realpath "$deb")
    package=$(dpkg-deb --field "$deb" Package)
    echo "test-package.sh: $package from $deb"
    # What the root holds before: its packages, and which of the package's
    # paths exist already (directories such as /usr/bin).
    in_root dpkg-query --show --showformat '${Package}\n' | sort >"$work/packages-before"
    dpkg-deb --contents "$deb" | awk '{ print $6 }' | sed 's|^\./|/|; s|/$||' | grep -v '^$' >"$work/paths"
    : >"$work/new-paths"
    while read -r path; do
        [ -e "$root$path" ] || echo "$path" >>"$work/new-paths"
    done <"$work/paths"

    cp "$deb" "$root/tmp/package.deb"
    in_root apt-get install -y -qq --no-install-recommends /tmp/package.deb >"$work/install.log" 2>&1 ||
        { cat "$work/install.log" >&2; fail "apt-get install"; }
    rm "$root/tmp/package.deb"
    stage "installed with its dependencies: $(wc -l <"$work/paths") paths, $(in_root dpkg-query --show | wc -l) packages in the root"

    desktop=$(ls "$root"/usr/share/applications/*.desktop)
    # The Exec line without field codes (%f, %U, ...), which this entry does
    # not use anyway.
    exec_line=$(sed -n 's/^Exec=//p' "$desktop" | sed 's/ *%[a-zA-Z]//g')
    [ -n "$exec_line" ] || fail "no Exec line in $desktop"
    echo "test-package.sh: starting '$exec_line' from $(basename "$desktop")"
    unshare --net --mount -- sh -c 'ip link set lo up && mount -t proc proc "$0/proc" && exec chroot "$0" "$@"' "$root" \
        env -i PATH=/usr/bin:/bin HOME=/root LANG=C.UTF-8 XDG_RUNTIME_DIR=/root QT_QPA_PLATFORM=offscreen \
        sh -c "exec $exec_line" >"$work/program.log" 2>&1 &
    program=$!
    # The automatic first search starts one second after start.
    sleep 3
    if kill -0 "$program" 2>/dev/null; then
        running=yes
        kill "$program"
    else
        running=no
    fi
    wait "$program" || true
    sed 's/^/    | /' "$work/program.log"
    [ "$running" = yes ] || fail "the program had ended 3 s after its start"
    grep -v '^QStandardPaths:' "$work/program.log" | head -n 1 | grep -q '^System locale = QLocale(' ||
        fail "the program's first line is not the locale line"
    stage "started from the desktop entry, still running after 3 s"

    in_root apt-get remove -y -qq "$package" >"$work/remove.log" 2>&1 ||
        { cat "$work/remove.log" >&2; fail "apt-get remove"; }
    status=$(in_root dpkg-query --show --showformat '${db:Status-Status}' "$package" 2>/dev/null || true)
    [ -z "$status" ] || [ "$status" = not-installed ] || fail "dpkg still knows $package: $status"
    while read -r path; do
        [ ! -e "$root$path" ] || fail "$path is left after removal"
    done <"$work/new-paths"
    in_root apt-get autoremove --purge -y -qq >"$work/autoremove.log" 2>&1 ||
        { cat "$work/autoremove.log" >&2; fail "apt-get autoremove"; }
    in_root dpkg-query --show --showformat '${Package}\n' | sort >"$work/packages-after"
    diff -u "$work/packages-before" "$work/packages-after" || fail "packages differ from the fresh root's"
    stage "removed: none of its $(wc -l <"$work/new-paths") new paths left, the root's packages as before"
    echo "test-package.sh: $package passed"
done
