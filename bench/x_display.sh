# Sourced by the benchmark scripts: start_display [XVFB-ARGS...] starts Xvfb on the first free
# display (1024x768x24, extra arguments passed on) and openbox, exports DISPLAY, and adds both
# processes to the caller's `pids` array; it needs the caller's temp folder in `tmp`.
start_display() {
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp "$@" 3>"$tmp/display" >/dev/null 2>&1 &
  pids+=($!)
  while [[ ! -s $tmp/display ]]; do sleep 0.05; done
  export DISPLAY=:$(cat "$tmp/display")
  openbox --sm-disable >/dev/null 2>&1 &
  pids+=($!)
  until wmctrl -m >/dev/null 2>&1; do sleep 0.05; done
}
