#!/bin/sh
# Drives the lumeno binary as a user does: exit codes, messages, byte handling.
set -u
fails=0
check() { # name, expected, actual
    if [ "$2" != "$3" ]; then
        echo "FAIL: $1: expected [$2], got [$3]"
        fails=$((fails + 1))
    fi
}

out=$(printf '\033[1;31mred\033[0m text\n' | "$LUMENO" text; echo "rc=$?")
check "text road" "red textrc=0" "$out"

# No newline is added: the output is exactly the converted text.
bytes=$(printf 'x' | "$LUMENO" text | wc -c)
check "no newline added" "1" "$(echo $bytes)"

# Any bytes give output and exit 0; no CR, NUL or ESC comes out.
printf 'a\000b\377\300\r\r\n\033[?25l\355\240\200z' | "$LUMENO" text > /tmp/lumeno-cli-$$.out
check "bad bytes exit" "0" "$?"
check "bad bytes clean" "0" "$(tr -d -c '\000\015\033' < /tmp/lumeno-cli-$$.out | wc -c | tr -d ' ')"
rm -f /tmp/lumeno-cli-$$.out

err=$("$LUMENO" frobnicate 2>&1 >/dev/null; echo "rc=$?")
check "unknown command" "lumeno: unknown command 'frobnicate' (see 'lumeno --help')
rc=2" "$err"
err=$("$LUMENO" --frob 2>&1 >/dev/null; echo "rc=$?")
check "unknown option" "lumeno: unknown option '--frob' (see 'lumeno --help')
rc=2" "$err"
err=$("$LUMENO" text extra 2>&1 >/dev/null; echo "rc=$?")
check "stray argument" "rc=2" "$(echo "$err" | tail -n 1)"

for command in text html render; do
    "$LUMENO" --help | grep -q "^  $command " || { echo "FAIL: help lists $command"; fails=$((fails + 1)); }
    err=$("$LUMENO" $command extra 2>&1 >/dev/null; echo "rc=$?")
    check "$command takes no argument" "rc=2" "$(echo "$err" | tail -n 1)"
done

# The rich-text roads, and HTML through both as a paste goes.
out=$(printf '<p>Hello <b>world</b></p>' | "$LUMENO" html; echo "rc=$?")
check "html road" "Hello **world**rc=0" "$out"
check "render road" "<p>a &lt; b</p>" "$(printf 'a < b' | "$LUMENO" render)"
check "html adds no newline" "1" "$(printf '<p>x</p>' | "$LUMENO" html | wc -c | tr -d ' ')"
check "render of nothing is nothing" "0" "$(printf '' | "$LUMENO" render | wc -c | tr -d ' ')"
out=$(printf '<ol><li>Install<ul><li>apt</li></ul></li><li>Run</li></ol>' | "$LUMENO" html | "$LUMENO" render)
check "nested list survives both roads" "<ol>
<li>Install
<ul>
<li>apt</li>
</ul>
</li>
<li>Run</li>
</ol>" "$out"

# Bad bytes: output and exit 0, valid UTF-8, no NUL.
for command in html render; do
    printf '<p>a\000b\377\300<b>\355\240\200</p>\n<ul><li>x' | "$LUMENO" $command > /tmp/lumeno-cli-$$.out
    check "$command bad bytes exit" "0" "$?"
    check "$command bad bytes no NUL" "0" "$(tr -d -c '\000' < /tmp/lumeno-cli-$$.out | wc -c | tr -d ' ')"
    iconv -f UTF-8 -t UTF-8 < /tmp/lumeno-cli-$$.out > /dev/null 2>&1 || { echo "FAIL: $command output is not UTF-8"; fails=$((fails + 1)); }
done
rm -f /tmp/lumeno-cli-$$.out
"$LUMENO" --version | grep -q '^lumeno [0-9]' || { echo "FAIL: version line"; fails=$((fails + 1)); }

# Every fixture through the binary gives the same as through the library.
for f in "$FIXTURES"/text/*.txt; do
    "$LUMENO" text < "$f" | cmp -s - "${f%.txt}.md" || { echo "FAIL: fixture $f"; fails=$((fails + 1)); }
done

# Settings, in a config folder of our own.
XDG_CONFIG_HOME=$(mktemp -d)
export XDG_CONFIG_HOME

# transform: the whole command over flavours given on the command line.
printf '<h2>T</h2><ul><li>a \342\200\224 b</li></ul>' > /tmp/lumeno-cli-$$.html
em=$(printf '\342\200\224')
check "transform json" "{\"road\":\"html\",\"markdown\":\"## T\\n\\n- a $em b\",\"html\":\"<h2>T</h2>\\n<ul>\\n<li>a $em b</li>\\n</ul>\\n\",\"lines\":2}" \
    "$("$LUMENO" transform --html /tmp/lumeno-cli-$$.html --output json)"
check "transform em dash" "## T

- a, b" "$("$LUMENO" transform --html /tmp/lumeno-cli-$$.html --replace-em-dash)"
check "transform text from stdin" "<p>x</p>" "$(printf '\033[1mx' | "$LUMENO" transform --output html)"
printf 'plain' > /tmp/lumeno-cli-$$.txt
check "transform html without structure falls to the text" "plain" \
    "$(printf '<b>b</b>' | "$LUMENO" transform --html - --text /tmp/lumeno-cli-$$.txt)"
rm -f /tmp/lumeno-cli-$$.txt
check "transform empty outcome" '{"road":"empty"}' "$(printf '<b>b</b>' | "$LUMENO" transform --html - --output json)"
err=$("$LUMENO" transform --html - --text - </dev/null 2>&1; echo "rc=$?")
check "transform one stdin" "lumeno: only one of --text and --html can read standard input
rc=2" "$err"
err=$("$LUMENO" transform --output yaml 2>&1 </dev/null; echo "rc=$?")
check "transform bad output" "rc=2" "$(echo "$err" | tail -n 1)"
rm -f /tmp/lumeno-cli-$$.html
out=$("$LUMENO" settings list)
check "settings defaults" 'shortcutMode = "specialHotKey" (default string)
shortcutKeyCode = 9 (default integer)
shortcutModifiers = 1179648 (default integer)
replaceEmDash = false (default boolean)
hasCompletedOnboarding = false (default boolean)' "$out"
"$LUMENO" settings set replaceEmDash true &&
"$LUMENO" settings set shortcutModifiers -5 &&
"$LUMENO" settings set shortcutMode 'say "hi"' || { echo "FAIL: settings set"; fails=$((fails + 1)); }
err=$("$LUMENO" settings set shortcutKeyCode 11x 2>&1; echo "rc=$?")
check "settings wrong type" 'lumeno: note: shortcutKeyCode is stored as the string "11x", which reads as its default 9
rc=0' "$err"
out=$("$LUMENO" settings list)
check "settings stored" 'shortcutMode = "say \"hi\"" (string)
shortcutKeyCode = "11x" (string; not an integer, so it reads as the default 9)
shortcutModifiers = -5 (integer)
replaceEmDash = true (boolean)
hasCompletedOnboarding = false (default boolean)' "$out"
check "settings get string" 'say "hi"' "$("$LUMENO" settings get shortcutMode)"
check "settings get boolean" "true" "$("$LUMENO" settings get replaceEmDash)"
check "settings get default" "false" "$("$LUMENO" settings get hasCompletedOnboarding)"
"$LUMENO" settings delete replaceEmDash
check "settings delete" "false" "$("$LUMENO" settings get replaceEmDash)"
err=$("$LUMENO" settings get colour 2>&1; echo "rc=$?")
check "settings unknown key" "lumeno: unknown setting 'colour'; the settings are shortcutMode, shortcutKeyCode, shortcutModifiers, replaceEmDash, hasCompletedOnboarding
rc=2" "$err"
err=$("$LUMENO" settings set replaceEmDash 2>&1; echo "rc=$?")
check "settings missing value" "lumeno: usage: lumeno settings set KEY VALUE
rc=2" "$err"
rm -rf "$XDG_CONFIG_HOME"
# A file where the config folder should be: the change fails with one line.
: > "$XDG_CONFIG_HOME"
err=$("$LUMENO" settings set replaceEmDash true 2>&1; echo "rc=$?")
check "settings unwritable" "1 rc=1" "$(echo "$err" | grep -c '^\[Lumeno\] ERROR: Cannot save settings to ') $(echo "$err" | tail -n 1)"
check "settings unwritable lines" "2" "$(echo "$err" | wc -l | tr -d ' ')"
rm -f "$XDG_CONFIG_HOME"
"$LUMENO" --help | grep -q '^  settings ' || { echo "FAIL: help lists settings"; fails=$((fails + 1)); }

[ "$fails" -eq 0 ] && echo "all CLI checks passed"
exit "$fails"
