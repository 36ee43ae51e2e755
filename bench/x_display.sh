# Sourced by the benchmark scripts: start_display [XVFB-ARGS...] starts Xvfb on the first free
# display (1024x768x24, extra arguments passed on) and openbox, exports DISPLAY, and adds both
# processes to the caller's `pids` array; it needs the caller's temp folder in `tmp`.
# stop_pids ends what `pids` holds, the last started first (the clients before their server).
# install_kestrom PROGRAM installs PROGRAM into the caller's `drive_c` (from `build`) with a
# password record for "bench" in its `program_dir`.
start_display() {
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp "$@" 3>"$tmp/display" >/dev/null 2>&1 &
  pids+=($!)
  while [[ ! -s $tmp/display ]]; do sleep 0.05; done
  export DISPLAY=:$(cat "$tmp/display")
  openbox --sm-disable >/dev/null 2>&1 &
  pids+=($!)
  until wmctrl -m >/dev/null 2>&1; do sleep 0.05; done
}

stop_pids() {
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null && wait "${pids[i]}" 2>/dev/null || true
  done
  pids=()
}

install_kestrom() {
  "$build/tools/vellomar-install" --drive-c "$drive_c" --program "$1" >/dev/null
  (cd "$program_dir" && "$build/bench/bench_record" "$drive_c" "$program_dir" bench)
}
