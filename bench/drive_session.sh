# Sourced by the scripts that drive the program under Xvfb with xdotool. Without a window
# manager the window stands where the program puts it: 213, 180.

# The port button: "Открыть порт и файл", or "Закрыть порт и файл" during a session.
button() { xdotool mousemove 445 196 click 1; }

# Waits until the program shows a dialog or a box beside its main window (the one captioned
# CAPTION, when given), and gives it the keys: without a window manager they go where the
# pointer is, and a busy machine may take seconds to show it.
to_dialog() {
    local w name
    for _ in $(seq 300); do
        for w in $(xdotool search --onlyvisible --pid "$app" 2>/dev/null); do
            name=$(xdotool getwindowname "$w")
            case "$name" in
            TELMIRA*) ;;
            "${1:-$name}")
                eval "$(xdotool getwindowgeometry --shell "$w")"
                xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2))
                xdotool windowfocus --sync "$w" 2>/dev/null || true
                return 0
                ;;
            esac
        done
        sleep 0.1
    done
    return 1
}

# Starts the program (its process id in $app) and opens a session that records into FILE
# and plots in real time.
open_session() {
    "$bin/telmira" & app=$!
    xdotool search --sync --onlyvisible --name "TELMIRA" >/dev/null
    sleep 1
    button
    to_dialog
    xdotool type --delay 10 "$1"
    xdotool key Return # the save dialog
    to_dialog "Менеджер"
    xdotool key Return # plot in real time: Yes
}
