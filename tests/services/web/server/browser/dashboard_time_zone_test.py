#!/usr/bin/python3
"""Times on the dashboard across a clock change, in Debian's chromium. The program runs under
Europe/Berlin and the browser in New York: 10:00 UTC on a summer and on a winter day show as
12:00 and 11:00, in the page's texts and on the charts' axes, each with its own offset. Started
again under a POSIX TZ rule, which names no zone the browser knows, the page takes the browser's
own zone while its offset is the recorder's, and else the recorder's offset now for every time.

Usage: dashboard_time_zone_test.py TEV3P HOQ_SIM WORK_DIR"""
import sys

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
from dashboard_session import DashboardSession

SUMMER, WINTER = 1782900000, 1796119200  # 2026-07-01 and 2026-12-01, 10:00 UTC


def hours(d):
    """The hour of each instant as the page's texts and its charts' axes show it."""
    return d.execute_script("""return [arguments[0], arguments[1]].map((t) => [
        parseInt(recorderTimeText(t, {hour: '2-digit', hourCycle: 'h23'}), 10),
        recorderChartDate(t).getHours()])""", SUMMER, WINTER)


def live(d):
    return d.execute_async_script("""const done = arguments[arguments.length - 1];
        fetch('/api/v1/live').then((r) => r.json()).then(done);""")


session = DashboardSession(*sys.argv[1:4], tz="Europe/Berlin")
try:
    d = session.driver
    d.execute_cdp_cmd("Emulation.setTimezoneOverride", {"timezoneId": "America/New_York"})
    d.get(session.url)
    session.wait.until(lambda d: d.execute_script("return document.body.dataset.liveTime"))
    answer = live(d)
    assert answer["time_zone"] == "Europe/Berlin", answer
    assert hours(d) == [[12, 12], [11, 11]], hours(d)
    clock = d.find_element("id", "clock").text
    assert clock.endswith((" CET", " CEST")), clock
    print("under Europe/Berlin, in a New York browser:", hours(d), clock)
    errors = [e for e in d.get_log("browser") if e["level"] == "SEVERE"]
    assert not errors, errors

    # No IANA name: the browser's zone where it agrees with the recorder's offset now.
    old_run = d.execute_script("return document.body.dataset.run")
    session.restart_program(tz="CET-1CEST,M3.5.0,M10.5.0/3")
    session.wait.until(lambda d: d.execute_script("return document.body.dataset.run") != old_run)
    answer = live(d)
    assert answer["time_zone"] is None, answer
    now = 10 + answer["utc_offset"] // 3600
    session.wait.until(lambda d: hours(d) == [[now, now], [now, now]])
    d.execute_cdp_cmd("Emulation.setTimezoneOverride", {"timezoneId": "Europe/Berlin"})
    session.wait.until(lambda d: hours(d) == [[12, 12], [11, 11]])
    print("under a POSIX rule: the recorder's offset now in New York, the browser's own zone "
          "in Berlin")
    print("dashboard time zone test passed")
finally:
    session.close()
