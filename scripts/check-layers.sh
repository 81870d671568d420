#!/usr/bin/env bash
# Checks that the program's dependencies point down only (see the README's layout section):
# nothing outside app/ includes app/, platform/ includes nothing else of the project,
# widgets/ includes only platform/ and widgets/, and each core layer only those below it.
# tests/, bench/ and fuzz/ may include anything.
# Prints every include that breaks a rule and exits 1 when there is one.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

folders=(app tags lists search editing fileops widgets platform cli)
allowed() {
    case "$1" in
    app) echo 'app search editing fileops widgets lists tags platform' ;;
    search | editing | fileops) echo "$1 widgets lists tags platform" ;;
    cli) echo 'cli search editing fileops lists tags platform' ;;
    widgets) echo 'widgets platform' ;;
    lists) echo 'lists tags platform' ;;
    tags) echo 'tags platform' ;;
    platform) echo 'platform' ;;
    esac
}

status=0
for folder in "${folders[@]}"; do
    [ -d "$folder" ] || continue
    ok=" $(allowed "$folder") "
    while IFS= read -r hit; do
        [ -n "$hit" ] || continue
        target=${hit#*#include \"}
        target=${target%%/*}
        case "$ok" in
        *" $target "*) ;;
        *)
            echo "layers: $hit (a file in $folder/ must not include $target/)"
            status=1
            ;;
        esac
    done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[a-z]+/' "$folder" \
        --include='*.h' --include='*.cpp' | sed -E 's/#[[:space:]]*include[[:space:]]*/#include /')
done
[ "$status" -eq 0 ] && echo "layers: every include points down"
exit "$status"
