// The three phases of the meter picked (else the primary meter) side by side: current and power
// of L1, L2 and L3 as bars of one scale, and the current imbalance the server gives with the
// readings (the largest deviation from the three phases' mean, in % of the mean, the figure the
// imbalance alert judges; none while the mean current is below the alert's floor); below, the
// hourly imbalance of the last 7 days from the archive of the same meter.
"use strict";

(() => {
  const PHASE_TEXTS = {
    english: { heading: "Phases", current: "Current", power: "Power", imbalance: "Current imbalance" },
    bilingual: { heading: "各相 Phases", current: "電流 Current", power: "功率 Power", imbalance: "電流不平衡 Current imbalance" },
  };
  function t(key) { return textIn(PHASE_TEXTS, key); }
  function number(v, digits) {
    return Number(v).toLocaleString(LOCALES, { minimumFractionDigits: digits, maximumFractionDigits: digits });
  }
  // The hourly imbalance of the archive's hourly mean currents, by the same definition as the
  // live figure the server sends.
  function imbalance(values) {
    const mean = (values[0] + values[1] + values[2]) / 3;
    if (!(mean > 0)) return null;
    return 100 * Math.max(...values.map((v) => Math.abs(v - mean))) / mean;
  }
  function row(name, values, unit, digits) {
    const top = Math.max(...values.map(Math.abs), 1e-9);
    const tr = el("tr");
    tr.append(el("th", "", name));
    values.forEach((v) => {
      const td = el("td", "phase-cell");
      const bar = el("span", "phase-bar");
      bar.style.width = Math.round(100 * Math.abs(v) / top) + "%";
      td.append(bar, el("span", "phase-value", number(v, digits) + "\u00a0" + unit));
      tr.append(td);
    });
    return tr;
  }
  // The primary meter's phases come with each live reading; another meter's from its entry in
  // the meters list, its phase powers (which that list may not carry) from its latest minute row.
  let lastLive = null;
  let archivePowers = { id: "", watts: null };
  function show(live) {
    if (live) lastLive = live;
    const id = pickedMeter();
    let amps = null, watts = null, i = null;
    if (lastLive && lastLive.readings && id === lastLive.meter) {
      const r = lastLive.readings;
      amps = [r.A1, r.A2, r.A3];
      watts = [r.W1, r.W2, r.W3];
      i = typeof lastLive.imbalance === "number" ? lastLive.imbalance : null;
    } else if (meterEntries.has(id)) {
      const m = meterEntries.get(id);
      amps = [m.A1, m.A2, m.A3];
      watts = m.W1 !== undefined ? [m.W1, m.W2, m.W3] : archivePowers.id === id ? archivePowers.watts : null;
      i = typeof m.imbalance === "number" ? m.imbalance : null;
    }
    const box = document.getElementById("phases");
    setMeterHeading(box.querySelector("h2"), t("heading"));
    box.dataset.meter = id;
    const body = document.querySelector("#phases tbody");
    // No figures before the meter's first reading and none once it went off-line.
    const known = (v) => v && v.every((x) => typeof x === "number") && meterShowsValues(id);
    body.replaceChildren(known(amps) ? row(t("current"), amps, "A", 2) : emptyRow(t("current")),
      known(watts) ? row(t("power"), watts, "W", 0) : emptyRow(t("power")));
    if (!meterShowsValues(id)) i = null;
    box.querySelector(".phase-imbalance").textContent = t("imbalance") + ": " + (i === null ? "–" : number(i, 1) + "\u00a0%");
    box.dataset.imbalance = i === null ? "" : String(i);
  }
  function emptyRow(name) {
    const tr = el("tr");
    tr.append(el("th", "", name), el("td", "", "–"), el("td", "", "–"), el("td", "", "–"));
    return tr;
  }
  async function loadPowers(id) {
    const r = await fetch("/api/v1/meters/" + encodeURIComponent(id) +
      "/series?resolution=minute&quantities=W1,W2,W3&from=" + (Math.floor(Date.now() / 1000) - 600), { cache: "no-store" });
    if (!r.ok || id !== pickedMeter()) return;
    const s = await r.json();
    const n = s.time.length - 1;
    archivePowers = { id, watts: n >= 0 ? [s.W1[n], s.W2[n], s.W3[n]] : null };
    show();
  }
  const HISTORY_DAYS = 7;
  let plot = null;
  async function loadHistory() {
    const id = pickedMeter();
    if (!id) return;
    show();
    if (!(lastLive && id === lastLive.meter) && !(meterEntries.get(id) || {}).W1) loadPowers(id).catch(() => {});
    const from = Math.floor(Date.now() / 1000) - HISTORY_DAYS * 86400;
    const r = await fetch("/api/v1/meters/" + encodeURIComponent(id) +
      "/series?resolution=hour&quantities=A1,A2,A3&from=" + from, { cache: "no-store" });
    const box = document.querySelector("#phases .phase-plot");
    box.hidden = !r.ok;
    if (!r.ok || id !== pickedMeter()) return;
    const s = await r.json();
    const values = s.time.map((_, i) => imbalance([s.A1[i], s.A2[i], s.A3[i]].map(Number)));
    document.getElementById("phases").dataset.history = String(s.time.length);
    document.getElementById("phases").dataset.historyMeter = id;
    const width = Math.max(box.clientWidth, 200);
    if (!plot) {
      plot = new uPlot({ width, height: 160, tzDate: recorderChartDate, scales: { x: { time: true, range: timeRange(3600) }, y: { range: (u, min, max) => [0, Math.max(max, 10)] } },
        axes: [timeAxis(), chartAxis({ label: "%", size: 50 })],
        series: [{ value: timeLegend }, { label: t("imbalance") + " (%)", stroke: "#9a4a00", width: 1.5, value: (u, v) => (v === null ? "–" : number(v, 1)) }] },
      withGaps(s.time, values, 3600), box);
    } else {
      plot.setData(withGaps(s.time, values, 3600));
    }
  }
  document.addEventListener("DOMContentLoaded", () => {
    document.addEventListener("tev-meter", () => loadHistory().catch(() => {}));
    document.addEventListener("tev-names", () => show());
    document.addEventListener("tev-new-run", () => loadHistory().catch(() => {}));
    document.addEventListener("tev-refresh", () => loadHistory().catch(() => {}));
    const box = document.querySelector("#phases .phase-plot");
    new ResizeObserver(() => { if (plot) plot.setSize({ width: Math.max(box.clientWidth, 200), height: 160 }); }).observe(box);
    // The plot's ink follows the theme and its legend the language: either builds it anew.
    const rebuild = () => { if (plot) { plot.destroy(); plot = null; } loadHistory().catch(() => {}); };
    DARK.addEventListener("change", rebuild);
    document.addEventListener("tev-language", rebuild);
    if (pickedMeter()) loadHistory().catch(() => {});
    setInterval(() => { if (!document.hidden) loadHistory().catch(() => {}); }, 300000);
  });
  window.tevPhases = { show };
})();
