# Sourced by the chart's screenshot and CPU scripts. open_chart_linux: opens the chart window
# of the Linux program on the X display in DISPLAY from the main window's menu (its first
# title, second item), the way a user clicks; sets `main` to the main window.
open_chart_linux() {
  main=$(xdotool search --name "DS18B20 Kalorivox" | head -1)
  eval "$(xdotool getwindowgeometry --shell "$main")"
  xdotool mousemove $((X + 20)) $((Y + 10)) click 1
  sleep 0.5
  xdotool key Down Down Return
  sleep 1.5
}
