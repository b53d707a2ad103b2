#!/bin/sh
# Installs the build tree into a scratch directory, twice, and checks that
# every file lands where desktops look for it, with the right modes, and
# nothing else: once under a plain prefix (what `make install PREFIX=...`
# does) and once staged for the prefix /usr (what the package holds); then,
# if lintian is installed, the package itself.
# Usage: check_install.sh <build dir> <application id> <package version> <maintainer>
set -eu
# Installed directories take their mode from the umask; `make install` and
# `make package` use this one.
umask 022

build=$(cd "$1" && pwd)
id=$2 version=$3 maintainer=$4
source_data=$(cd "$(dirname "$0")/../../data" && pwd)
uuid=tuckshelf@tuckshelf.github.io
extension="$build/gnome-extension/$uuid"
[ -f "$extension/metadata.json" ] || { echo "FAIL: no extension built in $extension" >&2; exit 1; }
grep -q "\"uuid\": *\"$uuid\"" "$extension/metadata.json" || { echo "FAIL: the extension's uuid is not $uuid" >&2; exit 1; }

scratch=$(mktemp -d "${TMPDIR:-/tmp}/tuckshelf-install.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# mode_of <path>: permission bits in octal, e.g. 755.
mode_of() {
  stat -c %a "$1"
}

expect_file() {  # <root> <relative path> <mode>
  path="$1/$2"
  if [ ! -f "$path" ]; then
    fail "$2 is missing"
    return
  fi
  [ "$(mode_of "$path")" = "$3" ] || fail "$2 has mode $(mode_of "$path"), wanted $3"
}

# expect_gzip_9n <root> <relative path>: gzip -9n output, no name or time stamp.
expect_gzip_9n() {
  [ ! -f "$1/$2" ] || [ "$(head -c 9 "$1/$2" | od -An -tx1 | tr -d ' \n')" = 1f8b08000000000002 ] ||
    fail "$2 is not compressed with gzip -9n"
}

# check_tree <root> <prefix part> <sysconf part> <manifest> <DESTDIR> <label>
check_tree() {
  root=$1 usr=$2 etc=$3 manifest=$4 destdir=$5 label=$6
  echo "== $label"

  expect_file "$root" "$usr/bin/tuckshelf" 755
  [ -x "$root/$usr/bin/tuckshelf" ] || fail "$usr/bin/tuckshelf is not executable"
  [ "$(head -c 4 "$root/$usr/bin/tuckshelf" 2>/dev/null | od -An -c | tr -d ' ')" = '177ELF' ] ||
    fail "$usr/bin/tuckshelf is not an ELF program"

  expect_file "$root" "$usr/share/applications/$id.desktop" 644
  expect_file "$root" "$usr/share/icons/hicolor/scalable/apps/$id.svg" 644
  expect_file "$root" "$usr/share/metainfo/$id.metainfo.xml" 644
  expect_file "$root" "$usr/share/man/man1/tuckshelf.1.gz" 644
  expect_file "$root" "$usr/share/doc/tuckshelf/copyright" 644
  expect_file "$root" "$usr/share/doc/tuckshelf/changelog.Debian.gz" 644
  expect_file "$root" "$etc/xdg/autostart/$id.desktop" 644
  expect_gzip_9n "$root" "$usr/share/man/man1/tuckshelf.1.gz"
  expect_gzip_9n "$root" "$usr/share/doc/tuckshelf/changelog.Debian.gz"

  cmp -s "$source_data/$id.desktop" "$root/$usr/share/applications/$id.desktop" ||
    fail "the installed desktop entry differs from data/$id.desktop"
  cmp -s "$source_data/tuckshelf-autostart.desktop" "$root/$etc/xdg/autostart/$id.desktop" ||
    fail "the installed autostart entry differs from data/tuckshelf-autostart.desktop"
  cmp -s "$source_data/tuckshelf.svg" "$root/$usr/share/icons/hicolor/scalable/apps/$id.svg" ||
    fail "the installed icon differs from data/tuckshelf.svg"
  if [ -f "$root/$usr/share/man/man1/tuckshelf.1.gz" ]; then
    gzip -dc "$root/$usr/share/man/man1/tuckshelf.1.gz" | cmp -s "$source_data/tuckshelf.1" - ||
      fail "the installed manual page does not unpack to data/tuckshelf.1"
  fi
  cmp -s "$source_data/copyright" "$root/$usr/share/doc/tuckshelf/copyright" ||
    fail "the installed copyright file differs from data/copyright"
  # The changelog parses, and its newest entry is this package's.
  if [ -f "$root/$usr/share/doc/tuckshelf/changelog.Debian.gz" ]; then
    gzip -dc "$root/$usr/share/doc/tuckshelf/changelog.Debian.gz" >"$scratch/changelog" ||
      fail "the installed changelog does not unpack"
    parsed=$(dpkg-parsechangelog -l "$scratch/changelog" 2>&1) || fail "the changelog does not parse: $parsed"
    for line in "Source: tuckshelf" "Version: $version" "Distribution: unstable" "Urgency: medium" \
                "Maintainer: $maintainer"; do
      printf '%s\n' "$parsed" | grep -qxF "$line" || fail "the changelog's newest entry lacks \"$line\""
    done
  fi

  # The GNOME Shell extension, as the build wrote it, under its uuid.
  extensions="$usr/share/gnome-shell/extensions"
  for file in "$extension"/*; do
    expect_file "$root" "$extensions/$uuid/${file##*/}" 644
    cmp -s "$file" "$root/$extensions/$uuid/${file##*/}" || fail "the installed ${file##*/} is not the built one"
  done

  # Nothing else, and no directory others cannot enter.
  expected=$( (cd "$extension" && ls | sed "s|^|$extensions/$uuid/|"; printf '%s\n' \
    "$usr/bin/tuckshelf" \
    "$usr/share/applications/$id.desktop" \
    "$usr/share/icons/hicolor/scalable/apps/$id.svg" \
    "$usr/share/metainfo/$id.metainfo.xml" \
    "$usr/share/man/man1/tuckshelf.1.gz" \
    "$usr/share/doc/tuckshelf/copyright" \
    "$usr/share/doc/tuckshelf/changelog.Debian.gz" \
    "$etc/xdg/autostart/$id.desktop") | sed 's|^/||' | sort)
  actual=$(cd "$root" && find . ! -type d | sed 's|^\./||' | sort)
  [ "$expected" = "$actual" ] || fail "installed files differ from the expected set:
$(printf '%s\n' "$expected" >"$scratch/expected"; printf '%s\n' "$actual" | diff "$scratch/expected" - || true)"
  for dir in $(cd "$root" && find . -mindepth 1 -type d); do
    [ "$(mode_of "$root/$dir")" = 755 ] || fail "directory ${dir#./} has mode $(mode_of "$root/$dir"), wanted 755"
  done

  # The manifest lists every file written, DESTDIR left off: each must be
  # one of those above, inside the scratch directory.
  if [ ! -s "$manifest" ]; then
    fail "no install manifest at $manifest"
  else
    while IFS= read -r written || [ -n "$written" ]; do
      case "$destdir$written" in
        "$scratch"/*) [ -f "$destdir$written" ] || fail "$written is in the manifest but not installed" ;;
        *) fail "installed outside the scratch directory: $destdir$written" ;;
      esac
    done <"$manifest"
    count=$(grep -c "" "$manifest") wanted=$((8 + $(ls "$extension" | wc -l)))
    [ "$count" -eq "$wanted" ] || fail "the manifest lists $count files, wanted $wanted"
  fi
}

# The entries must name what is installed beside them.
grep -qx "Exec=tuckshelf" "$source_data/$id.desktop" || fail "the desktop entry does not run tuckshelf"
grep -qx "Icon=$id" "$source_data/$id.desktop" || fail "the desktop entry's icon is not $id"
grep -qx "Exec=tuckshelf" "$source_data/tuckshelf-autostart.desktop" || fail "the autostart entry does not run tuckshelf"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$source_data/$id.metainfo.xml" ||
  fail "the metainfo does not launch $id.desktop"
grep -q "<id>$id</id>" "$source_data/$id.metainfo.xml" || fail "the metainfo's id is not $id"

# The copyright file is machine-readable (DEP-5): the format first, a
# paragraph for every file, each licence's text given once, the Expat text
# being LICENSE's.
copyright="$source_data/copyright"
head -n 1 "$copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
  fail "data/copyright does not start with the DEP-5 Format line"
grep -qx 'Files: \*' "$copyright" || fail "data/copyright has no paragraph for every file"
for license in $(sed -n 's/^License: //p' "$copyright" | sort -u); do
  [ "$(grep -A1 -x "License: $license" "$copyright" | grep -c '^ ')" -eq 1 ] ||
    fail "data/copyright does not give the text of $license once"
done
sed -n '/^License: Expat$/,/^$/s/^ //p' "$copyright" | sed 's/^\.$//' >"$scratch/expat"
sed -n '/^Permission/,$p' "$source_data/../LICENSE" | cmp -s "$scratch/expat" - ||
  fail "the Expat text of data/copyright differs from LICENSE"

# A plain prefix: everything below it, the autostart entry in <prefix>/etc.
prefix="$scratch/prefix"
env -u DESTDIR cmake --install "$build" --prefix "$prefix" >"$scratch/log" 2>&1 ||
  { cat "$scratch/log" >&2; fail "cmake --install --prefix failed"; }
check_tree "$prefix" "" etc "$build/install_manifest.txt" "" "prefix $prefix"

# The prefix /usr, staged: the autostart entry goes to /etc, as GNUInstallDirs
# maps it. DESTDIR keeps every file inside the scratch directory.
stage="$scratch/stage"
DESTDIR="$stage" cmake --install "$build" --prefix /usr >"$scratch/log" 2>&1 ||
  { cat "$scratch/log" >&2; fail "cmake --install --prefix /usr with DESTDIR failed"; }
check_tree "$stage" usr etc "$build/install_manifest.txt" "$stage" "DESTDIR=$stage, prefix /usr"

# The package, when lintian is here to judge it: errors fail, warnings show.
if command -v lintian >/dev/null; then
  echo "== lintian"
  (cd "$build" && cpack --config CPackConfig.cmake -G DEB -B "$scratch/deb") >"$scratch/log" 2>&1 ||
    { cat "$scratch/log" >&2; fail "cpack failed"; }
  lintian --fail-on error "$scratch"/deb/*.deb || fail "lintian reports errors in the package"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "all install checks passed"
