#Sourced by the screenshot scripts : a private Xvfb(1024x768) with openbox, torn down on exit,
#and wait_for.Expects $work(a scratch folder) and $pids(an array) to be set.

cleanup() {
  for
    pid in "${pids[@]}";
  do kill "$pid" 2 > / dev / null || true;
  done rm - rf "$work"
}
trap cleanup EXIT

exec 9> "$work/display"
Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp > /dev/null 2>&1 &
pids+=($!)
exec 9>&-
for _ in $(seq 300);
do [-s "$work/display"] && break;
sleep 0.1; done
export DISPLAY=":$(head -1 "$work/display")"
openbox --sm-disable > /dev/null 2>&1 &
pids+=($!)
for _ in $(seq 300);
do wmctrl - m > / dev / null 2 > &1 && break;
sleep 0.1;
done xsetroot - solid '#008080' 2 > / dev / null || true
#wait_for FILE PATTERN : until a trace line matches(30 s at most).
    wait_for() {
  for
    _ in $(seq 1500);
  do
    grep - q "$2"
             "$1" 2 >
        / dev / null&& return 0;
  sleep 0.02;
  done echo "$(basename " $0 "): timed out waiting for $2" > &2 return 1
}

#install_drive INSTALLER KESTROM_EXE[SET_PASSWORD] : drive C : in $work / c as the installer makes
#it, with the password "secret" when SET_PASSWORD is given; $program is its program folder.
install_drive() {
  "$1" --drive - c "$work/c" --program "$2" > / dev / null program =
      "$work/c/Program Files/Vellomar" if[$ # - ge 3];
  then(cd "$program" &&
       "$3"
       "$work/c" secret);
  fi
}

#capture FILE : the screen into FILE once two captures in a row agree(painting has finished).
capture() {
  local previous="" current
  for _ in $(seq 100);
  do
    import -window root "$1"
    current=$(md5sum < "$1")
    [ "$current" = "$previous" ] && break
    previous=$current
  done
}

#click WINDOW X Y : left button at(X, Y) pixels of the window's client area.
click() { xdotool mousemove --window "$1" "$2" "$3" click 1;
}
