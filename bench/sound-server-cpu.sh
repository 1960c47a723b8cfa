#!/usr/bin/env bash
# Measures what Tapwell's sound output costs the CPU, Tapwell and the sound server together,
# against a private sound server with a null sink (never the session's own server).
#
#   bench/sound-server-cpu.sh BUILD_DIR pulseaudio|pipewire [idle|typing] [SECONDS] [-- TAPWELL_ARGS]
#   bench/sound-server-cpu.sh BUILD_DIR pulseaudio|pipewire latency [COUNT] [-- asleep|awake PERIOD [pulse]]
#
# idle: nothing is typed; the first 5 s (start-up, the theme's first sounds) are not counted.
# typing: a private Xvfb, and xdotool types 10 keys a second for the whole window.
# Prints the share of one core that Tapwell, the server, and both used over the window, read from
# the scheduler's clock of each of their threads (/proc/PID/task/*/schedstat, in nanoseconds; the
# clock ticks of /proc/PID/stat come in steps of 10 ms, 0.07 % of a core over 15 s).
# latency: runs sound_wake_latency (bench/SoundWakeLatency.cpp) against the same private server;
# on PipeWire through its own stream, as the program plays, or with `pulse` through its pulse server.
set -euo pipefail

build=${1:?build dir}
server=${2:?pulseaudio or pipewire}
mode=${3:-idle}
seconds=${4:-10}
shift $(($# < 4 ? $# : 4))
[ "${1:-}" = "--" ] && shift
extra=("$@")

tapwell="$build/src/app/tapwell"
work=$(mktemp -d /tmp/tapwell-sound-cpu.XXXXXX)
export XDG_RUNTIME_DIR="$work/run" HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
export XDG_DATA_HOME="$work/home/.local/share" XDG_STATE_HOME="$work/home/.local/state"
mkdir -p "$XDG_RUNTIME_DIR" "$HOME" && chmod 700 "$XDG_RUNTIME_DIR"
unset PULSE_SERVER DISPLAY
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "${pids[i]}" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "${pids[i]}" 2>/dev/null; then
      echo "process ${pids[i]} ignored SIGTERM for 5 s; killed" >&2
      kill -9 "${pids[i]}" 2>/dev/null || true
    fi
  done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# A private session bus: wireplumber and Tapwell both want one.
dbus-daemon --session --nofork --address="unix:path=$work/bus" >/dev/null 2>&1 &
pids+=($!)
export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/bus"
for _ in $(seq 50); do [ -S "$work/bus" ] && break; sleep 0.1; done

case "$server" in
  pulseaudio)
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --disable-shm=no \
      -L module-native-protocol-unix -L module-always-sink >"$work/server.log" 2>&1 &
    pids+=($!)
    server_pids() { echo "${pids[1]}"; }
    ;;
  pipewire)
    pipewire >"$work/pipewire.log" 2>&1 &
    pids+=($!)
    sleep 0.5
    wireplumber >"$work/wireplumber.log" 2>&1 &
    pids+=($!)
    pipewire-pulse >"$work/pipewire-pulse.log" 2>&1 &
    pids+=($!)
    server_pids() { echo "${pids[1]} ${pids[2]} ${pids[3]}"; }
    ;;
  *) echo "unknown server $server" >&2; exit 2 ;;
esac
for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
sleep 1  # PipeWire's session manager sets itself up after the server answers
for _ in $(seq 20); do
  pactl load-module module-null-sink sink_name=tapwell_null ${NULL_SINK_ARGS:-} >/dev/null 2>&1 && break; sleep 0.25
done
for _ in $(seq 20); do pactl set-default-sink tapwell_null 2>/dev/null && break; sleep 0.25; done
sleep 1

if [ "$mode" = latency ]; then
  "$build/bench/sound_wake_latency" "${extra[0]:-asleep}" "$seconds" "${extra[1]:-128}" "${extra[2]:-}"
  exit
fi

if [ "$mode" = typing ]; then
  Xvfb :77 -nolisten tcp >"$work/xvfb.log" 2>&1 &
  pids+=($!)
  export DISPLAY=:77
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
fi

"$tapwell" --headless "${extra[@]}" >"$work/tapwell.log" 2>&1 &
tapwell_pid=$!
pids+=("$tapwell_pid")
sleep 5

cpu_us() {  # time on the CPU of the given processes' live threads, in microseconds
  local total=0 ns
  for p in "$@"; do
    [ -d "/proc/$p/task" ] || { echo "process $p is gone" >&2; return 1; }
    for t in /proc/"$p"/task/*; do
      read -r ns _ <"$t/schedstat" 2>/dev/null || continue  # the thread ended meanwhile
      total=$((total + ns / 1000))
    done
  done
  echo "$total"
}
t0=$(cpu_us "$tapwell_pid"); s0=$(cpu_us $(server_pids)); w0=$(date +%s.%N)
if [ "$mode" = typing ]; then
  # 10 keys a second, each on its own 100 ms slot.
  start=$(date +%s%N)
  for ((k = 1; k <= seconds * 10; k++)); do
    xdotool key a
    left=$((start + k * 100000000 - $(date +%s%N)))
    if ((left > 0)); then sleep "$(printf '0.%09d' "$left")"; fi
  done
else
  sleep "$seconds"
fi
t1=$(cpu_us "$tapwell_pid"); s1=$(cpu_us $(server_pids)); w1=$(date +%s.%N)
awk -v t=$((t1 - t0)) -v s=$((s1 - s0)) -v w0="$w0" -v w1="$w1" \
  -v server="$server" -v mode="$mode" 'BEGIN {
    wall = w1 - w0
    printf "%s %s %.1f s: tapwell %.2f %%, server %.2f %%, together %.2f %% of one core\n",
      server, mode, wall, 100 * t / 1e6 / wall, 100 * s / 1e6 / wall, 100 * (t + s) / 1e6 / wall }'
grep -iE "warn|error|audio" "$work/tapwell.log" | head -5 || true
[ -n "${KEEP_LOG:-}" ] && cat "$work/tapwell.log" >&2 || true
