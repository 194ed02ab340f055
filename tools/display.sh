# Sourced: makes sure a display with a window manager exists for Wine windows.
# With DISPLAY unset it starts Xvfb and openbox on a free display number and exports DISPLAY;
# uptorra_display_stop ends what was started here.
uptorra_display_start() {
  if [ -n "${DISPLAY:-}" ]; then return 0; fi
  local n=90
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
  UPTORRA_XVFB_PID=$!
  export DISPLAY=":$n"
  for _ in $(seq 1 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  openbox >/dev/null 2>&1 &
  UPTORRA_OPENBOX_PID=$!
  sleep 0.5
}
uptorra_display_stop() {
  [ -n "${UPTORRA_OPENBOX_PID:-}" ] && kill "$UPTORRA_OPENBOX_PID" 2>/dev/null || true
  [ -n "${UPTORRA_XVFB_PID:-}" ] && kill "$UPTORRA_XVFB_PID" 2>/dev/null || true
  unset UPTORRA_OPENBOX_PID UPTORRA_XVFB_PID
}
