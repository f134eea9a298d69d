#!/usr/bin/python3
"""The dashboard in a real browser: Debian's chromium through chromedriver, against the headless
program with a month of demo history, fed live by the meter simulator on loopback.

Usage: dashboard_browser_test.py TEV3P HOQ_SIM WORK_DIR [SCREENSHOT]
Prints the time from the page request to the live values shown."""
import datetime
import os
import re
import shutil
import sqlite3
import subprocess
import sys
import time

from selenium.common.exceptions import StaleElementReferenceException
from selenium import webdriver
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select, WebDriverWait

tev3p, hoq_sim, work = sys.argv[1], sys.argv[2], sys.argv[3]
screenshot = sys.argv[4] if len(sys.argv) > 4 else os.path.join(work, "web-dashboard.png")

shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
subprocess.run([hoq_sim, "--write-demo", work, "--days", "40"], check=True,
               stdout=subprocess.DEVNULL)
# A two-band tariff and a current rating the simulated meter (about 1 A a phase) goes over.
with open(os.path.join(work, "tev3p.ini"), "a", encoding="utf-8") as ini:
    ini.write("\n[tariff]\ncurrency=EUR\nprice_per_kwh=0.20\nstanding_charge_per_day=0.50\n"
              "band_1=mon-fri 07:00-22:00 0.40\n\n[alerts]\ncurrent_max=0.5\ncurrent_seconds=1\n")
# A planted sag in last week's minute rows: L2 at 180 V (170 V at its lowest) for 30 minutes
# from Wednesday noon, three 10-minute windows out of the ±10 % band.
last_week = datetime.date.today() - datetime.timedelta(days=7)
sag_day = last_week - datetime.timedelta(days=last_week.weekday() - 2)
sag_start = int(time.mktime(datetime.datetime.combine(sag_day, datetime.time(12)).timetuple()))
quality_week = "%d-W%02d" % sag_day.isocalendar()[:2]
with sqlite3.connect(os.path.join(work, "TEV3P_Archive.sqlite")) as db:
    planted = db.execute("UPDATE minutes SET v2_mean = 180, v2_min = 170 WHERE t >= ? AND t < ?",
                         (sag_start, sag_start + 1800)).rowcount
assert planted == 30, "the demo has no minute rows for the planted sag: %d" % planted


def start_program(http="127.0.0.1:0"):
    return subprocess.Popen([tev3p, "--headless", "--folder", work, "--port", "0",
                             "--second-port", "0", "--listen", "127.0.0.1", "--http", http],
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)


program = start_program()
sim = None
driver = None


def wait_line(pattern, limit=20):
    end = time.time() + limit
    while time.time() < end:
        line = program.stdout.readline()
        if not line:
            break
        m = re.search(pattern, line)
        if m:
            return m
    raise AssertionError("the program never said " + pattern)


try:
    url = wait_line(r"Web dashboard (http://127\.0\.0\.1:\d+/)").group(1)
    meter_port = wait_line(r"meters on port (\d+)").group(1)
    sim = subprocess.Popen([hoq_sim, "--port", meter_port], stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)

    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for a in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1280,1400",
              "--disable-dev-shm-usage"):
        options.add_argument(a)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    options.add_experimental_option("prefs", {"download.default_directory": work,
                                              "download.prompt_for_download": False})
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    # The live feed redraws tables under the test: a wait reads again after a stale element,
    # and texts() reads every match in one script so that no redraw falls between the reads.
    wait = WebDriverWait(driver, 20, ignored_exceptions=[StaleElementReferenceException])

    def texts(css):
        return driver.execute_script(
            "return Array.from(document.querySelectorAll(arguments[0]), e => e.innerText.replace(/\u00a0/g, ' ').trim())", css)

    driver.get(url)
    # Live values appear once the simulated meter has sent its first data message.
    wait.until(lambda d: d.find_element(By.CSS_SELECTOR, ".reading[data-q='V1'] .value").text
               not in ("", "–", "0.0"))
    shown_ms = driver.execute_script(
        "return Number(document.body.dataset.liveShownMs) - performance.timing.requestStart"
        " + performance.timing.navigationStart")
    print("page request to live values shown: %.0f ms" % shown_ms)
    wait.until(lambda d: len(d.find_elements(By.CSS_SELECTOR, "#meters tbody tr")) == 1)

    def drawn_pixels(chart):
        return driver.execute_script("""
            const c = document.querySelector(arguments[0] + ' canvas');
            const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
            let n = 0;
            for (let i = 3; i < d.length; i += 4) if (d[i] !== 0) n++;
            return n;""", "#" + chart)

    for chart in ("chart1", "chart2"):
        wait.until(lambda d: int(d.find_element(By.ID, chart).get_attribute("data-points") or 0) > 1)
        assert drawn_pixels(chart) > 500, chart + " draws nothing"

    chart1 = driver.find_element(By.ID, "chart1")
    hour_first = chart1.get_attribute("data-first")
    hour_points = chart1.get_attribute("data-points")
    Select(chart1.find_element(By.CSS_SELECTOR, "select.scale")).select_by_value("day")
    wait.until(lambda d: d.find_element(By.ID, "chart1").get_attribute("data-scale") == "day"
               and d.find_element(By.ID, "chart1").get_attribute("data-points") not in (None, "0", hour_points))
    assert chart1.get_attribute("data-first") != hour_first, "switching the scale kept the data"
    assert int(chart1.get_attribute("data-points")) >= 30, "the demo's days are missing"

    driver.find_element(By.CSS_SELECTOR, "a[href='/api/v1/records.csv?scale=day&format=original']").click()
    target = os.path.join(work, "TEV3P_Records_Day.csv")
    end = time.time() + 15
    while time.time() < end and not os.path.exists(target):
        time.sleep(0.2)
    with open(target, "rb") as f:
        assert f.read().startswith(b"   < TEV-3P Electricity Monitor System >  Records   \r\n")

    # A scale switch keeps the quantity and a zoomed view's time range where the new scale
    # covers it: a drag over the last days of the Day chart, then Hour (which holds 38 days).
    def view(chart):
        e = driver.find_element(By.ID, chart)
        return (int(e.get_attribute("data-view-min")), int(e.get_attribute("data-view-max")))
    whole_days = view("chart1")
    over = chart1.find_element(By.CSS_SELECTOR, ".u-over")
    width = over.size["width"]
    ActionChains(driver).move_to_element_with_offset(over, int(width * 0.3), 0).click_and_hold() \
        .move_by_offset(int(width * 0.15), 0).release().perform()
    wait.until(lambda d: view("chart1") != whole_days)
    zoomed = view("chart1")
    assert whole_days[0] < zoomed[0] < zoomed[1] < whole_days[1], (whole_days, zoomed)
    quantity = Select(chart1.find_element(By.CSS_SELECTOR, "select.quantity")).first_selected_option.get_attribute("value")
    Select(chart1.find_element(By.CSS_SELECTOR, "select.scale")).select_by_value("hour")
    wait.until(lambda d: chart1.get_attribute("data-scale") == "hour"
               and int(chart1.get_attribute("data-points") or 0) > 24 * 30 and view("chart1") == zoomed)
    assert Select(chart1.find_element(By.CSS_SELECTOR, "select.quantity")) \
        .first_selected_option.get_attribute("value") == quantity
    chart1.find_element(By.CSS_SELECTOR, "button.reset").click()
    wait.until(lambda d: view("chart1")[0] < zoomed[0] - 86400)
    print("a scale switch kept the view", zoomed, "of", whole_days)

    # The meter picker: the demo meter's archive in both charts, minute/hour/day, and back. Each
    # chart keeps its scale: Hour becomes the archive's hour, Minute its minute.
    meter_id = texts("#meters tbody tr td")[0]
    wait.until(lambda d: d.find_elements(By.CSS_SELECTOR, "#meter option[value='%s']" % meter_id))
    Select(driver.find_element(By.ID, "meter")).select_by_value(meter_id)
    for chart in ("chart1", "chart2"):
        wait.until(lambda d: d.find_element(By.ID, chart).get_attribute("data-meter") == meter_id
                   and int(d.find_element(By.ID, chart).get_attribute("data-points") or 0) > 1)
        assert drawn_pixels(chart) > 500, chart + " draws nothing of the chosen meter"
    scales = [o.get_attribute("value") for o in
              chart1.find_elements(By.CSS_SELECTOR, "select.scale option")]
    assert scales == ["minute", "hour", "day"], scales
    assert chart1.get_attribute("data-scale") == "hour"
    assert driver.find_element(By.ID, "chart2").get_attribute("data-scale") == "minute"
    archive_hours = int(chart1.get_attribute("data-points"))
    assert archive_hours > 24 * 30, "the demo's hours are not in the archive: %d" % archive_hours
    Select(chart1.find_element(By.CSS_SELECTOR, "select.scale")).select_by_value("day")
    wait.until(lambda d: d.find_element(By.ID, "chart1").get_attribute("data-scale") == "day"
               and int(d.find_element(By.ID, "chart1").get_attribute("data-points") or 0) in range(30, 45))
    driver.find_element(By.CSS_SELECTOR, "#meter-csv a[href$='export.csv?resolution=day']").click()
    target = os.path.join(work, "TEV3P_%s_day.csv" % meter_id)
    end = time.time() + 15
    while time.time() < end and not os.path.exists(target):
        time.sleep(0.2)
    with open(target, "rb") as f:
        assert f.read().startswith(b"time,V1_V,V1_min_V,V1_max_V,"), "the archive CSV"
    time.sleep(1.5)
    driver.save_screenshot(os.path.join(work, "web-dashboard-meter.png"))
    Select(driver.find_element(By.ID, "meter")).select_by_value("")
    wait.until(lambda d: d.find_element(By.ID, "chart1").get_attribute("data-meter") == ""
               and d.find_element(By.ID, "chart1").get_attribute("data-scale") == "hour")
    print("meter picker shows the archive of", meter_id, "with", archive_hours, "hours")

    # Costs: the primary meter's under the live readings, every archived meter's in a table.
    money = re.compile(r"^EUR \d+\.\d\d$")
    wait.until(lambda d: d.find_element(By.ID, "costs").is_displayed())
    # The demo folder is in the bilingual mode: the English half is checked.
    assert re.search(r"Cost today \(" + meter_id + r"\): EUR \d+\.\d\d · .*this week: EUR \d+\.\d\d · .*this month: EUR",
                    driver.find_element(By.ID, "costs").text), driver.find_element(By.ID, "costs").text
    wait.until(lambda d: d.find_element(By.ID, "meter-costs-section").is_displayed())
    heads = texts("#meter-costs th")
    assert heads[0] == "ID" and heads[1].endswith("kWh today") and heads[2].endswith("Cost today"), heads
    cells = texts("#meter-costs tbody tr td")
    assert cells[0] == meter_id and all(money.match(c) for c in cells[2::2]), cells
    # 40 days of demo history: the month holds more than today.
    assert float(cells[5]) >= float(cells[1]) and float(cells[6][4:]) > 0.5, cells
    print("costs per meter:", cells)

    # The current rating: the banner names the running alert, the history lists its start.
    wait.until(lambda d: d.find_element(By.ID, "alert-banner").is_displayed())
    banner = driver.find_element(By.ID, "alert-banner").text
    assert re.match(r"^(警報 )?Alert — " + meter_id + ": (電流 )?current L\d ", banner), banner
    wait.until(lambda d: d.find_elements(By.CSS_SELECTOR, "#alerts-history li.alert-start"))
    print("alert banner:", banner)

    # Energy and cost bars with the comparison; the period picker.
    wait.until(lambda d: d.find_element(By.ID, "energy").is_displayed()
               and int(d.find_element(By.ID, "energy").get_attribute("data-bars") or 0) >= 2)
    compare = driver.find_element(By.CSS_SELECTOR, "#energy .energy-compare").text
    assert re.search(r"kWh, EUR \d+\.\d\d .*against .*kWh, EUR \d+\.\d\d (\(.*\) )?— [+-]", compare), compare
    rows = driver.find_elements(By.CSS_SELECTOR, "#energy tbody tr")
    assert rows[-1].get_attribute("class") == "partial", "the running day is not partial"
    for period, bars in (("year", 12), ("day", 23)):
        Select(driver.find_element(By.ID, "energy-period")).select_by_value(period)
        wait.until(lambda d: d.find_element(By.ID, "energy").get_attribute("data-period") == period
                   and int(d.find_element(By.ID, "energy").get_attribute("data-bars")) >= bars)
    Select(driver.find_element(By.ID, "energy-period")).select_by_value("week")
    wait.until(lambda d: d.find_element(By.ID, "energy").get_attribute("data-period") == "week")
    costs = texts("#energy tbody td.money")
    # Days before the 40 days of history have no figure, never a zero.
    while costs and costs[0] == "–":
        costs.pop(0)
    assert costs and all(re.match(r"^EUR \d+\.\d\d$", c) for c in costs), costs
    print("energy per week:", compare, costs)

    # The phases, and the voltage quality of the week with the planted sag.
    assert len(driver.find_elements(By.CSS_SELECTOR, "#phases .phase-table tbody tr")) == 2
    wait.until(lambda d: int(d.find_element(By.ID, "phases").get_attribute("data-history") or 0) > 24)
    assert driver.find_elements(By.CSS_SELECTOR, "h2 span[lang='zh-Hant']"), "no Chinese marked"
    # Views built before the language was known take it up (headings, the period picker).
    for view, heading in (("energy", "用電與費用 Energy and cost"), ("quality", "電壓品質 Voltage quality")):
        assert driver.find_element(By.CSS_SELECTOR, "#%s h2" % view).text == heading + " — " + meter_id, view
    assert driver.find_element(By.CSS_SELECTOR, "#energy-period option[value=week]").text == "週 Week"
    driver.execute_script("const w = document.getElementById('quality-week'); w.value = arguments[0];"
                          "w.dispatchEvent(new Event('change'));", quality_week)
    wait.until(lambda d: d.find_element(By.ID, "quality").get_attribute("data-week") == quality_week)
    l2 = texts("#quality tbody tr:nth-child(2) td")
    assert l2[0] == "L2" and l2[3] == "30" and l2[5] == "170.0 V", l2
    assert 99 < float(l2[1].split()[0]) < 100 and l2[7].endswith("pass"), l2
    print("quality of", quality_week, "L2:", l2)

    # A phone's 360 px: nothing wider than the screen. Then the dark theme and the manifest.
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                           {"width": 360, "height": 780, "deviceScaleFactor": 2, "mobile": True})
    wait.until(lambda d: d.execute_script("return window.innerWidth") == 360)
    wide = driver.execute_script("""return [...document.querySelectorAll('body *')]
        .filter((e) => !e.closest('.scroll') && e.getBoundingClientRect().right > 361)
        .map((e) => e.tagName + '#' + e.id + '.' + e.className).slice(0, 5)""")
    assert not wide and driver.execute_script(
        "return document.documentElement.scrollWidth") <= 360, wide
    driver.save_screenshot(os.path.join(work, "web-dashboard-phone.png"))
    driver.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})
    driver.execute_cdp_cmd("Emulation.setEmulatedMedia",
                           {"features": [{"name": "prefers-color-scheme", "value": "dark"}]})
    assert driver.execute_script("return getComputedStyle(document.body).backgroundColor") == \
        "rgb(18, 20, 23)"
    driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {"features": []})
    manifest = driver.execute_script(
        "const l = document.querySelector('link[rel=manifest]');"
        "return fetch(l.href).then((r) => r.json());")
    assert manifest["theme_color"] and manifest["icons"][0]["src"] == "/favicon.svg", manifest

    # 100 scale switches leave the window's listeners as they were.
    def window_listeners():
        window = driver.execute_cdp_cmd("Runtime.evaluate", {"expression": "window"})
        return len(driver.execute_cdp_cmd("DOMDebugger.getEventListeners",
                                          {"objectId": window["result"]["objectId"]})["listeners"])
    # Charts still being built on a busy machine add theirs late: the count is taken once it
    # has held for a second.
    before, held_since, deadline = window_listeners(), time.time(), time.time() + 20
    while time.time() - held_since < 1 and time.time() < deadline:
        time.sleep(0.2)
        now = window_listeners()
        if now != before:
            before, held_since = now, time.time()
    driver.execute_script("""const s = document.querySelector('#chart1 select.scale');
        for (let i = 0; i < 100; i++) {
          s.value = s.options[i % s.options.length].value;
          s.dispatchEvent(new Event('change'));
        }""")
    # A chart being replaced holds its listener until its series arrives; a leak never gives
    # the listeners back, so the count is awaited rather than read at once.
    deadline = time.time() + 20
    after = window_listeners()
    while after != before and time.time() < deadline:
        time.sleep(0.2)
        after = window_listeners()
    assert after == before, "window listeners %d before 100 scale switches, %d after" % (before, after)
    print("window listeners after 100 scale switches:", after)

    time.sleep(1.5)
    driver.save_screenshot(screenshot)
    errors = [e for e in driver.get_log("browser") if e["level"] == "SEVERE"]
    assert not errors, errors

    # Honest state: the program stops, the page says so within 2 s and greys its readings;
    # started again on the same address, the page reads the new run's log alone.
    old_run = driver.execute_script("return document.body.dataset.run")
    assert old_run, "no run id"
    program.terminate()
    program.wait(timeout=20)
    WebDriverWait(driver, 2).until(lambda d: d.find_element(By.ID, "connection").is_displayed())
    assert "Connection lost" in driver.find_element(By.ID, "connection").text
    assert "stale" in driver.find_element(By.TAG_NAME, "body").get_attribute("class")
    assert driver.find_element(By.ID, "link").get_attribute("class") == "state off"
    program = start_program(url[len("http://"):-1])
    wait_line(r"Web dashboard")
    wait.until(lambda d: d.execute_script("return document.body.dataset.run") not in (None, old_run)
               and not d.find_element(By.ID, "connection").is_displayed())
    wait.until(lambda d: "Web dashboard" in d.find_element(By.ID, "log").text)
    log = driver.find_element(By.ID, "log").text
    assert log.count("Web dashboard") == 1, log
    print("dashboard browser test passed")
except Exception:
    if driver:
        print("browser log:", driver.get_log("browser"))
        print("page text:", driver.find_element(By.TAG_NAME, "body").text[:1500])
        driver.save_screenshot(os.path.join(work, "failure.png"))
    raise
finally:
    if driver:
        driver.quit()
    if sim:
        sim.terminate()
        sim.wait()
    program.terminate()
    program.wait(timeout=20)
