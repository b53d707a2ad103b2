#!/bin/bash
# The newest stack our users run, beside Debian 12: a Debian testing chroot
# outside the checkout, made with debootstrap from the mirror this machine's
# apt already uses, kept and updated between runs.
#
#   scripts/lab.sh test    builds the current tree inside and runs `make test`
#   scripts/lab.sh bench   the same with `make bench`
#   scripts/lab.sh run [COMMAND...]   a command inside (a shell without one),
#                          in /src
#
# The tree as it stands (less what git ignores) is copied to /src and built
# in /root/build*; /proc, /sys and /dev are
# bound while it runs and unbound on every exit. TUCKSHELF_LAB
# names the folder that holds the chroot (default /var/cache/tuckshelf-lab).
set -euo pipefail

what=${1:-test}
case $what in test | bench | run) ;; *) echo "usage: $0 test|bench|run [COMMAND...]" >&2; exit 2 ;; esac
[ "$(id -u)" -eq 0 ] || exec sudo --preserve-env=TUCKSHELF_LAB "$0" "$@"

top=$(cd "$(dirname "$0")/.." && pwd)
root=${TUCKSHELF_LAB:-/var/cache/tuckshelf-lab}/testing
mirror=$(grep -hoE '^(URIs:|deb) +https?://[^ ]*/debian/?( |$)' /etc/apt/sources.list /etc/apt/sources.list.d/* 2>/dev/null |
  awk '{print $2; exit}' || true)
mirror=${mirror:-http://deb.debian.org/debian}

"$top/scripts/install-deps.sh" debootstrap rsync

if [ ! -e "$root/.made" ]; then
  echo "== making a Debian testing chroot in $root from $mirror"
  rm -rf "$root.new"
  mkdir -p "$(dirname "$root")"
  debootstrap --variant=minbase --include=ca-certificates testing "$root.new" "$mirror"
  # testing's Release files may outlive their validity between pushes
  echo 'Acquire::Check-Valid-Until "false";' > "$root.new/etc/apt/apt.conf.d/99lab"
  rm -rf "$root" && mv "$root.new" "$root" && touch "$root/.made"
fi

mounted=()
leave() {
  # Whatever the suite left running inside goes first, then the mounts.
  for p in /proc/[0-9]*; do
    [ "$(readlink "$p/root" 2>/dev/null)" = "$root" ] && kill -9 "${p#/proc/}" 2>/dev/null || true
  done
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount "${mounted[i]}" 2>/dev/null || umount -l "${mounted[i]}" || true
  done
}
trap leave EXIT
bind() {
  mkdir -p "$root$1"
  mount --bind "${2:-$1}" "$root$1"
  mounted+=("$root$1")
}
bind /proc && bind /sys && bind /dev && bind /dev/pts && bind /dev/shm
# By content: a file that changed gets a new time, so that the build inside
# redoes what depends on it, and one that did not keeps its own.
(cd "$top" && git ls-files --others --ignored --exclude-standard --directory) | sed "s|^|/|" >"$root/.ignored"
mkdir -p "$root/src"
rsync -rlc --delete --exclude=/.git --exclude-from="$root/.ignored" "$top/" "$root/src/"
cp /etc/resolv.conf "$root/etc/resolv.conf"

inside() {
  env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
    TERM="${TERM:-dumb}" CI="${CI:-}" chroot "$root" "$@"
}
if [ "$what" != run ]; then
  echo "== updating the chroot"
  inside sh -c 'apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get -y -qq dist-upgrade >/dev/null'
fi
inside /src/scripts/install-deps.sh
case $what in
  run) shift; inside sh -c 'cd /src && exec "${@:-bash}"' run "$@" ;;
  *) inside make -C /src "$what" BUILD=/root/build ASAN_BUILD=/root/build-asan ;;
esac
