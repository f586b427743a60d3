#!/usr/bin/env bash
# A second start while one copy runs: the notice, status 0, nothing else on stderr, and
# the first copy's window comes to the front. Needs an X display (run under Xvfb).
set -u
# Every wait below is for a condition, bounded generously: on a loaded machine a start or
# a window's mapping can take many seconds.
exe=$1
work=$(mktemp -d)
trap 'kill $first $cover 2>/dev/null; wait $first 2>/dev/null; rm -rf "$work"' EXIT
cover=
export HOME=$work XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

fail() { echo "FAIL: $*"; exit 1; }

"$exe" >"$work/first.out" 2>"$work/first.err" &
first=$!
main=$(timeout 120 xdotool search --sync --onlyvisible --name '^Tolvane Zavi$' | head -1) || fail "first window did not appear"

# Something else covers the first window.
xmessage -name cover -geometry 1200x900+0+0 "cover" &
cover=$!
timeout 120 xdotool search --sync --onlyvisible --classname cover >/dev/null || fail "the covering window did not appear"

"$exe" >"$work/second.out" 2>"$work/second.err" &
second=$!
box=$(timeout 120 xdotool search --sync --onlyvisible --name '^Korvane$' | head -1) || fail "no notice box"
# Without a window manager the box only hears the key once it has the input focus.
for _ in $(seq 1 1200); do
  xdotool windowfocus "$box" 2>/dev/null
  [ "$(xdotool getwindowfocus 2>/dev/null)" = "$box" ] && break
  sleep 0.1
done
xdotool key --clearmodifiers Return
for _ in $(seq 1 1200); do kill -0 $second 2>/dev/null || break; sleep 0.1; done
kill -0 $second 2>/dev/null && fail "second copy did not end"
wait $second; status=$?
[ "$status" -eq 0 ] || fail "second copy ended with $status"
grep -v -E 'Gtk-|GLib|dbind|^\s*$|accessibility|at-spi' "$work/second.err" | grep -q . && { cat "$work/second.err"; fail "second copy wrote to stderr"; }

kill -0 $first 2>/dev/null || fail "first copy died"
# The first window must now stand above the window that covered it. xwininfo lists the
# children of the root window from the top of the stack down. The first copy raises its
# window when it hears of the second start, in its own time.
cover_win=$(xdotool search --onlyvisible --classname cover | head -1)
for _ in $(seq 1 1200); do
  stack=$(xwininfo -root -children | grep -oE '^ +0x[0-9a-f]+' | tr -d ' ')
  pos_main=$(echo "$stack" | grep -n -x "$(printf '0x%x' "$main")" | head -1 | cut -d: -f1)
  pos_cover=$(echo "$stack" | grep -n -x "$(printf '0x%x' "$cover_win")" | head -1 | cut -d: -f1)
  [ -n "$pos_main" ] && [ -n "$pos_cover" ] && [ "$pos_main" -lt "$pos_cover" ] && break
  sleep 0.1
done
[ -n "$pos_main" ] && [ -n "$pos_cover" ] || fail "windows not found in the stack ($pos_main, $pos_cover)"
[ "$pos_main" -lt "$pos_cover" ] || fail "the first window was not raised ($pos_main below $pos_cover)"
echo PASS
