"""The evening answer of the headless program on a folder of demo history, checked against sums
of the archive's own hour rows read here with sqlite3: the month to date (now and as of an
earlier at=), today, the site's sums, the hourly energy bars of a day, the refusals, and the
/metrics families."""
import json
import os
import re
import shutil
import sqlite3
import subprocess
import sys
import time
import urllib.error
import urllib.request

TEV3P, HOQ_SIM, WORK = sys.argv[1:4]
os.environ["TZ"] = "Europe/Berlin"
time.tzset()
METER = "SIM000000001"


def local_midnight(t, days=0):
    tm = time.localtime(t)
    return int(time.mktime((tm.tm_year, tm.tm_mon, tm.tm_mday + days, 0, 0, 0, 0, 0, -1)))


def get(url):
    """(status, body) of a GET."""
    try:
        with urllib.request.urlopen(url, timeout=30) as r:
            return r.status, r.read().decode()
    except urllib.error.HTTPError as e:
        return e.code, e.read().decode()


def close(a, b, what, within=0.002):
    assert a is not None and abs(a - b) < within, f"{what}: answer {a}, rows {b}"


shutil.rmtree(WORK, ignore_errors=True)
os.makedirs(WORK)
subprocess.run([HOQ_SIM, "--write-demo", WORK, "--days", "40"], check=True,
               stdout=subprocess.DEVNULL)
with open(os.path.join(WORK, "tev3p.ini"), "a", encoding="utf-8") as ini:
    ini.write("\n[tariff]\ncurrency=EUR\nprice_per_kwh=0.20\nstanding_charge_per_day=0.50\n"
              "demand_charge_per_kw=10\n")
program = subprocess.Popen(
    [TEV3P, "--headless", "--folder", WORK, "--port", "0", "--second-port", "0",
     "--listen", "127.0.0.1", "--http", "127.0.0.1:0"],
    stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
try:
    url = None
    for line in program.stdout:
        m = re.search(r"Web dashboard (http://127\.0\.0\.1:\d+/)", line)
        if m:
            url = m.group(1)
            break
    assert url, "the program never told its dashboard"
    db = sqlite3.connect(os.path.join(WORK, "TEV3P_Archive.sqlite"))
    hours = db.execute("SELECT t, kwh FROM hours WHERE meter = ? AND kwh IS NOT NULL ORDER BY t",
                       (METER,)).fetchall()
    assert len(hours) > 24 * 30, len(hours)

    def kwh_between(start, end):
        return sum(k for t, k in hours if start <= t <= end)

    # Now, and as of the middle of an hour ten days ago.
    now_answer = None
    for at in (None, hours[-1][0] - 10 * 86400 + 1800):
        status, body = get(url + f"api/v1/meters/{METER}/insights" + (f"?at={at}" if at else ""))
        assert status == 200, (status, body)
        a = json.loads(body)
        now = a["now"]
        if at:
            assert now == at, (now, at)
        else:
            now_answer = a
        assert a["meter"] == METER and a["currency"] == "EUR", body[:200]
        month_start = local_midnight(now, 1 - time.localtime(now).tm_mday)
        assert a["month"]["start"] == month_start, (a["month"]["start"], month_start)
        close(a["month"]["kwh_to_date"], kwh_between(month_start, now), "month to date")
        close(a["today"]["kwh"], kwh_between(local_midnight(now), now), "today")
        assert a["today"]["cost"] is not None and a["month"]["cost_to_date"] is not None
        peak = a["peak"]["month"]
        assert peak and peak["watts"] > 0, a["peak"]
        close(a["peak"]["demand_charge"], 10 * peak["watts"] / 1000, "demand charge")
        assert len(a["base_load"]["days"]) > 20, len(a["base_load"]["days"])
        assert a["phases"]["hours"] > 0 and a["phases"]["advice"], a["phases"]

    # The site: one meter, so its sums are that meter's (the standing charge once).
    status, body = get(url + "api/v1/insights")
    assert status == 200, (status, body)
    site = json.loads(body)
    assert [m["meter"] for m in site["meters"]] == [METER], body[:300]
    close(site["site"]["month"]["kwh_to_date"], now_answer["month"]["kwh_to_date"], "site month")
    close(site["site"]["today"]["cost"], now_answer["today"]["cost"], "site today's cost")
    close(site["meters"][0]["today"]["cost"] + 0.5, now_answer["today"]["cost"], "energy alone")

    # The hours of yesterday, each its own row.
    yesterday = local_midnight(now_answer["now"], -1)
    status, body = get(url + f"api/v1/meters/{METER}/energy?period=hour&from={yesterday}")
    assert status == 200, (status, body)
    bars = json.loads(body)
    assert bars["period"] == "hour" and len(bars["time"]) == 24, body[:300]
    rows = dict(hours)
    for t, k in zip(bars["time"], bars["kwh"]):
        close(k, rows.get(t, 0), f"hour {t}")

    for path, expected in ((f"api/v1/meters/{METER}/insights?at=soon", 400),
                           (f"api/v1/meters/{METER}/insights?at=99999999999", 400),
                           ("api/v1/insights?at=-1", 400),
                           ("api/v1/meters/SIM000000009/insights", 404),
                           (f"api/v1/meters/{METER}/energy?period=hour&from=2026-01-01"
                            "&to=2026-03-01", 400)):
        status, body = get(url + path)
        assert status == expected, (path, status, body)
    # /metrics: the figures are made on a thread of their own after the start: wait for them.
    end = time.time() + 60
    families = {}
    while time.time() < end and len(families) < 3:
        status, text = get(url + "metrics")
        families = dict(re.findall(r'^(tev3p_month_energy_kwh|tev3p_month_projected_cost|'
                                   r'tev3p_base_load_watts)\{meter="' + METER + r'"\} (\S+)$',
                                   text, re.M))
    assert len(families) == 3, text[-800:]
    month_start = now_answer["month"]["start"]
    close(float(families["tev3p_month_energy_kwh"]), kwh_between(month_start, hours[-1][0]),
          "metrics month energy")
    close(float(families["tev3p_month_projected_cost"]), now_answer["month"]["projected_cost"],
          "metrics projected cost")
    close(float(families["tev3p_base_load_watts"]), now_answer["base_load"]["watts"],
          "metrics base load", 0.06)
    print("insights checked")
finally:
    program.terminate()
    program.wait(timeout=20)
