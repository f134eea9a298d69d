#!/bin/sh
# The layers of src/, read from the include lines. Arrows point down only:
#   core (the meter program's rules, standard C++) and the platform seams at the bottom;
#   each service's rules (standard C++) above the core; its adapters (Qt, SQLite, libmosquitto,
#   libpq, D-Bus) above its rules; the meter sockets (meterport) above the core, the window above
#   them; the app, which wires everything, on top.
# The store is the lowest floor of the core beside the seams: it includes only itself and them.
# A service may use another service's rules, never its adapter.
set -eu
src="$1/src"
cd "$src"

# The folders whose code is standard C++ only. A new service adds its rules folder here.
rules="services/mqtt/rules services/web/rules services/archive/rules services/alerts/rules
services/alerts/tariff services/fleet/rules services/report/rules"

found=""
report() { [ -n "$2" ] && found="$found
$1:
$2"; return 0; }
includes() { find $1 -name '*.h' -o -name '*.cpp' | sort | xargs -r grep -Hn '^#include'; }

# The core and every service's rules: no Qt, no library of the outside, nothing above them.
for d in core $rules; do
  report "$d includes Qt or an outside library" \
    "$(includes "$d" | grep -E '#include <(Q|sqlite3|mosquitto|libpq)' || true)"
done
report "core includes a service, the meter sockets, the window, the app or the Qt seams" \
  "$(includes core | grep -E '#include "(services|meterport|window|app|platform/qt)/' || true)"
report "the store includes more than itself and the seams" \
  "$(includes core/store | grep '#include "' | grep -vE '#include "(core/store|platform)/' || true)"
report "the seams include something above them" \
  "$(includes platform | grep '#include "' | grep -v '#include "platform/' || true)"
# The meter sockets sit between the core and the window: they use the core and the seams only.
report "the meter sockets include something above the core and the seams" \
  "$(includes meterport | grep '#include "' | grep -vE '#include "(core|platform|meterport)/' || true)"
report "the window includes a service or the app" \
  "$(includes window | grep -E '#include "(services|app)/' || true)"

# Each service: the window and the app are above it, and of another service only the rules.
for dir in services/*/; do
  s="${dir%/}"
  own="$(includes "$s" | grep '#include "services/' | grep -v "#include \"$s/" || true)"
  for r in $rules; do own="$(printf '%s\n' "$own" | grep -v "#include \"$r/" || true)"; done
  report "$s includes another service's adapter" "$own"
  report "$s includes the window or the app" \
    "$(includes "$s" | grep -E '#include "(window|app)/' || true)"
  for r in $rules; do
    case "$r" in "$s"/*)
      report "$r includes its own service's adapter" \
        "$(includes "$r" | grep "#include \"$s/" | grep -vE "#include \"($(echo $rules | tr ' ' '|'))/" || true)"
    esac
  done
done

# The window is one way to show the meters among others: the services, the app's start-up
# files and the benchmarks run without it.
report "a service or a start-up file of the app includes the window" \
  "$( (includes services; ls app/start_*.cpp 2>/dev/null | xargs -r grep -Hn '^#include') |
    grep '#include "window/' || true)"
# Only the window's own benchmarks (bench/window/) include it.
report "a benchmark outside bench/window/ includes the window" \
  "$(cd "$1/bench" && includes . | grep -v '^./window/' | grep '#include "window/' || true)"

[ -z "$found" ] && { echo "every include of src/ points down"; exit 0; }
printf '%s\n' "$found"
exit 1
