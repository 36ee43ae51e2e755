#!/usr/bin/env bash
# Setup benchmark: how long "kestrom.exe /setup" takes to put the gate and then the Setup form on
# screen, and how long "Make Changes" takes on boot files of 400 lines, on the real (FLTK) runtime
# under a private Xvfb with openbox. See bench/README.md.
#
#   bench/setup_bench.sh [build-dir]
#
# Settings from the environment: RUNS=11 (timed runs), KEEP=1 (keep the temp folder).
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(realpath -m "${1:-$repo/build}")
runs=${RUNS:-11}
kestrom=$build/app/kestrom.exe
installer=$build/tools/vellomar-install
set_password=$build/tests/e2e/set-password
for tool in "$kestrom" "$installer" "$set_password"; do
  [[ -x $tool ]] || { echo "setup_bench: build first: $tool is missing" >&2; exit 1; }
done

work=$(mktemp -d /tmp/setupbench.XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  if [[ ${KEEP:-0} == 1 ]]; then echo "kept: $work" >&2; else rm -rf "$work"; fi
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 300); do [[ -s $work/display ]] && break; sleep 0.1; done
export DISPLAY=":$(head -1 "$work/display")"
openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 300); do wmctrl -m >/dev/null 2>&1 && break; sleep 0.1; done

now_ms() { echo $(($(date +%s%N) / 1000000)); }
# wait_line FILE PATTERN: polls every 2 ms (10 s at most); prints the wall clock when it matched.
wait_line() {
  for _ in $(seq 5000); do
    if grep -q "$2" "$1" 2>/dev/null; then now_ms; return 0; fi
    sleep 0.002
  done
  echo "setup_bench: timed out waiting for $2" >&2
  return 1
}
# trace_t FILE PATTERN: the "t" of the first matching trace line (ms since the run began).
trace_t() { grep -m1 "$2" "$1" | sed 's/^{"t":\([0-9]*\),.*/\1/'; }
# focus_on TITLE: waits (30 s at most) until the window of that title is mapped and has the focus.
focus_on() {
  timeout 30 xdotool search --sync --onlyvisible --name "^$1\$" | head -1
  for _ in $(seq 1500); do
    [[ $(xdotool getwindowfocus getwindowname 2>/dev/null) == "$1" ]] && return 0
    sleep 0.02
  done
  echo "setup_bench: run $run: $1 never had the focus" >&2
  return 1
}
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
lines() { for i in $(seq "$1"); do printf 'REM line %d\r\n' "$i"; done; }

# A fresh installation whose boot files hold 400 lines each.
prepare() {
  rm -rf "$work/c"
  "$installer" --drive-c "$work/c" --program "$kestrom" >/dev/null
  (cd "$work/c/Program Files/Vellomar" && "$set_password" "$work/c" secret)
  lines 400 >"$work/c/AUTOEXEC.BAT"
  lines 399 >"$work/c/WINDOWS/DOSSTART.BAT"
  chmod u+w "$work/c/MSDOS.SYS"
  { printf '[Options]\r\nBootKeys=1\r\n'; lines 398; } >"$work/c/MSDOS.SYS"
}

for run in $(seq "$runs"); do
  prepare
  trace=$work/trace-$run
  start=$(now_ms)
  (cd "$work/c/Program Files/Vellomar" && KESTROM_TRACE="$trace" VELLOMAR_DRIVE_C="$work/c" \
     exec "$kestrom" /setup) >/dev/null 2>&1 &
  pid=$!
  gate=$(wait_line "$trace" '"ev":"show","form":"EnterSetupPassword"')
  focus_on "Enter Setup" >/dev/null
  xdotool type --delay 5 secret
  typed=$(now_ms)
  xdotool key Return
  shown=$(wait_line "$trace" '"ev":"show","form":"Setup"')
  setup=$(timeout 30 xdotool search --sync --onlyvisible --name '^Vellomar version 1.0 Setup$' |
    head -1)
  # Lock before Windows (AUTOEXEC.BAT), DOS-mode lock (DOSSTART.BAT), boot keys (MSDOS.SYS).
  for at in "344 168" "344 256" "344 304"; do
    read -r x y <<<"$at"
    xdotool mousemove --window "$setup" "$x" "$y" click 1
  done
  wait_line "$trace" '"control":"Check4","prop":"value","value":1' >/dev/null
  xdotool mousemove --window "$setup" 400 384 click 1
  wait_line "$trace" '"ev":"show","form":"WarnMsdosSys"' >/dev/null
  warning=$(timeout 30 xdotool search --sync --onlyvisible --name '^Warning!$' | head -1)
  xdotool mousemove --window "$warning" 176 388 click 1  # "Yes - Proceed"
  wait_line "$trace" '"ev":"show","form":"ChangesMade"' >/dev/null
  grep -q 'Click the .OK. button below' "$trace" || { echo "setup_bench: run $run failed" >&2; }
  grep -q HALVRIK -i "$work/c/AUTOEXEC.BAT" || echo "setup_bench: AUTOEXEC.BAT unchanged" >&2
  report=$(timeout 30 xdotool search --sync --onlyvisible --name '^Vellomar Setup Message$' |
    head -1)
  xdotool mousemove --window "$report" 240 184 click 1  # OK
  wait_line "$trace" '"ev":"end"' >/dev/null || kill "$pid"
  wait "$pid" 2>/dev/null || true
  echo "$((gate - start)) $((shown - typed)) \
$(($(trace_t "$trace" '"form":"Setup","modal"') - $(trace_t "$trace" '"ev":"unload","form":"EnterSetupPassword"'))) \
$(($(trace_t "$trace" '"ev":"show","form":"ChangesMade"') - $(trace_t "$trace" '"ev":"unload","form":"WarnMsdosSys"')))" \
    >>"$work/results"
done

column() { awk "{print \$$1}" "$work/results" | median; }
echo "Setup benchmark, $(date -u '+%Y-%m-%d %H:%M UTC'), Xvfb 1024x768x24 + openbox," \
  "$runs runs, load $(cut -d' ' -f1 /proc/loadavg)"
echo
echo "| step | median |"
echo "|---|---:|"
echo "| exec of \`/setup\` -> gate shown | $(column 1) ms |"
echo "| Enter on the gate -> Setup shown (the gate's 0.5 s wait included) | $(column 2) ms |"
echo "| Setup's load (gate unloaded -> Setup shown, in-process) | $(column 3) ms |"
echo "| apply run, 400-line boot files (warning answered -> report shown, in-process) | $(column 4) ms |"
