#!/usr/bin/env bash
# Sets up, builds and starts the power monitor. It keeps its records and settings files in its
# working directory: data/ at the top of the checkout (not under version control).
#
# With --demo it starts in demo/ instead, with 400 days of simulated history written there on
# the first run, and a simulated meter (hoq-sim) feeding it live until the program ends. The
# meter port is TEV3P_DEMO_PORT (default 9317), the second port TEV3P_DEMO_SECOND_PORT (5113).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
demo=0
if [ "${1:-}" = "--demo" ]; then
  demo=1
  shift
fi
install_packages
build_all
if ((demo == 0)); then
  check_writable "$ROOT/data"
  mkdir -p "$ROOT/data"
  cd "$ROOT/data"
  exec "$BUILD/tev3p" "$@"
fi

DEMO="$ROOT/demo"
check_writable "$DEMO"
if [ ! -e "$DEMO/TEV3P_Records.dat" ]; then
  "$BUILD/hoq-sim" --write-demo "$DEMO" --days 400
fi
# A sample tariff, so that the demo shows costs beside its energy; never over the user's file.
if [ ! -e "$DEMO/tev3p.ini" ]; then
  cat > "$DEMO/tev3p.ini" <<'EOF'
; Written by run.sh --demo: a sample tariff for the costs of the demo history.
[tariff]
currency=€
price_per_kwh=0.30
standing_charge_per_day=0.45
band_1=mon-fri 07:00-21:00 0.40
band_2=all 22:00-06:00 0.18
EOF
fi
port="${TEV3P_DEMO_PORT:-9317}"
second_port="${TEV3P_DEMO_SECOND_PORT:-5113}"
# The simulated meter must not feed another program that holds the port.
if (: < "/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
  echo "run.sh: port $port is in use by another program; choose another with TEV3P_DEMO_PORT=N" >&2
  exit 1
fi
cd "$DEMO"
"$BUILD/tev3p" --port "$port" --second-port "$second_port" "$@" &
program=$!
sim=""
stop_all() {
  [ -n "$sim" ] && kill "$sim" 2>/dev/null || true
  kill "$program" 2>/dev/null || true
}
trap stop_all INT TERM HUP
# The meter connects once the program listens on its meter port.
for _ in $(seq 100); do
  if (: < "/dev/tcp/127.0.0.1/$port") 2>/dev/null; then break; fi
  kill -0 "$program" 2>/dev/null || break
  sleep 0.1
done
"$BUILD/hoq-sim" --port "$port" &
sim=$!
status=0
wait "$program" || status=$?
# wait returns early when a trapped signal arrives: wait again for the program's own end.
while kill -0 "$program" 2>/dev/null; do wait "$program" || status=$?; done
kill "$sim" 2>/dev/null || true
wait "$sim" 2>/dev/null || true
exit "$status"
