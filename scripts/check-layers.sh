#!/usr/bin/env bash
# Checks that the program's dependencies point down only (see the README's layout section):
# nothing outside app/ includes app/, platform/ includes nothing else of the project,
# widgets/ includes only platform/ and widgets/, and each core layer only those below it.
# tests/, bench/ and fuzz/ may include anything.
# It also keeps the application's decisions out of platform/ (no message box of its own, no
# help page; only the message-box stand-in itself names QMessageBox) and the main window's
# buttons out of its public interface.
# Prints every line that breaks a rule and exits 1 when there is one.
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

# platform/ holds stand-ins for the system's services, not the program's own messages.
while IFS= read -r hit; do
    [ -n "$hit" ] || continue
    echo "layers: $hit (platform/ must not show a message box of its own)"
    status=1
done < <(grep -rnE 'QMessageBox|messageBox[[:space:]]*\(' platform --include='*.h' --include='*.cpp' \
    | grep -vE '^platform/modal\.(h|cpp):')
while IFS= read -r hit; do
    [ -n "$hit" ] || continue
    echo "layers: $hit (platform/ must not name the help page)"
    status=1
done < <(grep -rniE 'belwik\.htm' platform)

# The main window's controls are private; tests reach them through their access type.
if [ -f app/Unit1.h ]; then
    while IFS= read -r hit; do
        [ -n "$hit" ] || continue
        echo "layers: app/Unit1.h:$hit (TForm1 must not declare a public QPushButton *)"
        status=1
    done < <(awk '
        /^(class|struct)[[:space:]]+TForm1([^[:alnum:]_]|$)/ { inForm = 1; access = "private" }
        inForm && /^};/ { inForm = 0 }
        inForm && /^[[:space:]]*public[[:space:]]*:/ { access = "public" }
        inForm && /^[[:space:]]*(private|protected)[[:space:]]*:/ { access = "other" }
        inForm && access == "public" && /QPushButton[[:space:]]*\*/ { print FNR ": " $0 }
    ' app/Unit1.h)
fi

[ "$status" -eq 0 ] && echo "layers: every include points down, and platform/ and TForm1 keep their rules"
exit "$status"
