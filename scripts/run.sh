#!/usr/bin/env bash
# Installs what is missing, builds the release flavour and runs the client against the
# lap-timing host simulator, both on 127.0.0.1, with short laps (about 15 s) so that laps
# arrive within a minute.
# On a desktop ($DISPLAY set) it runs the program and tells you what to press. Without a
# display it starts a virtual one with a light window manager, presses the buttons itself,
# waits for two laps, saves screenshots in build/screenshots/ and stops all it started.
# It never sets the machine's clock and never sends anything beyond this machine.
#
# Options:
#   --screen WxH   size of the virtual display in pixels (default 1024x768)
#   --fill         run the client with --fill (its window fills the screen)
#   --lap-log DIR  run the client with --lap-log DIR; without a display the run's CSV is
#                  then drawn with rivect-laps into build/screenshots/laps.png
#   --stints       run the client with --stints and a roster of three drivers; the simulator
#                  stops in the pits every third lap. Without a display the pit keys are
#                  pressed here and build/screenshots/stints.png shows the pit panel
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"

screen_size="1024x768"
client_args=()
lap_log=""
stints=0
while [ $# -gt 0 ]; do
  case "$1" in
    --fill) client_args+=(--fill); shift ;;
    --stints) stints=1; client_args+=(--stints); shift ;;
    --lap-log)
      lap_log="${2:-}"
      [ -n "$lap_log" ] || { echo "run.sh: --lap-log needs a folder" >&2; exit 2; }
      lap_log="$(realpath -m "$lap_log")"
      client_args+=(--lap-log "$lap_log")
      shift 2
      ;;
    --screen)
      screen_size="${2:-}"
      shift 2 || { echo "run.sh: --screen needs WxH" >&2; exit 2; }
      ;;
    --screen=*) screen_size="${1#--screen=}"; shift ;;
    -h|--help) sed -n '2,18p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "run.sh: unknown option '$1'" >&2; exit 2 ;;
  esac
done
if ! [[ "$screen_size" =~ ^[0-9]+x[0-9]+$ ]]; then
  echo "run.sh: --screen expects WxH, e.g. 800x600 (got '$screen_size')" >&2
  exit 2
fi

bash scripts/setup.sh
bash scripts/build.sh release

# The demo gets a program folder of its own, so its settings never touch anyone else's: the
# program keeps Rivect.ini and OutMess.txt beside itself.
demo="$root/build/demo"
mkdir -p "$demo"
cp -f "$root/build/release/src/app/rivect" "$demo/rivect"
hostsim="$root/build/release/tools/hostsim/rivect-hostsim"
# The settings file is in code page 932: "[環境設定]" is 5B 8A C2 8B AB 90 DD 92 E8 5D.
# Written afresh every time: the host is this machine, whatever an earlier run stored.
printf '\x5b\x8a\xc2\x8b\xab\x90\xdd\x92\xe8\x5d\r\nHostIPNo=127.0.0.1\r\n' > "$demo/Rivect.ini"
# The stints file beside it (UTF-8 is read as well as code page 932): rules short enough that a
# demo of a few minutes meets them.
if [ "$stints" -eq 1 ]; then
  printf '[rules]\r\nmax_stint_min=6\r\nmin_pit_s=10\r\npits_closed_start_min=0\r\npits_closed_end_min=5\r\nmin_driver_min=0\r\nmax_driver_min=0\r\n[drivers]\r\n1=山田\r\n2=佐藤\r\n3=鈴木\r\n' > "$demo/Stints.ini"
fi

# The program may never set the clock: without the system bus it cannot ask the desktop's time
# service, and as root it runs without the capability to set the clock itself.
launch=(env DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent/rivect-demo "$demo/rivect" ${client_args[@]+"${client_args[@]}"})
if [ "$(id -u)" -eq 0 ]; then
  launch=(setpriv --bounding-set=-sys_time --inh-caps=-sys_time -- "${launch[@]}")
fi

started_pids=()
cleanup() {
  local i
  for (( i=${#started_pids[@]}-1; i>=0; i-- )); do
    kill "${started_pids[i]}" 2>/dev/null || true
  done
  for pid in "${started_pids[@]}"; do
    wait "$pid" 2>/dev/null || true
  done
}
trap cleanup EXIT

# --- Host simulator on 127.0.0.1 ------------------------------------------------------------
# The terminal asks with its own address: the loopback address here, or the machine's own
# address should the kernel report that one. Both are served as car 1.
sim_args=(--register 127.0.0.1=1 --car 1 --lap 15000 --spread 1500 --run-minutes 30
          --text "ようこそ　Ｒｉｖｅｃｔ　デモ走行中" --text "ピットイン準備　タイヤ交換"
          --no-stdin)
[ "$stints" -eq 1 ] && sim_args+=(--pit-every 3 --pit-s 20)
own_address="$(hostname -I 2>/dev/null | awk '{print $1}')"
if [[ "$own_address" =~ ^[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$ ]]; then
  sim_args+=(--register "$own_address=1")
fi
sim_log="$demo/hostsim.log"

if [ -n "${DISPLAY:-}" ]; then
  "$hostsim" "${sim_args[@]}" >"$sim_log" 2>&1 &
  started_pids+=($!)
  cat <<EOF
run.sh: the host simulator runs on 127.0.0.1 (car 1, a lap about every 15 s); its log:
          tail -f $sim_log
        The client starts now. When its window is up:
          1. press "Host設定", then OK (the address 127.0.0.1 is already filled in):
             the car box shows "１号車";
          2. press "Start": within about 15 s the first lap arrives and blinks for 10 s;
          3. Space picks a driver message, sent to the host with every status datagram;
          4. to end: "Stop" (Yes), then "End" (Yes).
EOF
  [ "$stints" -eq 1 ] && cat <<EOF
        The pit panel ("ピット") stands beside the client window: F5 pit in, F6 pit out,
        F7 another driver before F6, Ctrl+Z undo, F8 sound off and on; every third lap of
        the simulator is 20 s longer, as a stop makes it. The roster: $demo/Stints.ini
EOF
  "${launch[@]}"
  exit $?
fi

# --- Headless: virtual display, window manager, the buttons pressed here -------------------
for tool in Xvfb openbox xdotool xwininfo import; do
  command -v "$tool" >/dev/null || { echo "run.sh: $tool is missing" >&2; exit 1; }
done
shots="$root/build/screenshots"
mkdir -p "$shots"
rm -f "$shots"/{opening,client,registered,lap1,lap2,filed,stop,stints}.png

display_file="$(mktemp)"
Xvfb -displayfd 3 -screen 0 "${screen_size}x24" -nolisten tcp \
  3>"$display_file" >/dev/null 2>&1 &
started_pids+=($!)
for _ in $(seq 1 100); do
  [ -s "$display_file" ] && break
  sleep 0.1
done
if [ ! -s "$display_file" ]; then
  echo "run.sh: the virtual display did not start" >&2
  exit 1
fi
DISPLAY=":$(head -n1 "$display_file")"
export DISPLAY
rm -f "$display_file"
echo "run.sh: virtual display $DISPLAY (${screen_size})"

openbox --sm-disable >/dev/null 2>&1 &
started_pids+=($!)
for _ in $(seq 1 100); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
  sleep 0.1
done

"$hostsim" "${sim_args[@]}" --json >"$sim_log" 2>&1 &
started_pids+=($!)
sim_started=$SECONDS

"${launch[@]}" >"$demo/rivect.log" 2>&1 &
program_pid=$!
started_pids+=("$program_pid")

# wait_for SECONDS COMMAND...: runs COMMAND every 0.1 s until it succeeds; false on timeout.
wait_for() {
  local tries=$(( $1 * 10 ))
  shift
  for (( ; tries > 0; tries-- )); do
    if "$@" >/dev/null 2>&1; then return 0; fi
    sleep 0.1
  done
  return 1
}
# window_named NAME: the id of the program's visible window with exactly that name.
window_named() {
  local w
  for w in $(xdotool search --onlyvisible --pid "$program_pid" 2>/dev/null); do
    if [ "$(xdotool getwindowname "$w" 2>/dev/null)" = "$1" ]; then echo "$w"; return 0; fi
  done
  return 1
}
# sim_said PATTERN: the simulator's JSON log has a line matching the extended regex.
sim_said() { grep -Eq "$1" "$sim_log"; }
fail() { echo "run.sh: $*" >&2; echo "run.sh: program log: $demo/rivect.log, simulator log: $sim_log" >&2; exit 1; }

# Button centres in pixels of the client area at 96 dpi, from the window layouts (twips / 15),
# and the layout's client width, by which a filling window's buttons are found.
width="${screen_size%x*}"
if (( width >= 640 && width < 800 )); then
  layout=Clt_640; layout_width=639; host_btn=(482 260); start_btn=(562 385); end_btn=(617 385)
elif (( width >= 800 && width < 1024 )); then
  layout=Clt_800; layout_width=789; host_btn=(586 313); start_btn=(712 475); end_btn=(768 475)
else
  layout=Clt_1024; layout_width=1009; host_btn=(717 416); start_btn=(915 609); end_btn=(977 608)
fi
origin=(0 0)
client_width="$layout_width"
press() {
  xdotool mousemove $(( origin[0] + $1 * client_width / layout_width )) \
    $(( origin[1] + $2 * client_width / layout_width )) sleep 0.1 click 1
}
# answer NAME KEYS: types KEYS into the program's box NAME once it is up.
answer() {
  local box
  wait_for 5 window_named "$1" || fail "the box \"$1\" did not come up"
  box="$(window_named "$1")"
  xdotool windowactivate --sync "$box" key --clearmodifiers "$2"
}

wait_for 15 xdotool search --onlyvisible --pid "$program_pid" || fail "the opening window did not appear"
sleep 0.7
import -window root "$shots/opening.png"
wait_for 10 window_named Chronel || fail "the client window did not appear"
client="$(window_named Chronel)"
sleep 1
read -r -a origin < <(xwininfo -id "$client" |
  awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF} END {print x, y}')
client_width="$(xwininfo -id "$client" | awk '/^ *Width:/ {print $NF}')"
import -window root "$shots/client.png"
echo "run.sh: $layout shown; pressing Host設定 and OK (127.0.0.1)"

press "${host_btn[@]}"
answer "ホストＩＰ設定" Return
wait_for 5 sim_said '"type":"register-reply"' || fail "the simulator did not answer the registration"
sleep 0.5
import -window root "$shots/registered.png"
echo "run.sh: the simulator named the car; pressing Start"
press "${start_btn[@]}"
wait_for 5 sim_said '"type":"status"' || fail "no status datagram reached the simulator"

# lap_taken N: the client echoes lap N in its status datagrams.
lap_taken() { grep '"type":"status"' "$sim_log" | grep -Eq "\"lap\":$1[,}]"; }
wait_for 45 lap_taken 1 || fail "no lap was taken within 45 s"
echo "run.sh: lap 1 arrived $(( SECONDS - sim_started )) s after the simulator started"
sleep 1
import -window root "$shots/lap1.png"
sleep 10.5
import -window root "$shots/filed.png"
# A driver message for the host: Space presses the focused message button.
xdotool windowactivate --sync "$client" key --clearmodifiers space
wait_for 30 lap_taken 2 || fail "the second lap was not taken"
echo "run.sh: lap 2 arrived $(( SECONDS - sim_started )) s after the simulator started"
sleep 1.5
import -window root "$shots/lap2.png"
if [ "$stints" -eq 1 ]; then
  # The pit keys work in the client window: a stop of a few seconds, then the next driver.
  wait_for 5 window_named ピット || fail "the pit panel is not shown"
  echo "run.sh: pressing F5 (pit in), then F6 (pit out)"
  xdotool windowactivate --sync "$client" key --clearmodifiers F5
  sleep 3
  # Where the screen leaves no side free of the client window, the panel is a window of its
  # own: raised here, as a click on it raises it, and F6 pressed in it.
  panel="$(window_named ピット)"
  xdotool windowactivate --sync "$panel"
  sleep 0.5
  import -window root "$shots/stop.png"
  xdotool windowactivate --sync "$panel" key --clearmodifiers F6
  wait_for 60 lap_taken 3 || fail "the third lap was not taken"
  sleep 1.5
  import -window root "$shots/stints.png"
fi

echo "run.sh: pressing Stop (Yes) and End (Yes)"
press "${start_btn[@]}"
answer "中断" y
sleep 0.5
press "${end_btn[@]}"
answer "終了確認" Return
# ended PID: the process has ended (a child that has ended but not been waited for counts).
ended() { local s; s="$(ps -o stat= -p "$1" 2>/dev/null)" || return 0; [[ "$s" == Z* ]]; }
wait_for 10 ended "$program_pid" || fail "the program did not end"
extra_shots=""
[ "$stints" -eq 1 ] && extra_shots=", stop, stints"
echo "run.sh: screenshots in $shots: opening, client, registered, lap1, filed, lap2$extra_shots (.png)"
if [ -n "$lap_log" ]; then
  run_log="$(ls -t "$lap_log"/*.csv 2>/dev/null | head -n1)"
  [ -n "$run_log" ] || fail "no lap log was written into $lap_log"
  "$root/build/release/tools/laps/rivect-laps" "$run_log" -o "$shots/laps.png" || fail "rivect-laps failed"
  echo "run.sh: lap log $run_log, drawn as $shots/laps.png"
fi
