#!/usr/bin/env bash
# Runs the installed program offscreen as root and as a user made for the test, with its
# own home, ends it with SIGTERM (which ends it as closing the window does) and checks where
# the settings went: the user's configuration folder, never the program's folder. A copy of
# the program without the install's marker keeps them beside itself.
# Needs root (to make the user). Usage: check-installed-settings.sh BUILD_DIR [CMAKE]
set -euo pipefail
build=$1
cmake=${2:-cmake}
if [ "$(id -u)" -ne 0 ]; then
    echo "skipped: making a test user needs root"
    exit 77
fi
tmp=$(mktemp -d /tmp/bellwick-settings.XXXXXX)
user=bwtest$$
cleanup() {
    if id "$user" >/dev/null 2>&1; then
        userdel "$user" >/dev/null 2>&1 || true
    fi
    rm -rf "$tmp"
}
trap cleanup EXIT
chmod 755 "$tmp"
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

"$cmake" --install "$build" --prefix "$tmp/usr" >/dev/null
program_dir=$tmp/usr/lib/bellwick
listing() { ls -la --time-style=full-iso "$program_dir"; }
installed=$(listing)

# run HOME [COMMAND-PREFIX...] -- PROGRAM [VAR=VALUE...]: starts the program with a clean
# environment, waits until it has taken over SIGTERM, sends it and waits for the end.
run() {
    local home=$1
    shift
    local prefix=()
    while [ "$1" != -- ]; do
        prefix+=("$1")
        shift
    done
    shift
    local program=$1
    shift
    "${prefix[@]}" env -i HOME="$home" XDG_RUNTIME_DIR="$home/.runtime" PATH=/usr/bin:/bin \
        QT_QPA_PLATFORM=offscreen \
        ${ASAN_OPTIONS+"ASAN_OPTIONS=$ASAN_OPTIONS"} ${LSAN_OPTIONS+"LSAN_OPTIONS=$LSAN_OPTIONS"} \
        ${UBSAN_OPTIONS+"UBSAN_OPTIONS=$UBSAN_OPTIONS"} "$@" "$program" \
        >"$tmp/run.log" 2>&1 &
    local pid=$! caught=0
    for _ in $(seq 200); do
        local mask
        mask=$(sed -n 's/^SigCgt:\s*//p' "/proc/$pid/status" 2>/dev/null || true)
        if [ -n "$mask" ] && (((16#$mask >> 14) & 1)); then
            caught=1
            break
        fi
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if [ "$caught" -eq 0 ]; then
        fail "$program did not start (or never took over SIGTERM):"
        cat "$tmp/run.log" >&2
        kill -KILL "$pid" 2>/dev/null || true
        wait "$pid" || true
        return
    fi
    # Let the window show before it is ended.
    sleep 0.5
    kill -TERM "$pid"
    for _ in $(seq 200); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
        fail "$program did not end within 20 s of SIGTERM"
        kill -KILL "$pid" 2>/dev/null || true
    fi
    local status=0
    wait "$pid" || status=$?
    [ "$status" -ne 143 ] || fail "$program was killed by SIGTERM instead of ending"
}

# settings FILE OWNER: the whole section was written by the user it belongs to.
settings() {
    local file=$1 owner=$2
    if [ ! -f "$file" ]; then
        fail "no settings in $file"
        return
    fi
    [ "$(stat -c %U "$file")" = "$owner" ] || fail "$file belongs to $(stat -c %U "$file")"
    [ "$(head -n 1 "$file")" = "[Window]" ] || fail "$file does not begin with [Window]"
    [ "$(grep -c = "$file")" -eq 19 ] || fail "$file does not hold 19 keys"
}

# Root, who could write the program's folder, with its own configuration folder.
install -d -m 700 "$tmp/root-home" "$tmp/root-home/.runtime"
run "$tmp/root-home" -- "$tmp/usr/bin/bellwick" XDG_CONFIG_HOME="$tmp/root-config"
settings "$tmp/root-config/bellwick/BELWIK.INI" root
# Without XDG_CONFIG_HOME: the home's .config.
run "$tmp/root-home" -- "$tmp/usr/bin/bellwick"
settings "$tmp/root-home/.config/bellwick/BELWIK.INI" root

# A user of its own with a home of its own (no .config in it yet).
useradd --no-create-home --home-dir "$tmp/home" --shell /usr/sbin/nologin --user-group "$user"
install -d -o "$user" -g "$user" -m 700 "$tmp/home" "$tmp/home/.runtime"
run "$tmp/home" setpriv --reuid="$user" --regid="$user" --init-groups -- "$tmp/usr/bin/bellwick"
settings "$tmp/home/.config/bellwick/BELWIK.INI" "$user"

# The installed program's folder stayed as the install left it.
[ ! -e "$program_dir/BELWIK.INI" ] || fail "the installed program wrote $program_dir/BELWIK.INI"
[ "$(listing)" = "$installed" ] || fail "the installed program's folder changed: $(listing)"

# The same program without the marker, as in its build folder: beside itself.
mkdir "$tmp/portable"
cp "$program_dir/bellwick" "$program_dir/belwik.htm" "$tmp/portable/"
run "$tmp/root-home" -- "$tmp/portable/bellwick" XDG_CONFIG_HOME="$tmp/portable-config"
settings "$tmp/portable/BELWIK.INI" root
[ ! -e "$tmp/portable-config" ] || fail "the program outside an install wrote its config folder"

if [ "$failures" -ne 0 ]; then
    echo "$failures failure(s)" >&2
    exit 1
fi
echo "installed program: settings in the user's configuration folder, as root and as $user"
