#!/usr/bin/env bash
# A live session that survives the line: the simulator streams on port 1, and during a
# session of SECONDS (default 60) under Xvfb it stops and starts again on the same port
# three times, each time on a new pseudo-terminal behind the same link. The program is
# driven through its button and dialogs with xdotool. Checks that the recording is the
# concatenation of what the four simulator runs put on the line while the port was open,
# in order and nothing twice, and shows the error boxes and the status line met on the way.
# With SHOTS set, screenshots of the screen go into that folder.
#   bench/live_session_reconnect.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
bin=$PWD/build/bin
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
shots=${SHOTS:-}

cat > "$work/drive.sh" <<DRIVE
#!/usr/bin/env bash
set -euo pipefail
bin=$bin
source "$PWD/bench/drive_session.sh"
sim=
trap 'kill \$sim 2>/dev/null || true' EXIT
run=0
start_sim() {
    run=\$((run + 1))
    $bin/telmira-sim --port 1 --seed \$((10 + run)) --wait-reader --log "$work/sent\$run.dcc" \
        > "$work/sim\$run.out" & sim=\$!
    until grep -qs COM1 "$work/sim\$run.out"; do sleep 0.1; done
}
stop_sim() { kill -TERM \$sim; wait \$sim || true; sim=; }
shot() { if [ -n "$shots" ]; then import -window root "$shots/\$1.png"; fi; }

start_sim
open_session "$work/session.dcc"
began=\$(date +%s.%N)
part=\$(echo "$seconds / 5" | bc -l)
sleep \$part; shot i12-status-receiving
stop_sim                                                 # the line goes
sleep 2; shot i12-error-box
xdotool key Return                                       # the error box, shown once
sleep 1; shot i12-status-waiting
start_sim
for again in 2 3; do
    sleep \$part
    stop_sim
    sleep 3
    xdotool search --onlyvisible --name "" getwindowname %@ > "$work/windows\$again.txt" 2>/dev/null || true
    start_sim
done
now=\$(date +%s.%N)
sleep \$(echo "$seconds - (\$now - \$began)" | bc -l)
shot i12-status-end
stop_sim                                                 # the last run ends the stream
sleep 1
button                                                   # "Закрыть порт и файл"
sleep 1
kill \$app
DRIVE
chmod +x "$work/drive.sh"
xvfb-run -a -s "-screen 0 1400x900x24" "$work/drive.sh"

python3 - "$work" <<'CHECK'
import pathlib, sys
work = pathlib.Path(sys.argv[1])
recorded = (work / "session.dcc").read_bytes()
runs = [(work / f"sent{k}.dcc").read_bytes() for k in range(1, 5)]
print(f"recorded {len(recorded)} bytes; the simulator runs put {[len(r) for r in runs]} bytes on the line")
# Each run from the first byte the session took: before it, the port was not open yet.
at, expected, ok = 0, b"", True
for k, sent in enumerate(runs, 1):
    head = sent.find(recorded[at:at + 64]) if at < len(recorded) else -1
    if head < 0:
        print(f"run {k}: its bytes are not where the recording goes on"); ok = False; break
    print(f"run {k}: recorded from byte {head} of {len(sent)} on")
    expected += sent[head:]
    at = len(expected)
equal = ok and recorded == expected
if ok and not equal:
    first = next((i for i, (a, b) in enumerate(zip(recorded, expected)) if a != b),
                 min(len(recorded), len(expected)))
    print(f"the recording ({len(recorded)} bytes) departs from the runs ({len(expected)} bytes) at byte {first}")
print("recording equals the concatenation of the runs, in order, nothing twice:", "yes" if equal else "NO")
for again in (2, 3):
    windows = (work / f"windows{again}.txt").read_text().split("\n")
    print(f"windows on screen while the line was away for the {again}. time: {[w for w in windows if w]}")
sys.exit(0 if equal else 1)
CHECK
