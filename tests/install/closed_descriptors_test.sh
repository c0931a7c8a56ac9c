#!/usr/bin/env bash
# closed_descriptors_test.sh BUILD_DIR: each program started with standard
# descriptors closed finds them on /dev/null, so the port it opens never takes
# descriptor 1 and nothing it prints goes down the line to the driver.
set -euo pipefail
sim=$1/sim/velkor-sim ctl=$1/ctl/velkorctl panel=$1/app/velkor
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
failures=0

holds() {  # PID TARGET: waits (bounded, not timed) until PID has a descriptor on TARGET
  for _ in $(seq 2000); do
    for fd in /proc/"$1"/fd/*; do [ "$(readlink "$fd" 2>/dev/null)" = "$2" ] && return 0; done
    kill -0 "$1" 2>/dev/null && sleep 0.01 || return 1
  done
  return 1
}

"$sim" >"$work/sim.out" &
for _ in $(seq 2000); do [ -s "$work/sim.out" ] && break; sleep 0.01; done
pty=$(head -1 "$work/sim.out")

# name | what it holds once under way | the descriptors closed | command
rows=(
  "velkor-sim|/dev/ptmx|0 1 2|$sim <&- >&- 2>&-"
  "velkorctl watch|$pty|1|$ctl --port $pty watch >&-"
  "velkorctl watch|$pty|0 1 2|$ctl --port $pty watch <&- >&- 2>&-"
  "the panel|anon_inode:[eventfd]|0 1 2|QT_QPA_PLATFORM=offscreen $panel <&- >&- 2>&-"
)
for row in "${rows[@]}"; do
  IFS='|' read -r name target closed command <<<"$row"
  eval "$command &"
  pid=$!
  holds "$pid" "$target" || { echo "$name: never held $target"; failures=$((failures + 1)); }
  for fd in $closed; do
    got=$(readlink "/proc/$pid/fd/$fd" || echo closed)
    [ "$got" = /dev/null ] || { echo "$name, $closed closed: descriptor $fd is $got"; failures=$((failures + 1)); }
  done
  kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true
done
# A command whose results cannot be printed still does its work and says so in its status.
"$ctl" --port "$pty" set steps=777 >&- || { echo "velkorctl set with stdout closed exited $?"; failures=$((failures + 1)); }
"$ctl" --port "$pty" show --json | grep -q '"steps":777' || { echo "steps=777 not stored"; failures=$((failures + 1)); }
[ "$failures" -eq 0 ] && echo "velkor-sim, velkorctl and the panel keep descriptors 0, 1 and 2 on /dev/null when started without them"
