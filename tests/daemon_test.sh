#!/bin/sh
# lumeno daemon on a private Xvfb: start-up lines, a trigger press that
# transforms the clipboard, re-registration on a settings change, a clean stop
# on SIGTERM, a non-zero exit when the X server goes away, and waiting for a
# display when there is none.
set -u
command -v Xvfb >/dev/null && command -v xclip >/dev/null && command -v xdotool >/dev/null ||
    { echo "Xvfb, xclip or xdotool missing: skipped"; exit 0; }
tmp=$(mktemp -d)
export XDG_CONFIG_HOME="$tmp/config"
pids=""
trap 'kill $pids 2>/dev/null; rm -rf "$tmp"' EXIT
fails=0
check() { # name, expected, actual
    if [ "$2" != "$3" ]; then
        echo "FAIL: $1: expected [$2], got [$3]"
        fails=$((fails + 1))
    fi
}
waitFor() { # seconds, file, pattern
    for _ in $(seq $(($1 * 10))); do grep -qF "$3" "$2" 2>/dev/null && return 0; sleep 0.1; done
    echo "FAIL: no [$3] in $2:"; cat "$2"; fails=$((fails + 1)); return 1
}
startX() {
    exec 3>"$tmp/display"
    Xvfb -displayfd 3 -nolisten tcp >/dev/null 2>&1 &
    xvfb=$!
    pids="$pids $xvfb"
    for _ in $(seq 50); do [ -s "$tmp/display" ] && break; sleep 0.1; done
    export DISPLAY=":$(cat "$tmp/display")"
}

# No display at all: the daemon waits for one and stops cleanly.
DISPLAY= "$LUMENO" daemon 2>"$tmp/nodisplay" &
daemon=$!
waitFor 5 "$tmp/nodisplay" "[Lumeno] Waiting for accessibility grant..."
kill -TERM $daemon; wait $daemon
check "stop without display" "0" "$?"

startX
printf '\033[1;31mred\033[0m text' | xclip -selection clipboard -i
"$LUMENO" daemon 2>"$tmp/log" &
daemon=$!
pids="$pids $daemon"
waitFor 5 "$tmp/log" "[Lumeno] Global hotkey registered (mode=specialHotKey)"
check "start-up" "[Lumeno] App launched
[Lumeno] Accessibility trusted: true
[Lumeno] Registering hotkey mode=specialHotKey
[Lumeno] Global hotkey registered (mode=specialHotKey)" "$(cat "$tmp/log")"

xdotool key ctrl+shift+v
waitFor 5 "$tmp/log" "[Lumeno] Simulated Cmd+V paste"
check "transformed" "red text" "$(xclip -selection clipboard -o -t UTF8_STRING)"
check "trigger lines" "[Lumeno] Transform triggered
[Lumeno] Transformed 1 lines (text path)
[Lumeno] Simulated Cmd+V paste" "$(tail -n 3 "$tmp/log")"

"$LUMENO" settings set shortcutMode overridePasteCommand
waitFor 5 "$tmp/log" "[Lumeno] Global hotkey registered (mode=overridePasteCommand)"
printf 'one\ntwo' | xclip -selection clipboard -i
xdotool key ctrl+v
waitFor 5 "$tmp/log" "[Lumeno] Transformed 1 lines (text path)"
check "override mode" "one two" "$(xclip -selection clipboard -o -t UTF8_STRING)"

kill -TERM $daemon; wait $daemon
check "stop on SIGTERM" "0" "$?"
check "stop line" "[Lumeno] Stopping" "$(tail -n 1 "$tmp/log")"
check "clipboard outlives the daemon" "one two" "$(xclip -selection clipboard -o -t UTF8_STRING)"

"$LUMENO" daemon 2>"$tmp/log2" &
daemon=$!
waitFor 5 "$tmp/log2" "[Lumeno] Global hotkey registered"
kill $xvfb; wait $daemon
check "X server gone" "1" "$?"
check "X server gone line" "[Lumeno] ERROR: The connection to the X server was lost; the daemon stops." "$(tail -n 1 "$tmp/log2")"

[ "$fails" -eq 0 ] && echo "all daemon checks passed"
exit "$fails"
