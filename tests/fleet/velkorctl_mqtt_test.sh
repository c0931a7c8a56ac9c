#!/bin/bash
# velkorctl_mqtt_test.sh: velkorctl through a broker gives what it gives on a
# local port. A real mosquitto is started here on 127.0.0.1 with TLS (a CA made
# for the run) and a password file, a velkord serves two emulators, and each
# command's output and exit status through mqtts:// are compared with the same
# command on twin emulators of its own. Every wait is for a condition, bounded.
# Usage: velkorctl_mqtt_test.sh VELKORD VELKOR_SIM VELKORCTL
set -u
VELKORD=$1
SIM=$2
CTL=$3
work=$(mktemp -d)
pids=()
failures=0
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  [ -n "${KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT
cd "$work" || exit 1
export XDG_STATE_HOME=$work/state XDG_CONFIG_HOME=$work/config

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
wait_for() {
  for _ in $(seq 300); do "$@" >/dev/null 2>&1 && return 0; sleep 0.05; done
  return 1
}
start() { "$@" & pids+=($!); }

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=test ca" -keyout ca.key -out ca.crt 2>/dev/null
openssl req -newkey rsa:2048 -nodes -subj "/CN=127.0.0.1" -keyout server.key -out server.csr 2>/dev/null
printf 'subjectAltName=IP:127.0.0.1\n' > san.ext
openssl x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial -days 2 -extfile san.ext -out server.crt 2>/dev/null
mosquitto_passwd -b -c passwd velkord 'd-secret' && mosquitto_passwd -b passwd client 'c-secret'
echo 'velkord:d-secret' > credentials

up() { ! kill -0 "$broker" || mosquitto_pub -h 127.0.0.1 -p "$port" --cafile ca.crt -u client -P c-secret -t probe -m up; }
for _ in $(seq 20); do
  port=$((20000 + RANDOM % 40000))
  printf 'listener %s 127.0.0.1\ncafile %s/ca.crt\ncertfile %s/server.crt\nkeyfile %s/server.key\npassword_file %s/passwd\nallow_anonymous false\nuser %s\n' \
    "$port" "$work" "$work" "$work" "$work" "$(id -un)" > mosquitto.conf
  mosquitto -c mosquitto.conf >broker.log 2>&1 & broker=$!
  wait_for up && kill -0 $broker 2>/dev/null && { pids+=($broker); break; }
done

# Emulators in pairs: one served by velkord, its twin opened by velkorctl here;
# the second pair stores no current above 1000 mA.
start "$SIM" > served1.out; start "$SIM" --current-limit 1000 > served2.out
start "$SIM" > local1.out; start "$SIM" --current-limit 1000 > local2.out
for f in served1 served2 local1 local2; do wait_for test -s $f.out || { echo "FAIL: no emulator"; exit 1; }; done
printf '{"site":"lab","host":"h1","broker":{"host":"127.0.0.1","port":%s,"ca_file":"ca.crt","credentials_file":"credentials"},"drivers":[{"name":"d1","port":"%s"},{"name":"d2","port":"%s"}],"metrics":{"address":""},"state_directory":"%s/h1"}\n' \
  "$port" "$(head -1 served1.out)" "$(head -1 served2.out)" "$work" > h1.json
start "$VELKORD" --config h1.json 2>h1.log

broker=mqtts://client@127.0.0.1:$port
export VELKOR_MQTT_PASSWORD=c-secret
mkdir -p config/velkor && echo "ca = $work/ca.crt" > config/velkor/velkorctl.conf
connected() { "$CTL" --timeout 1 --port "$broker" fleet | grep -c 'link=connected' | grep -qx 2; }
wait_for connected || fail "velkorctl fleet never listed two connected drivers: $("$CTL" --port "$broker" fleet 2>&1)"
fleet=$("$CTL" --port "$broker" fleet)
grep -q "^lab/h1/d1 link=connected since=20..-..-..T..:..:..\....Z unsaved=none host=online port=$(head -1 served1.out)$" <<<"$fleet" ||
  fail "fleet: $fleet"

"$CTL" --port emulator profile save start.json && sed -i 's/"jogSpeed": 60/"jogSpeed": 65/' start.json
# name | driver | command | lines compared (all: every line)
while IFS='|' read -r name driver args lines; do
  read -ra argv <<<"$args"
  remote=$("$CTL" --port "$broker/lab/h1/d$driver" "${argv[@]}" 2>remote.err); remote_status=$?
  here=$("$CTL" --port "$(head -1 local$driver.out)" "${argv[@]}" 2>local.err); local_status=$?
  [ "$lines" = all ] || { remote=$(sed -n "$lines" <<<"$remote"); here=$(sed -n "$lines" <<<"$here"); }
  [ "$remote" = "$here" ] && [ -n "$here" ] || fail "$name: through the broker '$remote', on the port '$here'"
  [ $remote_status -eq $local_status ] || fail "$name: exit $remote_status through the broker, $local_status on the port: $(cat remote.err)"
done <<'ROWS'
show: state, status and parameters|1|show|2,14p
show --json: the parameters|1|show --json|s/.*"parameters":\({[^}]*}\).*/\1/p
set confirmed and saved|1|set jogSpeed=77 motionCurrent=1500 --save|all
set clamped by the driver: 1|2|set motionCurrent=1500 holdingCurrent=700|all
profile diff: 1|1|profile diff start.json|all
profile apply|1|profile apply start.json|all
smoothing prints its new state|1|action smoothing|all
ROWS

# What cannot be asked or reached.
while IFS='|' read -r name status message args; do
  read -ra argv <<<"$args"
  out=$("$CTL" --timeout 2 "${argv[@]}" 2>&1); got=$?
  [ $got -eq "$status" ] || fail "$name: exit $got, not $status: $out"
  grep -qF "$message" <<<"$out" || fail "$name: '$message' not in '$out'"
done <<ROWS
no driver named|2|names no driver|--port $broker show
a password on the command line|2|the password comes from a file|--port mqtts://client:pw@127.0.0.1:$port/lab/h1/d1 show
an unknown driver|3|the broker knows no driver lab/h1/d9|--port $broker/lab/h1/d9 show
a wrong user|3|refused the connection|--port mqtts://nobody@127.0.0.1:$port/lab/h1/d1 show
a plain connection to the TLS listener|3|closed the connection before accepting it|--port mqtt://client@127.0.0.1:$port/lab/h1/d1 show
ROWS
[ $failures -eq 0 ] && echo "all passed"
exit $failures
