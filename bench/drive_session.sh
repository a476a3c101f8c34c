# Sourced by the scripts that drive the program under Xvfb with xdotool. Without a window
# manager the window stands where the program puts it: 213, 180.

# The port button: "Открыть порт и файл", or "Закрыть порт и файл" during a session.
button() { xdotool mousemove 445 196 click 1; }

# Starts the program (its process id in $app) and opens a session that records into FILE
# and plots in real time.
open_session() {
    "$bin/telmira" & app=$!
    xdotool search --sync --onlyvisible --name "TELMIRA" >/dev/null
    sleep 1
    button
    sleep 1.5
    xdotool type --delay 10 "$1"
    xdotool key Return # the save dialog
    sleep 1
    xdotool key Return # plot in real time: Yes
}
