#!/usr/bin/env bash
# Measures a live session as a user runs it: the simulator streams on port 1 at the full
# line rate, the program records and plots for SECONDS (default 60) under Xvfb, driven
# through its button and dialogs with xdotool. With HISTORY_FRAMES (for an hour, 2304000),
# the simulator first sends that many frames as fast as the program takes them, so that the
# measured seconds plot on top of that history. Prints the program's CPU use during the
# measured seconds and checks that the recording is the simulator's stream, byte for byte,
# from the first recorded byte on; with the size of its companion.
#   bench/live_session_cpu.sh [SECONDS [HISTORY_FRAMES]]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
history=${2:-0}
bin=build/bin
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"

cat > "$work/drive.sh" <<DRIVE
#!/usr/bin/env bash
set -euo pipefail
bin=$bin
source "$PWD/bench/drive_session.sh"
$bin/telmira-sim --port 1 --seed 7 --burst $history & sim=\$!
trap 'kill \$sim 2>/dev/null || true' EXIT
sleep 1
open_session "$work/session.dcc"
sleep 1
if (( $history > 0 )); then
  kill -USR1 \$sim
  # The history is in when the recording holds it; then the repaints it asked for settle.
  for (( wait = 0; wait < 1200; ++wait )); do
    (( \$(stat -c %s "$work/session.dcc") >= $history * 9 )) && break
    sleep 0.5
  done
  sleep 3
fi
# CPU time of each of the program's threads in nanoseconds, as the scheduler counts it; the
# clock-tick counts in /proc/PID/stat miss much of a program that wakes often and briefly.
runtime() { for t in /proc/\$app/task/*; do echo "\${t##*/} \$(cut -d' ' -f1 \$t/schedstat)"; done; }
runtime > "$work/start"
sleep $seconds
runtime > "$work/end"
button                                                   # "Закрыть порт и файл"
sleep 1
echo \$app > "$work/pid"
kill \$app
DRIVE
chmod +x "$work/drive.sh"
xvfb-run -a -s "-screen 0 1400x900x24" "$work/drive.sh"

$bin/telmira-sim --out "$work/sent.dcc" --frames $(( history + (seconds + 60) * 640 )) --seed 7
$bin/telmira-dcc info "$work/session.dcc" | sed -n '/^times:/,$p'
python3 - "$work/session.dcc" "$work/sent.dcc" "$work" "$seconds" "$history" <<'CHECK'
import os, sys
recorded = open(sys.argv[1], 'rb').read()
sent = open(sys.argv[2], 'rb').read()
work, seconds, history = sys.argv[3], float(sys.argv[4]), float(sys.argv[5])
def runtimes(name):
    return {tid: int(ns) for tid, ns in (line.split() for line in open(f"{work}/{name}"))}
start, end = runtimes("start"), runtimes("end")
main = open(f"{work}/pid").read().strip()
used = {tid: end[tid] - start.get(tid, 0) for tid in end}
share = lambda ns: 100 * ns / 1e9 / seconds
print(f"recorded {len(recorded)} bytes, {history:.0f} frames of history first")
print(f"CPU of the program while recording and plotting: {share(sum(used.values())):.2f} % of one core")
print(f"  window thread {share(used[main]):.2f} %, other threads {share(sum(used.values()) - used[main]):.2f} %")
companion = sys.argv[1] + ".tlm"
if os.path.exists(companion):
    size = os.path.getsize(companion)
    print(f"companion: {size} bytes, {100 * size / max(1, len(recorded)):.2f} % of the recording")
at = sent.find(recorded[:4096])
ok = len(recorded) > 0 and at >= 0 and sent[at:at + len(recorded)] == recorded
print("recording equals the sent stream from its first byte on:", "yes" if ok else "NO")
sys.exit(0 if ok else 1)
CHECK
