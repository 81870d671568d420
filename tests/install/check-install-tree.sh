#!/usr/bin/env bash
# Installs the built tree with --prefix (absolute and relative) and with DESTDIR into
# temporary folders and checks that every file lands under that folder, that the links in
# bin are relative and resolve to the program's folder inside it, and that an install over
# an install works.
# Usage: check-install-tree.sh BUILD_DIR [CMAKE]
set -euo pipefail
build=$1
cmake=${2:-cmake}
tmp=$(mktemp -d /tmp/bellwick-install.XXXXXX)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

configured_prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
[ -n "$configured_prefix" ] || configured_prefix=/usr/local
left_before=$(ls -d "$configured_prefix/lib/bellwick" "$configured_prefix/bin/bellwick" \
    "$configured_prefix/bin/bellwick-cli" 2>/dev/null || true)

# check ROOT PREFIX LOG DESTDIR: the tree installed under ROOT with the program at
# ROOT/PREFIX; the manifest names its files without DESTDIR.
check() {
    local root=$1 prefix=$2 log=$3 destdir=${4:-}
    echo "== $root"
    (cd "$root" && find . | LC_ALL=C sort)

    # Every path the install reported and recorded lies under the root.
    while read -r path; do
        [ -n "$path" ] || continue
        case $path in
        "$root"/*) [ -e "$path" ] || [ -L "$path" ] || fail "reported but missing: $path" ;;
        *) fail "written outside $root: $path" ;;
        esac
    done < <(sed -n 's/^-- \(Installing\|Up-to-date\): \([^ ]*\).*/\2/p' "$log"
        sed "s|^|$destdir|" "$build/install_manifest.txt")

    local expected=(
        bin/bellwick bin/bellwick-cli
        lib/bellwick/bellwick lib/bellwick/bellwick-cli lib/bellwick/belwik.htm
        lib/bellwick/bellwick.installed
        share/applications/bellwick.desktop share/metainfo/org.example.Bellwick.metainfo.xml
        share/icons/hicolor/scalable/apps/bellwick.svg
        share/man/man1/bellwick.1.gz share/man/man1/bellwick-cli.1.gz
        share/doc/bellwick/copyright share/doc/bellwick/changelog.gz
    )
    for name in "${expected[@]}"; do
        [ -e "$root$prefix/$name" ] || fail "missing: $root$prefix/$name"
    done
    [ -x "$root$prefix/lib/bellwick/bellwick" ] || fail "not executable: lib/bellwick/bellwick"

    # Every link is relative and resolves to an existing file inside the root.
    while IFS= read -r -d '' link; do
        local target resolved
        target=$(readlink "$link")
        case $target in
        /*) fail "absolute link: $link -> $target" ;;
        esac
        resolved=$(readlink -f "$link" || true)
        case $resolved in
        "$root"/*) [ -e "$resolved" ] || fail "dangling link: $link -> $target" ;;
        *) fail "link leaves $root: $link -> $target ($resolved)" ;;
        esac
    done < <(find "$root" -type l -print0)
    for program in bellwick bellwick-cli; do
        [ "$(readlink -f "$root$prefix/bin/$program")" = "$root$prefix/lib/bellwick/$program" ] ||
            fail "bin/$program does not lead to lib/bellwick/$program"
    done

    # The companion runs through its link: the genre table has 148 names.
    local genres
    genres=$("$root$prefix/bin/bellwick-cli" genres | wc -l)
    [ "$genres" -eq 148 ] || fail "bin/bellwick-cli genres gave $genres lines"
}

"$cmake" --install "$build" --prefix "$tmp/prefix" >"$tmp/prefix.log"
check "$tmp/prefix" "" "$tmp/prefix.log"
# Again over the first install: the links are replaced, nothing fails.
"$cmake" --install "$build" --prefix "$tmp/prefix" >"$tmp/again.log"
check "$tmp/prefix" "" "$tmp/again.log"

# A prefix relative to the current folder.
(cd "$tmp" && "$cmake" --install "$build" --prefix relative >"$tmp/relative.log")
check "$tmp/relative" "" "$tmp/relative.log"

DESTDIR=$tmp/dest "$cmake" --install "$build" >"$tmp/dest.log"
check "$tmp/dest" "$configured_prefix" "$tmp/dest.log" "$tmp/dest"

# Nothing went to the configured prefix itself.
left_after=$(ls -d "$configured_prefix/lib/bellwick" "$configured_prefix/bin/bellwick" \
    "$configured_prefix/bin/bellwick-cli" 2>/dev/null || true)
[ "$left_before" = "$left_after" ] || fail "written into $configured_prefix: $left_after"

if [ "$failures" -ne 0 ]; then
    echo "$failures failure(s)" >&2
    exit 1
fi
echo "install tree: all files and links under the install root"
