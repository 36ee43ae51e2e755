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

# The lock's processes, by program path (PROGRAM_DIR/kestrom.exe or PROGRAM_DIR/vellomar-guard).
pids_of() {  # the processes of the given program's folder going by its name (the first guard is
  # a fork of kestrom.exe that names itself as the guard)
  local pid
  for pid in $(ls /proc | grep -E '^[0-9]+$'); do
    [[ $(readlink "/proc/$pid/exe" 2>/dev/null) == "$(dirname "$1")"/* ]] || continue
    [[ $(cat "/proc/$pid/comm" 2>/dev/null) == "$(basename "$1")" ]] && echo "$pid"
  done
  true
}
kill_program() {
  local pid
  for pid in $(pids_of "$1"); do kill -KILL "$pid" 2>/dev/null || true; done
}
stop_lock() {  # the lock in $program_dir, stopped first so that neither process starts the other again
  local pid forms="$program_dir/kestrom.exe" guard="$program_dir/vellomar-guard"
  for pid in $(pids_of "$guard") $(pids_of "$forms"); do kill -STOP "$pid" 2>/dev/null || true; done
  kill_program "$guard"
  kill_program "$forms"
}
