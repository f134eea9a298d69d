#!/usr/bin/python3
"""One session of the dashboard with three simulated meters, walking what the page does beyond
showing them: the meter picker (every view asks for the meter picked and names it), freshness
(a silent meter's "updated" grows and its tiles grey, the table keeps it), the language switch,
the browser's locale in axes and numbers, and the export links.

Usage: dashboard_page_test.py TEV3P HOQ_SIM WORK_DIR
Prints what each step saw."""
import os
import re
import sqlite3
import sys
import time
from urllib.parse import unquote, urlparse

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
from dashboard_session import DashboardSession
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select

GAP_START = (int(time.time()) // 3600 - 24 * 5) * 3600


def plant_gap(work):
    """28 hours without rows in the demo meter's archive, five days ago."""
    with sqlite3.connect(os.path.join(work, "TEV3P_Archive.sqlite")) as db:
        gone = db.execute("DELETE FROM hours WHERE meter = 'SIM000000001' AND t >= ? AND t < ?",
                          (GAP_START, GAP_START + 28 * 3600)).rowcount
    assert gone == 28, gone
    with open(os.path.join(work, "tev3p.ini"), "a", encoding="utf-8") as ini:
        ini.write("\n[meters]\nname.SIM000000002=Küche 2\n")


session = DashboardSession(*sys.argv[1:4], meters=3, performance_log=True, prepare=plant_gap)
d = session.driver
wait = session.wait


def attr(selector, name):
    return d.find_element(By.CSS_SELECTOR, selector).get_attribute(name) or ""


def requested_meters(events):
    """The meter IDs named in /api/v1/meters/ID/… requests, with the request's path."""
    named = []
    for m in events:
        if m["method"] == "Network.requestWillBeSent":
            path = urlparse(m["params"]["request"]["url"]).path
            found = re.match(r"/api/v1/meters/([^/]+)/", path)
            if found:
                named.append((unquote(found.group(1)), path))
    return named


try:
    d.get(session.url)
    session.wait_until_drawn(meters=3)
    ids = [td.text.split()[-1] for td in d.find_elements(By.CSS_SELECTOR, "#meters tbody td.id")]
    assert len(ids) == 3, ids

    # The picker: 1 → 2 → 3 → 1. Each pick reaches every view, which asks for that meter only
    # and names it in its heading.
    VIEWS = ("#energy h2", "#phases h2", "#quality h2", "#charts-heading")
    for pick in (ids[0], ids[1], ids[2], ids[0]):
        session.network_events()
        Select(d.find_element(By.ID, "meter")).select_by_value(pick)
        wait.until(lambda d: all(attr(v, "data-meter") == pick for v in VIEWS)
                   and attr("#chart1", "data-meter") == pick and attr("#chart2", "data-meter") == pick
                   and attr("#energy", "data-meter") == pick and attr("#quality", "data-meter") == pick
                   and attr("#phases", "data-history-meter") == pick)
        label = "Küche 2" if pick == "SIM000000002" else pick  # named in tev3p.ini above
        for v in VIEWS:
            assert d.find_element(By.CSS_SELECTOR, v).text.endswith("— " + label), (v, pick)
        asked = requested_meters(session.network_events())
        wrong = [a for a in asked if a[0] != pick]
        assert not wrong, (pick, wrong)
        kinds = {re.sub(r"^/api/v1/meters/[^/]+/", "", p) for _, p in asked}
        assert {"series", "energy", "quality"} <= kinds, (pick, kinds)
        assert attr("#costs", "data-meter") == pick
        print("picked", pick, "asked", sorted(kinds))
    # Exports: a range bounds the archive's CSVs (local midnights), "for spreadsheets" adds
    # bom=1 to every CSV link.
    d.execute_script("""for (const [id, v] of [['export-from', '2026-11-02'], ['export-to', '2026-11-03']]) {
        const e = document.getElementById(id); e.value = v; e.dispatchEvent(new Event('change')); }""")
    d.find_element(By.ID, "export-bom").click()
    midnight = d.execute_script("return [new Date(2026, 10, 2).getTime() / 1000, new Date(2026, 10, 4).getTime() / 1000]")
    hrefs = [a.get_attribute("href") for a in d.find_elements(By.CSS_SELECTOR, "#meter-csv a")]
    assert len(hrefs) == 3 and all(h.endswith("&from=%d&to=%d&bom=1" % tuple(midnight)) for h in hrefs), hrefs
    for link in d.find_elements(By.CSS_SELECTOR, "#records a, a.quality-csv"):
        assert link.get_attribute("href").endswith("&bom=1"), link.get_attribute("href")
    d.find_element(By.ID, "export-bom").click()
    assert attr("#records a", "href").endswith("format=original"), attr("#records a", "href")

    # Gaps: the 28 silent hours break the line; a meter with a single hour row gets an axis of
    # an hour either side.
    wait.until(lambda d: attr("#chart1", "data-scale") == "hour" and int(attr("#chart1", "data-gaps") or 0) >= 1)
    Select(d.find_element(By.ID, "meter")).select_by_value(ids[1])
    wait.until(lambda d: attr("#chart1", "data-meter") == ids[1] and attr("#chart1", "data-points") == "1")
    wait.until(lambda d: attr("#chart1", "data-view-min") != "")
    span = int(attr("#chart1", "data-view-max")) - int(attr("#chart1", "data-view-min"))
    assert span == 2 * 3600, span
    Select(d.find_element(By.ID, "meter")).select_by_value("")
    wait.until(lambda d: attr("#chart1", "data-meter") == "")

    # The language switch: Chinese makes a Chinese page with no English word left in it (the
    # event log is the program's own); it holds over a reload; English gives every text back.
    ENGLISH_WORDS = """const words = [];
        const walk = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT);
        for (let n = walk.nextNode(); n; n = walk.nextNode()) {
          if (n.parentElement.closest('#log, #language, script')) continue;
          // A word counts when no letter touches it: "Küche", a meter's own name, is none.
          words.push(...(n.textContent.match(/(?<!\\p{L})[a-z]{3,}(?!\\p{L})/gu) || []));
        }
        return words.concat(document.title.match(/(?<!\\p{L})[a-z]{3,}(?!\\p{L})/gu) || []);"""
    for reload in (False, True):
        if reload:
            d.refresh()
            session.wait_until_drawn(meters=3)
        else:
            Select(d.find_element(By.ID, "language")).select_by_value("chinese")
        wait.until(lambda d: attr("html", "lang") == "zh-Hant"
                   and d.find_element(By.CSS_SELECTOR, "#energy h2").text.startswith("用電與費用 —"))
        try:
            wait.until(lambda d: not d.execute_script(ENGLISH_WORDS))
        except Exception:
            raise AssertionError(d.execute_script(ENGLISH_WORDS))
    Select(d.find_element(By.ID, "language")).select_by_value("english")
    wait.until(lambda d: attr("html", "lang") == "en"
               and d.find_element(By.CSS_SELECTOR, "#energy h2").text.startswith("Energy and cost —")
               and d.find_element(By.CSS_SELECTOR, "#chart1 .summary").text.startswith("Watt: latest"))
    assert not re.search(r"[\u4e00-\u9fff]", d.find_element(By.TAG_NAME, "main").text.replace(
        d.find_element(By.ID, "log").text, "")), "Chinese left on the English page"
    print("language switch: Chinese, kept over a reload, English")

    # The browser's locale: German and Taiwanese chromium write the axes' dates and the tiles'
    # numbers their own way.
    for languages, date, number in (("de-DE,de", r"^\d{1,2}\. (Okt|Nov|Dez)\.$", r"^\d{3},\d$"),
                                    ("zh-TW,zh", r"^1[012]月\d{1,2}日$", r"^\d{3}\.\d$")):
        other = session.browser(languages)
        try:
            other.get(session.url)
            session.wait.__class__(other, 30).until(lambda o: re.match(number, o.find_element(
                By.CSS_SELECTOR, ".reading[data-q='V1'] .value").text))
            Select(other.find_element(By.CSS_SELECTOR, "#chart1 select.scale")).select_by_value("day")
            session.wait.__class__(other, 30).until(lambda o: o.find_element(By.ID, "chart1")
                                                    .get_attribute("data-scale") == "day"
                                                    and int(o.find_element(By.ID, "chart1").get_attribute("data-points") or 0) > 20)
            ticks = other.find_element(By.ID, "chart1").get_attribute("data-x-ticks").split("|")
            assert ticks and all(re.match(date, t) for t in ticks), (languages, ticks)
            print(languages, "axis", ticks[:3], "V1", other.find_element(
                By.CSS_SELECTOR, ".reading[data-q='V1'] .value").text)
        finally:
            other.quit()

    # Names and the site: a named meter is named in the picker and the headings; the costs
    # table ends with the site's total, today's and this week's energy stand side by side, and
    # the overlay draws every meter.
    meters = d.execute_script("return fetch('/api/v1/meters').then((r) => r.json())")
    if any(m.get("name") for m in meters):
        Select(d.find_element(By.ID, "meter")).select_by_value(ids[1])
        wait.until(lambda d: d.find_element(By.CSS_SELECTOR, "#energy h2").text.endswith("— Küche 2"))
        assert "Küche 2" in d.find_element(By.CSS_SELECTOR, "#meter option[value='%s']" % ids[1]).text
        Select(d.find_element(By.ID, "meter")).select_by_value("")
    costs = d.execute_script("return fetch('/api/v1/costs/meters').then((r) => r.json())")
    site = costs.get("site") or {"kwh_today": sum(m["kwh_today"] for m in costs["meters"])}
    wait.until(lambda d: d.find_elements(By.CSS_SELECTOR, "#meter-costs tr.site td"))
    site_today = float(d.find_element(By.CSS_SELECTOR, "#meter-costs tr.site td").text.replace(",", ""))
    assert abs(site_today - site["kwh_today"]) < 0.05, (site_today, site)
    assert len(d.find_elements(By.CSS_SELECTOR, "#meter-bars .bar-group")) == 3
    wait.until(lambda d: sorted(attr("#overlay", "data-meters").split(",")) == sorted(ids))
    print("site today:", site_today, "kWh; overlay of", attr("#overlay", "data-meters"))

    # Tiles: K1–K3 are today's phase energy where the archive gives it, else hidden; the
    # currents over their rating are marked on the tiles.
    phases = d.execute_script("return fetch('/api/v1/costs/meters').then((r) => r.json())"
                              ".then((c) => (c.meters.find((m) => m.id === arguments[0]) || {}).kwh_today_phases)",
                              ids[0])
    k1 = d.find_element(By.CSS_SELECTOR, ".reading[data-q='K1']")
    if phases:
        wait.until(lambda d: k1.is_displayed() and k1.find_element(By.CLASS_NAME, "name").text == "L1 today (kWh)")
    else:
        assert not k1.is_displayed(), "K1 shown without the archive's phase energy"
    wait.until(lambda d: d.find_elements(By.CSS_SELECTOR, ".reading.alarm[data-q^='A'] .alarm-mark"))
    assert "out of band" in d.find_element(By.CSS_SELECTOR, ".reading.alarm .name").text

    # A phone: every control and link at least 44 px high, a tap on a chart reads its value.
    d.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                      {"width": 390, "height": 844, "deviceScaleFactor": 3, "mobile": True})
    d.execute_cdp_cmd("Emulation.setTouchEmulationEnabled", {"enabled": True, "maxTouchPoints": 2})
    wait.until(lambda d: d.execute_script("return window.innerWidth") == 390)
    session.wait_until_drawn(meters=3)
    small = d.execute_script("""return [...document.querySelectorAll('a, button, select, input')]
        .filter((e) => e.getClientRects().length && !e.classList.contains('skip'))
        .filter((e) => e.getBoundingClientRect().height < 44)
        .map((e) => e.tagName + '.' + e.className + ' ' + e.textContent.slice(0, 20) + ' '
             + e.getBoundingClientRect().height)""")
    assert not small, small
    cut = d.execute_script("const t = document.getElementById('meters');"
                           "return [t.scrollWidth, t.parentElement.clientWidth, t.getBoundingClientRect().right]")
    assert cut[0] <= cut[1] and cut[2] <= 390, cut
    over = d.find_element(By.CSS_SELECTOR, "#chart1 .u-over")
    d.execute_script("arguments[0].scrollIntoView({block: 'center'})", over)
    box = d.execute_script("const r = arguments[0].getBoundingClientRect(); return [r.left, r.top, r.width, r.height]", over)
    x, y = box[0] + box[2] * 0.6, box[1] + box[3] / 2
    for kind in ("touchStart", "touchEnd"):
        d.execute_cdp_cmd("Input.dispatchTouchEvent", {"type": kind, "touchPoints": [{"x": x, "y": y}] if kind == "touchStart" else []})
    wait.until(lambda d: re.search(r": [\d,.]+\sW$", attr("#chart1", "data-tapped")))
    print("tap on the chart:", attr("#chart1", "data-tapped"))
    d.execute_cdp_cmd("Emulation.setTouchEmulationEnabled", {"enabled": False})
    d.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})

    # Alerts acknowledged in this browser leave the banner, also after a reload.
    while d.find_element(By.ID, "alert-banner").is_displayed():
        d.find_element(By.CSS_SELECTOR, "#alert-banner button.acknowledge").click()
    d.refresh()
    wait.until(lambda d: re.match(r"^\d+ acknowledged$", d.find_element(By.ID, "alerts-acknowledged").text))
    assert not d.find_element(By.ID, "alert-banner").is_displayed()
    assert d.find_elements(By.CSS_SELECTOR, ".reading.alarm"), "an acknowledged alert still marks its tile"
    print("alerts:", d.find_element(By.ID, "alerts-acknowledged").text)

    # Freshness: the meters go silent. Within the page's 10 s (and a second of slack) the tiles
    # grey, the link waits, and each row of the table says stale with a growing "updated".
    fresh = d.find_element(By.ID, "live-updated").text
    assert re.search(r"updated \d+\ss ago", fresh) and attr("#link", "class") == "state on", fresh
    session.sim.terminate()
    session.sim.wait()
    silent_at = time.monotonic()
    wait.until(lambda d: attr("#readings", "data-state") == "stale")
    assert time.monotonic() - silent_at < 12, time.monotonic() - silent_at
    assert "stale" in attr("#readings", "class") and attr("#link", "class") == "state wait"

    def ages():
        return [int(re.search(r"updated (\d+)", td.text).group(1))
                for td in d.find_elements(By.CSS_SELECTOR, "#meters tbody td.state-cell.stale")]
    first = ages()
    assert len(first) == 3 and min(first) >= 10, first
    wait.until(lambda d: len(ages()) == 3 and min(ages()) > max(first))
    print("silent meters:", d.find_element(By.ID, "live-updated").text, ages())

    errors = [e for e in d.get_log("browser") if e["level"] == "SEVERE"]
    assert not errors, errors
    print("dashboard page test passed")
except Exception:
    print("browser log:", d.get_log("browser"))
    print("page text:", d.find_element(By.TAG_NAME, "body").text[:2000])
    d.save_screenshot(session.work + "/failure.png")
    raise
finally:
    session.close()
