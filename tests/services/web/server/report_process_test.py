"""The monthly report of a month of demo history against the evening answer at that month's last
second, from the same headless program's folder: every figure the page carries in its data-
attributes equals the answer's, the phase advice sentence is the answer's, the dashboard's
download is the command's file byte for byte, and bad months and unknown meters are refused."""
import html.parser
import json
import os
import re
import shutil
import subprocess
import sys
import time
import urllib.error
import urllib.request

TEV3P, HOQ_SIM, WORK = sys.argv[1:4]
os.environ["TZ"] = "Europe/Berlin"
time.tzset()
METER = "SIM000000001"


def get(url):
    """(status, headers, body bytes) of a GET."""
    try:
        with urllib.request.urlopen(url, timeout=60) as r:
            return r.status, r.headers, r.read()
    except urllib.error.HTTPError as e:
        return e.code, e.headers, e.read()


class Figures(html.parser.HTMLParser):
    """The data- attributes of each element with a class, and the advice paragraph's text."""

    def __init__(self):
        super().__init__()
        self.figures = {}
        self.advice = None
        self._in_advice = False

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        data = {k[5:]: v for k, v in a.items() if k.startswith("data-")}
        if "class" in a and data:
            self.figures[a["class"]] = data
        if tag == "p" and a.get("class") == "advice":
            self._in_advice, self.advice = True, ""

    def handle_endtag(self, tag):
        if tag == "p":
            self._in_advice = False

    def handle_data(self, data):
        if self._in_advice:
            self.advice += data


shutil.rmtree(WORK, ignore_errors=True)
os.makedirs(WORK)
subprocess.run([HOQ_SIM, "--write-demo", WORK, "--days", "70"], check=True,
               stdout=subprocess.DEVNULL)
with open(os.path.join(WORK, "tev3p.ini"), "a", encoding="utf-8") as ini:
    ini.write("\n[tariff]\ncurrency=EUR\nprice_per_kwh=0.20\nstanding_charge_per_day=0.50\n"
              "demand_charge_per_kw=10\n")

now = time.localtime()
month_end = int(time.mktime((now.tm_year, now.tm_mon, 1, 0, 0, 0, 0, 0, -1)))
last = time.localtime(month_end - 1)
month = f"{last.tm_year:04d}-{last.tm_mon:02d}"

out = os.path.join(WORK, "report.html")
run = subprocess.run([TEV3P, "report", "--folder", WORK, "--month", month, "--meter", METER,
                      "--output", out], capture_output=True, text=True, check=False)
assert run.returncode == 0, run.stderr
with open(out, "rb") as f:
    command_bytes = f.read()

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

    status, _, body = get(url + f"api/v1/meters/{METER}/insights?at={month_end - 1}")
    assert status == 200, (status, body)
    a = json.loads(body)
    page = Figures()
    page.feed(command_bytes.decode())
    f = page.figures
    m = a["month"]
    peak = a["peak"]["month"]
    # (what, the page's figure, the answer's); a figure the answer has no value for is absent
    # from the page.
    checks = [
        ("month kWh", f["total"].get("kwh"), m["kwh_to_date"]),
        ("month cost", f["total"].get("cost"), m["cost_to_date"]),
        ("month kWh compared", f["month"].get("kwh"), m["kwh_to_date"]),
        ("last month", f.get("last-month", {}).get("kwh"), m["last_month_kwh"]),
        ("last year", f.get("last-year", {}).get("kwh"), m["last_year_kwh"]),
        ("base load", f.get("base", {}).get("watts"), a["base_load"]["watts"]),
        ("base load's year", f.get("base-year-cost", {}).get("cost"), a["base_load"]["year_cost"]),
        ("peak", f.get("peak", {}).get("watts"), peak and peak["watts"]),
        ("peak time", f.get("peak", {}).get("start"), peak and peak["start"]),
        ("demand charge", f.get("demand-charge", {}).get("cost"), a["peak"]["demand_charge"]),
    ]
    for what, on_page, answered in checks:
        if answered is None:
            assert on_page is None, (what, on_page)
        else:
            assert on_page is not None and float(on_page) == answered, (what, on_page, answered)
    assert m["last_month_kwh"] is not None and a["base_load"]["watts"] and peak, a
    assert a["phases"]["advice"] and page.advice == a["phases"]["advice"], \
        (page.advice, a["phases"]["advice"])

    status, headers, body = get(url + f"api/v1/meters/{METER}/report.html?month={month}")
    assert status == 200, (status, body[:200])
    assert body == command_bytes, "the download is not the command's file"
    assert headers["Content-Disposition"] == \
        f'attachment; filename="TEV3P_{METER}_report_{month}.html"', headers

    for path, expected in ((f"api/v1/meters/{METER}/report.html?month=2026-13", 400),
                           (f"api/v1/meters/{METER}/report.html", 400),
                           ("api/v1/meters/SIM000000009/report.html?month=" + month, 404)):
        status, _, body = get(url + path)
        assert status == expected, (path, status, body)
    print("report checked")
finally:
    program.terminate()
    program.wait(timeout=20)
