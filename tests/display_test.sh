#!/usr/bin/env bash
# The built program on a real (virtual) X display: it collects from the sample
# listing on 127.0.0.1:8089, a row is right-clicked and "复制" chosen, and another
# process reads ip:port from the X clipboard; Esc then ends the program with
# status 0. With SCREENSHOT=file.png it also keeps a picture of the filled window.
# Exit 77 (skipped) when port 8089 is taken or no X tools are installed.
set -euo pipefail
build=${1:?usage: display_test.sh BUILD_DIR}
for tool in Xvfb xdotool xclip; do command -v "$tool" >/dev/null || exit 77; done
if (exec 3<>/dev/tcp/127.0.0.1/8089) 2>/dev/null; then echo "port 8089 is taken"; exit 77; fi

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# Serves until `$@` succeeds, at most 30 s.
wait_for() {
  for _ in $(seq 300); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
  echo "gave up waiting for: $*"
  return 1
}

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
wait_for test -s "$work/display"
export DISPLAY=":$(head -n 1 "$work/display")"
unset QT_QPA_PLATFORM

"$build/tools/listing-server" --port 8089 --pages 12 --rows 40 2>/dev/null &
pids+=($!)
wait_for bash -c 'exec 3<>/dev/tcp/127.0.0.1/8089'
first=$("$build/tools/listing-server" --pages 12 --rows 40 --print-kept | sed -n 1p | cut -f 2,3 | tr '\t' ':')

"$build/app/velmora" &
app=$!
pids+=("$app")
wait_for xdotool search --onlyvisible --name '^Velmora$'
window=$(xdotool search --onlyvisible --name '^Velmora$' | head -n 1)
xdotool windowfocus --sync "$window"

# 刷新 sits at 524,244 (76 x 28) in the window; the first row in the table.
xdotool mousemove --window "$window" 562 258 click 1
copy_first_row() {
  printf 'nothing' | xclip -selection clipboard
  xdotool mousemove --window "$window" 60 32 click 3
  sleep 0.3
  xdotool key Down Return
  sleep 0.2
  [ "$(xclip -selection clipboard -o)" = "$first" ]
}
wait_for copy_first_row
echo "clipboard: $(xclip -selection clipboard -o)"

if [ -n "${SCREENSHOT:-}" ]; then
  xdotool mousemove --window "$window" 300 120 click 1
  sleep 0.5
  eval "$(xdotool getwindowgeometry --shell "$window")"
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$SCREENSHOT"
fi

xdotool windowfocus --sync "$window" && xdotool key Escape
for _ in $(seq 50); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$app" 2>/dev/null; then echo "the program did not end on Esc"; exit 1; fi
wait "$app"
echo "1 passed, 0 failed"
