"""What the dashboard's traffic and accessibility tests share: a folder of demo history with a
two-band tariff and a current rating the simulated meters go over, the headless program on
loopback ports it picks itself, the meter simulator playing one or more meters, and Debian's
chromium through chromedriver."""
import json
import os
import re
import shutil
import subprocess
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait


class DashboardSession:
    def __init__(self, tev3p, hoq_sim, work, meters=1, performance_log=False, tz=None,
                 prepare=None, languages=None, days=40):
        self.program = self.sim = self.driver = None
        self.tev3p, self.work = tev3p, work
        shutil.rmtree(work, ignore_errors=True)
        os.makedirs(work)
        subprocess.run([hoq_sim, "--write-demo", work, "--days", str(days)], check=True,
                       stdout=subprocess.DEVNULL, env=self.env(tz))
        with open(os.path.join(work, "tev3p.ini"), "a", encoding="utf-8") as ini:
            ini.write("\n[tariff]\ncurrency=EUR\nprice_per_kwh=0.20\nstanding_charge_per_day=0.50\n"
                      "band_1=mon-fri 07:00-22:00 0.40\n\n[alerts]\ncurrent_max=0.5\n"
                      "current_seconds=1\n")
        if prepare:
            prepare(work)
        self.start_program("127.0.0.1:0", tz)
        self.url = self.wait_line(r"Web dashboard (http://127\.0\.0\.1:\d+/)").group(1)
        port = self.wait_line(r"meters on port (\d+)").group(1)
        self.sim = subprocess.Popen([hoq_sim, "--port", port, "--meters", str(meters)],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                    env=self.env(tz))
        self.performance_log = performance_log
        self.driver = self.browser(languages)
        self.wait = WebDriverWait(self.driver, 30)

    def browser(self, languages=None):
        """A new chromium whose navigator.languages is `languages` (e.g. "de-DE,de"), or the
        default's."""
        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        for a in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1280,900",
                  "--disable-dev-shm-usage"):
            options.add_argument(a)
        if languages:
            options.add_argument("--lang=" + languages.split(",")[0])
            options.add_experimental_option("prefs", {"intl.accept_languages": languages})
        prefs = {"browser": "ALL"}
        if self.performance_log:
            prefs["performance"] = "ALL"
        options.set_capability("goog:loggingPrefs", prefs)
        return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)

    @staticmethod
    def env(tz):
        """The environment with TZ set to `tz`, or as it is."""
        env = dict(os.environ)
        if tz is not None:
            env["TZ"] = tz
        return env

    def start_program(self, http, tz=None):
        self.program = subprocess.Popen(
            [self.tev3p, "--headless", "--folder", self.work, "--port", "0", "--second-port", "0",
             "--listen", "127.0.0.1", "--http", http],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, env=self.env(tz))

    def restart_program(self, tz=None):
        """Stops the program and starts it again on the same web address (its meter port is a
        new one: the simulated meters stay away)."""
        self.program.terminate()
        self.program.wait(timeout=20)
        self.start_program(self.url[len("http://"):-1], tz)
        self.wait_line(r"Web dashboard")

    def wait_line(self, pattern, limit=20):
        end = time.time() + limit
        while time.time() < end:
            line = self.program.stdout.readline()
            if not line:
                break
            m = re.search(pattern, line)
            if m:
                return m
        raise AssertionError("the program never said " + pattern)

    def wait_until_drawn(self, meters=1):
        """Waits until every view of the page holds what the demo gives it."""
        d = self.driver
        attr = lambda id, name: d.find_element(By.ID, id).get_attribute(name) or ""
        self.wait.until(lambda d: len(d.find_elements(
            By.CSS_SELECTOR, "#meters tbody td.online")) == meters)
        for chart in ("chart1", "chart2"):
            self.wait.until(lambda d: int(attr(chart, "data-points") or 0) > 1)
        self.wait.until(lambda d: int(attr("energy", "data-bars") or 0) >= 2)
        self.wait.until(lambda d: int(attr("phases", "data-history") or 0) > 24)
        self.wait.until(lambda d: attr("quality", "data-week") != "")
        self.wait.until(lambda d: d.find_element(By.ID, "alert-banner").is_displayed())
        self.wait.until(lambda d: d.find_element(By.ID, "meter-costs-section").is_displayed())
        self.wait.until(lambda d: attr("headline", "data-insights-meter") != "")

    def network_events(self):
        """The Network events of the performance log since the last call."""
        events = []
        for entry in self.driver.get_log("performance"):
            m = json.loads(entry["message"])["message"]
            if m["method"].startswith("Network."):
                events.append(m)
        return events

    def close(self):
        if self.driver:
            self.driver.quit()
        if self.sim:
            self.sim.terminate()
            self.sim.wait()
        if self.program:
            self.program.terminate()
            self.program.wait(timeout=20)


def bytes_received(events):
    """Bytes that came in over the network: each HTTP answer whole (head, body as sent) and each
    WebSocket frame the server sent (payload and frame head). Returns (bytes, answers, frames)."""
    http = {}
    ws = frames = 0
    for m in events:
        p = m["params"]
        if m["method"] == "Network.loadingFinished":
            http[p["requestId"]] = p["encodedDataLength"]
        elif m["method"] == "Network.webSocketFrameReceived":
            n = len(p["response"]["payloadData"].encode("utf-8"))
            ws += n + (2 if n < 126 else 4 if n < 65536 else 10)
            frames += 1
    return sum(http.values()) + ws, len(http), frames
