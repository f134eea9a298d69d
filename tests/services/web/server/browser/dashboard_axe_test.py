#!/usr/bin/python3
"""axe-core on the dashboard in Debian's chromium, with every view drawn (live readings, charts,
energy bars, phases, voltage quality, costs, a running alert's banner): no serious or critical
finding in the light and the dark theme, at desktop and at phone size. axe-core is the npm dev
dependency pinned in src/services/web/dashboard/package-lock.json.

Usage: dashboard_axe_test.py TEV3P HOQ_SIM WORK_DIR AXE_MIN_JS
Prints every finding, of any impact."""
import os
import sys

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
from dashboard_session import DashboardSession

axe_js = sys.argv[4]
assert os.path.exists(axe_js), axe_js + " is missing: run npm ci in src/services/web/dashboard"
with open(axe_js, encoding="utf-8") as f:
    axe_source = f.read()

SIZES = {"desktop": {"width": 1440, "height": 900, "deviceScaleFactor": 1, "mobile": False},
         "phone": {"width": 390, "height": 844, "deviceScaleFactor": 3, "mobile": True}}
THEMES = {"light": "rgb(244, 244, 244)", "dark": "rgb(18, 20, 23)"}

session = DashboardSession(*sys.argv[1:4])
try:
    d = session.driver
    d.get(session.url)
    session.wait_until_drawn()
    serious = []
    for size, metrics in SIZES.items():
        d.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", metrics)
        session.wait.until(lambda d: d.execute_script("return window.innerWidth") == metrics["width"])
        for theme, background in THEMES.items():
            d.execute_cdp_cmd("Emulation.setEmulatedMedia",
                              {"features": [{"name": "prefers-color-scheme", "value": theme}]})
            session.wait.until(lambda d: d.execute_script(
                "return getComputedStyle(document.body).backgroundColor") == background)
            if not d.execute_script("return typeof window.axe === 'object'"):
                d.execute_script(axe_source)
            result = d.execute_async_script("""
                const done = arguments[arguments.length - 1];
                axe.run(document, {resultTypes: ['violations']})
                  .then((r) => done(r.violations.map((v) => ({id: v.id, impact: v.impact,
                    help: v.help, nodes: v.nodes.map((n) => n.target.join(' ') + ': ' +
                      n.failureSummary.replace(/\\s+/g, ' ')).slice(0, 4)}))))
                  .catch((e) => done([{id: 'axe failed', impact: 'critical', help: String(e),
                    nodes: []}]));""")
            for v in result:
                print("%s %s: %s %s (%s)" % (size, theme, v["impact"], v["id"], v["help"]))
                for n in v["nodes"]:
                    print("    " + n)
                if v["impact"] in ("serious", "critical"):
                    serious.append((size, theme, v["id"]))
            print("%s, %s theme: %d findings, %d serious or critical"
                  % (size, theme, len(result),
                     sum(1 for v in result if v["impact"] in ("serious", "critical"))))
    assert not serious, serious
    print("axe-core: no serious or critical finding")
finally:
    session.close()
