#!/usr/bin/python3
"""The evening answer on the dashboard, over 400 days of demo history and two meters: the
headline's projection, the energy view paged back to last May (daily bars of May) and into a
day (its hourly bars), the period before and a year earlier drawn behind the bars, the value
under the pointer, the monthly report's link, and the page at phone size (a screenshot in the
work folder).

Usage: dashboard_evening_test.py TEV3P HOQ_SIM WORK_DIR
Prints what each step saw."""
import os
import re
import sqlite3
import sys
import time

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
from dashboard_session import DashboardSession
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select, WebDriverWait

# An unusual day: two weeks ago, three times the energy of each of its hours.
ODD = time.localtime(time.time() - 14 * 86400)
ODD_DAY = int(time.mktime((ODD.tm_year, ODD.tm_mon, ODD.tm_mday, 0, 0, 0, 0, 0, -1)))


def plant_unusual_day(work):
    with sqlite3.connect(os.path.join(work, "TEV3P_Archive.sqlite")) as db:
        tripled = db.execute("UPDATE hours SET kwh = kwh * 3 WHERE meter = 'SIM000000001' AND t >= ? AND t < ?",
                             (ODD_DAY, ODD_DAY + 86400)).rowcount
    assert tripled >= 23, tripled


session = DashboardSession(*sys.argv[1:4], meters=2, days=400, prepare=plant_unusual_day)
d = session.driver
wait = session.wait


def attr(selector, name):
    return d.find_element(By.CSS_SELECTOR, selector).get_attribute(name) or ""


def energy_shows(view, from_expression):
    """Waits until the energy view shows `view` from the browser's local date `from_expression`
    (a JS Date) with its answer in; returns that start in Unix seconds."""
    start = d.execute_script("return Math.floor((%s).getTime() / 1000)" % from_expression)
    wait.until(lambda d: attr("#energy", "data-period") == view and attr("#energy", "data-from") == str(start))
    return start


try:
    d.get(session.url)
    session.wait_until_drawn(meters=2)
    Select(d.find_element(By.ID, "language")).select_by_value("english")

    # Month view, paged back to last May: its 31 daily bars, each day of the demo holding rows,
    # and the month before drawn with it.
    Select(d.find_element(By.ID, "energy-period")).select_by_value("month")
    energy_shows("month", "new Date(new Date().getFullYear(), new Date().getMonth(), 1)")
    # This month: a year earlier is drawn behind the bars and written out beside the month
    # before.
    days = d.execute_script("return new Date().getDate()")
    assert int(attr("#energy", "data-year-ago")) >= days, attr("#energy", "data-year-ago")
    compare = d.find_element(By.CSS_SELECTOR, "#energy .energy-compare").text
    # The running day is left out of the comparison: on the 1st there is no whole day to compare.
    if days > 1:
        assert re.search(r"\(to the same point\) against the period before: .*\(over the \d+ bars both hold: .* "
                         r"against a year earlier: [\d,.]+\skWh", compare), compare
    may = "new Date(new Date().getFullYear() - (new Date().getMonth() > 4 ? 0 : 1), 4, 1)"
    target = d.execute_script("return Math.floor((%s).getTime() / 1000)" % may)
    for _ in range(13):
        if int(attr("#energy", "data-from")) == target:
            break
        before = attr("#energy", "data-from")
        d.find_element(By.CSS_SELECTOR, "#energy .energy-previous").click()
        wait.until(lambda d: attr("#energy", "data-from") != before)
    energy_shows("month", may)
    assert attr("#energy", "data-bar-period") == "day" and attr("#energy", "data-bars") == "31"
    assert int(attr("#energy", "data-held")) >= 28, attr("#energy", "data-held")
    assert int(attr("#energy", "data-compared")) >= 28, attr("#energy", "data-compared")
    compare = d.find_element(By.CSS_SELECTOR, "#energy .energy-compare").text
    assert re.search(r"^May \d{4}: [\d,.]+\skWh, EUR [\d,.]+ against the period before: [\d,.]+\skWh", compare), compare
    assert re.search(r"per day: [\d,.]+\skWh$", d.find_element(By.CSS_SELECTOR, "#energy .energy-totals").text)
    assert attr("#energy a.energy-report", "href").endswith(
        "/report.html?month=" + d.execute_script("const m = %s; return m.getFullYear() + '-05'" % may))
    print("May:", compare)

    # The bar under the pointer, read out with the period before's.
    plot = d.find_element(By.CSS_SELECTOR, "#energy .u-over")
    ActionChains(d).move_to_element_with_offset(plot, 5 - plot.size["width"] // 2, 0).perform()
    wait.until(lambda d: re.match(r"^\w+, May 1: [\d,.]+\skWh, EUR\s[\d,.]+ · the period before: [\d,.]+\skWh",
                                  attr("#energy", "data-pointed")))
    print("pointed:", attr("#energy", "data-pointed"))

    # A day by the date picker: 24 hourly bars (23 or 25 on a clock change).
    Select(d.find_element(By.ID, "energy-period")).select_by_value("day")
    year = d.execute_script("return (%s).getFullYear()" % may)
    d.execute_script("const e = document.getElementById('energy-date'); e.value = arguments[0];"
                     "e.dispatchEvent(new Event('change'));", "%d-05-02" % year)
    energy_shows("day", "new Date(%s.getFullYear(), 4, 2)" % may)
    assert attr("#energy", "data-bar-period") == "hour"
    assert attr("#energy", "data-bars") in ("23", "24", "25") and attr("#energy", "data-held") == attr("#energy", "data-bars")
    assert int(attr("#energy", "data-compared")) >= 23
    print("May 2nd:", attr("#energy", "data-bars"), "hourly bars")

    # The unusual day: its bar and its row are marked in its month; a tap reads it out.
    Select(d.find_element(By.ID, "energy-period")).select_by_value("month")
    d.execute_script("const e = document.getElementById('energy-date'); e.value = arguments[0];"
                     "e.dispatchEvent(new Event('change'));", time.strftime("%Y-%m", ODD))
    energy_shows("month", "new Date(%d, %d, 1)" % (ODD.tm_year, ODD.tm_mon - 1))
    wait.until(lambda d: attr("#energy", "data-unusual") == "1")
    odd_row = d.find_element(By.CSS_SELECTOR, "#energy tr.unusual td").text
    assert odd_row.endswith(", %s %d (unusual)" % (time.strftime("%b", ODD), ODD.tm_mday)), odd_row
    d.execute_cdp_cmd("Emulation.setTouchEmulationEnabled", {"enabled": True, "maxTouchPoints": 1})
    plot = d.find_element(By.CSS_SELECTOR, "#energy .u-over")
    d.execute_script("arguments[0].scrollIntoView({block: 'center'})", plot)
    box = d.execute_script("const r = arguments[0].getBoundingClientRect(); return [r.left, r.top, r.width, r.height]", plot)
    days_in_month = int(attr("#energy", "data-bars"))
    x, y = box[0] + box[2] * (ODD.tm_mday - 0.5) / days_in_month, box[1] + box[3] / 2
    for kind in ("touchStart", "touchEnd"):
        d.execute_cdp_cmd("Input.dispatchTouchEvent", {"type": kind, "touchPoints": [{"x": x, "y": y}] if kind == "touchStart" else []})
    wait.until(lambda d: re.search(r" %d: .* · unusual \(typical [\d,.]+\skWh\)$" % ODD.tm_mday, attr("#energy", "data-pointed")))
    d.execute_cdp_cmd("Emulation.setTouchEmulationEnabled", {"enabled": False})
    print("unusual day tapped:", attr("#energy", "data-pointed"))

    # Back to now; the year view compares with the year before.
    d.find_element(By.CSS_SELECTOR, "#energy .energy-now").click()
    Select(d.find_element(By.ID, "energy-period")).select_by_value("year")
    energy_shows("year", "new Date(new Date().getFullYear(), 0, 1)")
    assert attr("#energy", "data-bars") == "12" and int(attr("#energy", "data-compared")) >= 1

    # The headline: power now, today, the month to date and its projection, for the meter and
    # the site.
    wait.until(lambda d: attr("#glance-meter", "data-projected") != "")
    projected = d.find_element(By.CSS_SELECTOR, "#glance-meter .projected").text
    assert re.search(r"≈\s[\d,.]+\skWh · EUR [\d,.]+\nbased on \d+ days$", projected), projected
    assert d.find_element(By.CSS_SELECTOR, "#glance-meter .power .glance-value").text != "–"
    # The site's line: once the second meter's first rows are in the archive and the page asked
    # again (every minute).
    WebDriverWait(d, 90).until(lambda d: d.find_element(By.ID, "glance-site").is_displayed())
    month = d.find_element(By.CSS_SELECTOR, "#glance-meter .month").text
    assert re.search(r"[▲▼＝]\s[+-]?\d+\s% vs last month", month), month
    print("headline:", d.find_element(By.ID, "glance-meter").text.replace("\n", " | "))

    # Outside the month view the report is last month's.
    last_month = d.execute_script("const m = new Date(); m.setDate(1); m.setMonth(m.getMonth() - 1);"
                                  "return m.getFullYear() + '-' + String(m.getMonth() + 1).padStart(2, '0')")
    assert attr("#energy a.energy-report", "href").endswith("/report.html?month=" + last_month)

    # Chinese: the headline's projection and the phase advice, written by the page with the
    # answer's numbers.
    Select(d.find_element(By.ID, "language")).select_by_value("chinese")
    wait.until(lambda d: d.find_element(By.CSS_SELECTOR, "#glance-meter .projected .glance-label").text == "月底預估")
    advice = d.find_element(By.CSS_SELECTOR, "#phase-advice .phase-advice-text").text
    assert re.match(r"^(將約 [\d.,]+ kW 的負載從 L\d 移到 L\d|各相平衡)：過去 4 週.* [\d,]+ % 的小時不平衡超過 \d+ %。$", advice), advice
    Select(d.find_element(By.ID, "language")).select_by_value("english")
    print("phase advice:", advice)

    # The always-on load and the peaks, each with its chart.
    wait.until(lambda d: int(attr("#base-load", "data-days") or 0) > 300 and int(attr("#peaks", "data-months") or 0) >= 12)
    print("base load:", d.find_element(By.CSS_SELECTOR, "#base-load .base-figures").text)
    print("peaks:", d.find_element(By.CSS_SELECTOR, "#peaks .peak-figures").text)

    # A phone: the headline stacks, nothing runs off the side.
    d.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                      {"width": 390, "height": 844, "deviceScaleFactor": 2, "mobile": True})
    wait.until(lambda d: d.execute_script("return window.innerWidth") == 390)
    lefts = d.execute_script("return [...document.querySelectorAll('#glance-meter .glance-tile')]"
                             ".map((e) => Math.round(e.getBoundingClientRect().left))")
    assert len(lefts) == 4 and len(set(lefts)) == 1, lefts
    wide = d.execute_script("return [...document.querySelectorAll('main *')].filter((e) => e.getClientRects().length"
                            " && e.getBoundingClientRect().right > 391 && !e.closest('.scroll')).map((e) => e.className)")
    assert not wide, wide
    d.execute_script("window.scrollTo(0, 0)")
    d.save_screenshot(session.work + "/phone.png")
    print("phone screenshot:", session.work + "/phone.png")

    errors = [e for e in d.get_log("browser") if e["level"] == "SEVERE"]
    assert not errors, errors
    print("dashboard evening test passed")
except Exception:
    print("browser log:", d.get_log("browser"))
    print("page text:", d.find_element(By.TAG_NAME, "body").text[:2000])
    d.save_screenshot(session.work + "/failure.png")
    raise
finally:
    session.close()
