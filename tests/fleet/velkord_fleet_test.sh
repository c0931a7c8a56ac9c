#!/bin/bash
# velkord_fleet_test.sh: velkord as a fleet's machines run it, against a real
# mosquitto started here on 127.0.0.1 with a CA, a server certificate and a
# password file made for the run, and emulated drivers on pseudo-terminals.
# What a subscriber, a commanding client and Prometheus see is asserted;
# every wait is for a condition, bounded. Usage: velkord_fleet_test.sh VELKORD VELKOR_SIM
set -u
VELKORD=$1
SIM=$2
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

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# Runs "$@" until it succeeds, for up to 15 s.
wait_for() {
  for _ in $(seq 300); do "$@" >/dev/null 2>&1 && return 0; sleep 0.05; done
  return 1
}
start() { "$@" & pids+=($!); }

# The CA, a second CA nobody signed with, and the broker's certificate for 127.0.0.1.
for ca in ca wrong; do
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=test $ca" -keyout $ca.key -out $ca.crt 2>/dev/null
done
openssl req -newkey rsa:2048 -nodes -subj "/CN=127.0.0.1" -keyout server.key -out server.csr 2>/dev/null
printf 'subjectAltName=IP:127.0.0.1\n' > san.ext
openssl x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial -days 2 -extfile san.ext -out server.crt 2>/dev/null
mosquitto_passwd -b -c passwd velkord 'd-secret' && mosquitto_passwd -b passwd client 'c-secret'
echo 'velkord:d-secret' > credentials

# A free port: mosquitto is started on one picked at random until it stays up.
up() { ! kill -0 "$broker" || mosquitto_pub "${client[@]}" -t probe -m up; }
for _ in $(seq 20); do
  port=$((20000 + RANDOM % 40000))
  client=(-h 127.0.0.1 -p "$port" --cafile ca.crt -u client -P c-secret -V mqttv5)
  printf 'listener %s 127.0.0.1\ncafile %s/ca.crt\ncertfile %s/server.crt\nkeyfile %s/server.key\npassword_file %s/passwd\nallow_anonymous false\nuser %s\n' \
    "$port" "$work" "$work" "$work" "$work" "$(id -un)" > mosquitto.conf
  mosquitto -c mosquitto.conf >broker.log 2>&1 & broker=$!
  wait_for up && kill -0 $broker 2>/dev/null && { pids+=($broker); break; }
done

# Two emulators; the second stores no current above 1000 mA.
start "$SIM" > sim1.out; start "$SIM" --current-limit 1000 > sim2.out
wait_for test -s sim1.out && wait_for test -s sim2.out || { echo "FAIL: no emulator"; exit 1; }
config() {  # HOST CA MOTION METRICS-PORT DRIVER=PORT...
  local host=$1 ca=$2 motion=$3 metrics=$4 drivers="" sep=""; shift 4
  for d in "$@"; do drivers+="$sep{\"name\":\"${d%%=*}\",\"port\":\"${d#*=}\"}"; sep=,; done
  printf '{"site":"lab","host":"%s","broker":{"host":"127.0.0.1","port":%s,"ca_file":"%s","credentials_file":"credentials"},"drivers":[%s],"remote":{"motion":%s,"max_rotation_s":10},"metrics":{"address":"127.0.0.1:%s"},"state_directory":"%s/%s"}\n' \
    "$host" "$port" "$ca" "$drivers" "$motion" "$metrics" "$work" "$host" > $host.json
}
metrics=$((port + 1))
config h1 ca.crt true $metrics d1="$(head -1 sim1.out)" d2="$(head -1 sim2.out)"
start "$VELKORD" --config h1.json 2>h1.log; daemon=$!
root=velkor/v1/lab/h1

retained() { timeout 5 mosquitto_sub "${client[@]}" -t "$1" --retained-only -W 2 -v 2>/dev/null; }
request() {  # TOPIC PAYLOAD: the reply, through MQTT 5's response topic and correlation data
  timeout 15 mosquitto_rr "${client[@]}" -t "$root/$1" -e "reply/$RANDOM" -m "$2" -W 12 2>/dev/null
}
linked() { retained "$root/$1/link" | grep -q '"state":"connected"'; }
wait_for linked d1 && wait_for linked d2 || fail "the drivers never connected: $(cat h1.log)"

# A new subscriber sees the host online and each driver's info, link and params.
state=$(retained "$root/#")
for want in "$root/status online" "$root/d1/info {\"driver\":\"d1\",\"device\":\"VK-3\"" \
            "$root/d2/link {\"state\":\"connected\"" "$root/d1/params {\"time\":" '"motionCurrent":{"state":"confirmed","unsaved":false}'; do
  grep -qF "$want" <<<"$state" || fail "retained state lacks '$want': $state"
done

# name | topic | payload | what the reply holds
while IFS='|' read -r name topic payload want; do
  reply=$(request "$topic" "$payload")
  grep -qF "$want" <<<"$reply" || fail "$name: '$want' not in the reply: $reply"
done <<'ROWS'
a set is confirmed and saved|d1/command/set|{"values":{"motionCurrent":1200},"save":true,"client":"tester"}|{"exit":0,"results":[{"name":"motionCurrent","requested":1200,"reported":1200,"result":"confirmed"}],"saved":true
a clamped set is a mismatch with the value reported|d2/command/set|{"values":{"motionCurrent":1500},"client":"tester"}|{"exit":1,"results":[{"name":"motionCurrent","requested":1500,"reported":1000,"result":"mismatch"}],"saved":null
an unknown parameter is refused|d1/command/set|{"values":{"speed":1}}|{"exit":2,
a rotation longer than allowed is refused|d1/command/action|{"action":"rotate-left","duration_s":11,"client":"tester"}|"message":"a remote rotation may last 10 s at most"
show answers as velkorctl show --json|d2/command/show|{}|"show":{"port":"
ROWS
grep -q '"kind":"change".*"client":"tester".*"motionCurrent"\|"client":"tester".*"kind":"change"' h1/journal.jsonl ||
  fail "the journal lacks the change: $(cat h1/journal.jsonl 2>&1)"

# A rotation stops when its client's will says it went away.
start mosquitto_sub "${client[@]}" -i holder -t none --will-topic velkor/v1/clients/holder --will-payload offline --will-retain
holder=$!
mosquitto_pub "${client[@]}" -t velkor/v1/clients/holder -m online -r
request d1/command/action '{"action":"rotate-right","duration_s":3,"client":"holder"}' > rotation.out &
wait_for grep -q 'd1: a motion for holder started' h1.log || fail "the rotation did not start: $(cat h1.log)"
kill -9 $holder; wait $holder 2>/dev/null
wait_for grep -q '"exit":3' rotation.out && grep -q 'the client holder went offline; the motor was stopped' rotation.out ||
  fail "the rotation was not stopped for its client: $(cat rotation.out)"

# During a remote rotation show is answered, a set refused, and a stop ends
# the rotation at once: each answered well within the rotation's 9 s.
prompt() {  # TOPIC PAYLOAD: the reply within 3 s
  timeout 5 mosquitto_rr "${client[@]}" -t "$root/$1" -e "reply/$RANDOM" -m "$2" -W 3 2>/dev/null
}
mosquitto_pub "${client[@]}" -t velkor/v1/clients/turner -m online -r
request d1/command/action '{"action":"rotate-left","duration_s":9,"client":"turner"}' > turning.out &
wait_for grep -q 'd1: a motion for turner started' h1.log || fail "the second rotation did not start: $(cat h1.log)"
while IFS='|' read -r name topic payload want; do
  reply=$(prompt "$topic" "$payload")
  grep -qF "$want" <<<"$reply" || fail "$name: '$want' not in the reply: $reply"
done <<'ROWS'
show is answered during a rotation|d1/command/show|{}|{"exit":0,"results":[],"saved":null,"message":"","show":{"port":"
a set is refused during a rotation|d1/command/set|{"values":{"motionCurrent":900},"client":"tester"}|{"exit":2,"results":[],"saved":null,"message":"a motion is running; stop it first"}
a stop ends the rotation and is answered|d1/command/action|{"action":"stop","client":"stopper"}|{"exit":0,"results":[],"saved":null,"message":"the motion was stopped"}
ROWS
# Stopped: the shaft's position the same in two shows in a row, soon after the stop.
position() { prompt d1/command/show '{}' | grep -o '"position":-\?[0-9]*'; }
last=$(position); halted=no
for _ in $(seq 40); do now=$(position); [ -n "$now" ] && [ "$now" = "$last" ] && { halted=yes; break; }; last=$now; done
[ $halted = yes ] || fail "the emulator still turns after the stop: $last, then $now"
grep -q 'stopped by stopper' turning.out || fail "the rotation's asker was not told of the stop: $(cat turning.out)"

# A command whose asker stopped waiting before it could start is refused, never applied.
reply=$(request d1/command/set '{"values":{"motionCurrent":900},"client":"late","timeout_s":0.000001}')
grep -qF '{"exit":3,"results":[],"saved":null,"message":"the asker stopped waiting after 1e-06 s, before the command could start; it was not run"}' <<<"$reply" ||
  fail "a command past its asker's wait was not refused: $reply"

# A retained command is never run, though it arrives while velkord is subscribed.
mosquitto_pub "${client[@]}" -t "$root/d1/command/set" -m '{"values":{"motionCurrent":800},"client":"retainer"}' -r
request d1/command/show '{}' | grep -qF '"motionCurrent":1200' || fail "a late or retained set was applied"
mosquitto_pub "${client[@]}" -t "$root/d1/command/set" -n -r
! grep -q '"client":"late"\|"client":"retainer"' h1/journal.jsonl || fail "the journal has a command never to be run"

# The metrics page passes promtool and carries the drivers' currents in amperes.
page() { exec 3<>/dev/tcp/127.0.0.1/$metrics && printf 'GET /metrics HTTP/1.0\r\n\r\n' >&3 && sed '1,/^\r$/d' <&3; }
page > metrics.txt
promtool check metrics < metrics.txt || fail "promtool rejects the metrics page"
grep -q '^velkor_driver_up{driver="d1",site="lab",host="h1"} 1$' metrics.txt || fail "d1 is not up: $(cat metrics.txt)"
grep -q '^velkor_commands_total{driver="d2",site="lab",host="h1",result="differs"} 1$' metrics.txt || fail "no mismatch counted"
grep -Eq '^velkor_winding_tracking_error_rms_amperes\{driver="d1",site="lab",host="h1",winding="a"\} [0-9.e-]+$' metrics.txt || fail "no tracking error: $(cat metrics.txt)"

# A broker that restarts empty learns the state again once velkord is back.
kill $broker; wait $broker
mosquitto -c mosquitto.conf >broker.log 2>&1 & broker=$!; pids+=($broker)
wait_for up || fail "the broker did not start again"
wait_for linked d2 || fail "the retained state was not published again after the broker's restart"
# Killed outright in the middle of TLS, it is reconnected to all the same.
mosquitto_pub "${client[@]}" -t "$root/status" -r -n
kill -9 $broker; wait $broker 2>/dev/null
mosquitto -c mosquitto.conf >broker.log 2>&1 & broker=$!; pids+=($broker)
wait_for up || fail "the broker did not start again"
wait_for sh -c "timeout 3 mosquitto_sub $(printf '%q ' "${client[@]}") -t $root/status -C 1 -W 2 | grep -qx online" ||
  fail "no status again after the broker was killed: $(cat h1.log)"

# Idle connections to the metrics port delay no one (each may wait 2 s for its request).
for fd in 5 6 7 8; do eval "exec $fd<>/dev/tcp/127.0.0.1/$metrics"; done
timeout 1.9 bash -c "$(declare -f page); metrics=$metrics; page" | grep -q '^velkor_driver_up' ||
  fail "idle connections held the metrics page"
exec 5>&- 6>&- 7>&- 8>&-

# A second velkord for the same site and host takes the session over; the first ends, saying why.
sed "s/:$metrics\"/:$((port + 4))\"/" h1.json > h1b.json
start "$VELKORD" --config h1b.json 2>h1b.log; daemon2=$!
wait_for sh -c "! kill -0 $daemon" || fail "two velkord for lab/h1 both kept running"
wait $daemon; [ $? -eq 3 ] || fail "the velkord whose session was taken did not end with status 3"
grep -q 'another velkord serves lab/h1' h1.log || fail "no word of the other velkord: $(cat h1.log)"
daemon=$daemon2

# A second host that allows no remote motion refuses it; one that trusts another CA never connects.
config h2 ca.crt false $((port + 2)) d3="$(head -1 sim2.out)"
config h3 wrong.crt false $((port + 3)) d4=/dev/null
kill -TERM $daemon; wait $daemon; pids=("${pids[@]/$daemon}")
start "$VELKORD" --config h2.json 2>h2.log; second=$!
start "$VELKORD" --config h3.json 2>h3.log
root=velkor/v1/lab/h2
wait_for linked d3 || fail "h2 never connected"
request d3/command/action '{"action":"step-left","client":"tester"}' | grep -qF '"exit":2,"results":[],"saved":null,"message":"remote motion is not allowed' ||
  fail "remote motion was not refused"
wait_for grep -q 'certificate verify failed' h3.log || fail "a broker certificate from another CA was not refused: $(cat h3.log)"
[ -z "$(retained velkor/v1/lab/h3/status)" ] || fail "h3 published through a broker it cannot trust"

# Killed outright, a velkord leaves its will: the host is offline.
kill -9 $second; wait $second 2>/dev/null
wait_for sh -c "timeout 3 mosquitto_sub $(printf '%q ' "${client[@]}") -t $root/status -C 1 -W 2 | grep -qx offline" ||
  fail "no offline will after kill -9"
[ $failures -eq 0 ] && echo "all passed"
exit $failures
