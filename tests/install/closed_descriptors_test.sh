#!/usr/bin/env bash
# closed_descriptors_test.sh BUILD_DIR: each program started with standard
# descriptors closed finds them on /dev/null, so the port it opens never takes
# descriptor 1 and nothing it prints goes down the line to the driver.
set -euo pipefail
build=$1
sim=$build/sim/velkor-sim
ctl=$build/ctl/velkorctl
panel=$build/app/velkor
work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; rm -rf "$work"' EXIT
failures=0

# Waits (bounded, not timed) until process PID holds a descriptor on TARGET.
holds() {  # PID TARGET
  local pid=$1 target=$2
  for _ in $(seq 2000); do
    for fd in /proc/"$pid"/fd/*; do
      [ "$(readlink "$fd" 2>/dev/null)" = "$target" ] && return 0
    done
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.01
  done
  return 1
}

# One emulator for the velkorctl rows, started as usual.
"$sim" >"$work/sim.out" &
pids+=($!)
for _ in $(seq 2000); do [ -s "$work/sim.out" ] && break; sleep 0.01; done
pty=$(head -1 "$work/sim.out")

# name | what it holds once under way | the descriptors closed | command
rows=(
  "velkor-sim, stdout closed|/dev/ptmx|1|$sim >&-"
  "velkor-sim, all three closed|/dev/ptmx|0 1 2|$sim <&- >&- 2>&-"
  "velkorctl watch, stdout closed|$pty|1|$ctl --port $pty watch >&-"
  "velkorctl watch, all three closed|$pty|0 1 2|$ctl --port $pty watch <&- >&- 2>&-"
  "the panel, all three closed|anon_inode:[eventfd]|0 1 2|QT_QPA_PLATFORM=offscreen $panel <&- >&- 2>&-"
)
for row in "${rows[@]}"; do
  IFS='|' read -r name target closed command <<<"$row"
  eval "$command &"
  pid=$!
  pids+=("$pid")
  if ! holds "$pid" "$target"; then
    echo "$name: never held $target"
    failures=$((failures + 1))
  else
    for fd in $closed; do
      got=$(readlink "/proc/$pid/fd/$fd" || echo closed)
      if [ "$got" != /dev/null ]; then
        echo "$name: descriptor $fd is $got, not /dev/null"
        failures=$((failures + 1))
      fi
    done
  fi
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
done

# A command whose results cannot be printed still does its work and says so in
# its exit status.
status=0
"$ctl" --port "$pty" set steps=777 >&- || status=$?
[ "$status" = 0 ] || { echo "velkorctl set with stdout closed exited $status"; failures=$((failures + 1)); }
shown=$("$ctl" --port "$pty" show --json)
grep -q '"steps":777' <<<"$shown" || { echo "steps=777 not stored: $shown"; failures=$((failures + 1)); }

[ "$failures" -eq 0 ] || { echo "$failures program(s) let a port take a standard descriptor"; exit 1; }
echo "velkor-sim, velkorctl and the panel keep descriptors 0, 1 and 2 on /dev/null when started without them"
