# Sourced by the Wine scenarios: failing with what a log shows, and waiting on that log.
# Set before use: `scenario` (the script's name) and `watched` (the log file to show and search);
# `also_watched` names a second log to show, where a scenario keeps one.

# fail MESSAGE: says why, shows the log, and ends the scenario.
fail() {
  echo "$scenario: $*" >&2
  if [ -s "$watched" ]; then
    echo "--- $(basename "$watched")" >&2
    cat -v "$watched" >&2
  fi
  # A second log the scenario names, when it has one.
  if [ -n "${also_watched:-}" ] && [ -s "$also_watched" ]; then
    echo "--- $(basename "$also_watched")" >&2
    tail -n 40 "$also_watched" >&2
  fi
  # Which Windows programs were still running (two copies of one tell a race apart from a hang).
  echo "--- Windows programs running" >&2
  pgrep -a -f '[.]exe( |$)' | cut -c1-100 >&2 || true
  exit 1
}

# wait_for PATTERN SECONDS: until a line of the log matches PATTERN.
wait_for() {
  local deadline=$((SECONDS + $2))
  until grep -q "$1" "$watched" 2> /dev/null; do
    [ "$SECONDS" -lt "$deadline" ] || fail "nothing matching \"$1\" within $2 s"
    sleep 0.1
  done
}
