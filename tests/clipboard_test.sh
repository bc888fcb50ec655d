#!/bin/sh
# lumeno clipboard on a private Xvfb, against xclip as the other application:
# the log lines, both flavours written back, and serving after lumeno exits.
set -u
command -v Xvfb >/dev/null && command -v xclip >/dev/null || { echo "Xvfb or xclip missing: skipped"; exit 0; }
tmp=$(mktemp -d)
export XDG_CONFIG_HOME="$tmp/config"
exec 3>"$tmp/display"
Xvfb -displayfd 3 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -rf "$tmp"' EXIT
for _ in $(seq 50); do [ -s "$tmp/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$tmp/display")"

fails=0
check() { # name, expected, actual
    if [ "$2" != "$3" ]; then
        echo "FAIL: $1: expected [$2], got [$3]"
        fails=$((fails + 1))
    fi
}

"$LUMENO" clipboard 2>"$tmp/log"
check "empty clipboard" "[Lumeno] Transform triggered
[Lumeno] Clipboard empty" "$(cat "$tmp/log")"

printf '<h2>Notes</h2><ul><li>one</li></ul>' | xclip -selection clipboard -t text/html -i
"$LUMENO" clipboard 2>"$tmp/log"
check "HTML road log" "[Lumeno] Transform triggered
[Lumeno] HTML path — converting HTML to markdown
[Lumeno] Transformed 2 lines (HTML path)" "$(cat "$tmp/log")"
# lumeno has exited; its background server answers.
check "plain flavour" "## Notes

- one" "$(xclip -selection clipboard -o -t UTF8_STRING)"
check "html flavour" "<h2>Notes</h2>
<ul>
<li>one</li>
</ul>" "$(xclip -selection clipboard -o -t text/html)"

printf '\033[1;31mred\033[0m text' | xclip -selection clipboard -i
"$LUMENO" clipboard 2>"$tmp/log"
check "text road log" "[Lumeno] Transformed 1 lines (text path)" "$(tail -n 1 "$tmp/log")"
check "text road result" "red text" "$(xclip -selection clipboard -o -t UTF8_STRING)"

"$LUMENO" settings set replaceEmDash true
printf 'a — b' | xclip -selection clipboard -i
"$LUMENO" clipboard 2>/dev/null
check "em dash option" "a, b" "$(xclip -selection clipboard -o)"

[ "$fails" -eq 0 ] && echo "all clipboard checks passed"
exit "$fails"
