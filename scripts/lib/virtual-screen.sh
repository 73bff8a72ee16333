# Sourced by scripts that run the console on a virtual X screen.
# start_virtual_screen SIZE FOLDER: starts Xvfb with one screen of SIZE ("1280x1024x24"); the
# server picks a free display itself (-displayfd) and says which, so runs side by side never meet;
# it never resets when its last client leaves (-noreset), which would refuse the next one a moment.
# Sets `display` (":N") and `xvfb_pid`; returns non-zero when no screen came up within 30 s.
start_virtual_screen() {
    local size="$1" folder="$2" named
    named="$folder/xvfb-display"
    rm -f "$named"
    Xvfb -displayfd 3 -screen 0 "$size" -nolisten tcp -noreset 3>"$named" >/dev/null 2>&1 &
    xvfb_pid=$!
    display=""
    for _ in $(seq 300); do
        if [ -s "$named" ] && [ -z "$display" ]; then display=":$(head -n1 "$named")"; fi
        if [ -n "$display" ] && DISPLAY="$display" xdotool getdisplaygeometry >/dev/null 2>&1; then return 0; fi
        kill -0 "$xvfb_pid" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}
