// The three phases of the primary meter side by side from the live push: current and power of
// L1, L2 and L3 as bars of one scale, and the current imbalance the server gives with the live
// readings (the largest deviation from the three phases' mean, in % of the mean, the figure the
// imbalance alert judges; none while the mean current is below the alert's floor); below, the
// hourly imbalance
// of the last 7 days from the archive, of the primary meter or the meter picked.
"use strict";

(() => {
  const PHASE_TEXTS = {
    english: { heading: "Phases", current: "Current", power: "Power", imbalance: "Current imbalance" },
    bilingual: { heading: "各相 Phases", current: "電流 Current", power: "功率 Power", imbalance: "電流不平衡 Current imbalance" },
  };
  function t(key) {
    const mode = typeof language === "string" && PHASE_TEXTS[language] ? language : "english";
    return PHASE_TEXTS[mode][key];
  }
  function number(v, digits) {
    return Number(v).toLocaleString(undefined, { minimumFractionDigits: digits, maximumFractionDigits: digits });
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
  function show(live) {
    const r = live.readings;
    if (!r) return;
    const amps = [r.A1, r.A2, r.A3].map(Number);
    const watts = [r.W1, r.W2, r.W3].map(Number);
    setText(document.querySelector("#phases h2"), t("heading"));
    const body = document.querySelector("#phases tbody");
    body.replaceChildren(row(t("current"), amps, "A", 2), row(t("power"), watts, "W", 0));
    const i = typeof live.imbalance === "number" ? live.imbalance : null;
    const box = document.getElementById("phases");
    box.querySelector(".phase-imbalance").textContent = t("imbalance") + ": " + (i === null ? "–" : number(i, 1) + "\u00a0%");
    box.dataset.imbalance = i === null ? "" : String(i);
  }
  const HISTORY_DAYS = 7;
  let plot = null;
  async function loadHistory() {
    const id = meterPicker.chosen || meterPicker.primaryId;
    if (!id) return;
    const from = Math.floor(Date.now() / 1000) - HISTORY_DAYS * 86400;
    const r = await fetch("/api/v1/meters/" + encodeURIComponent(id) +
      "/series?resolution=hour&quantities=A1,A2,A3&from=" + from, { cache: "no-store" });
    const box = document.querySelector("#phases .phase-plot");
    box.hidden = !r.ok;
    if (!r.ok) return;
    const s = await r.json();
    const values = s.time.map((_, i) => imbalance([s.A1[i], s.A2[i], s.A3[i]].map(Number)));
    document.getElementById("phases").dataset.history = String(s.time.length);
    const width = Math.max(box.clientWidth, 200);
    if (!plot) {
      plot = new uPlot({ width, height: 160, tzDate: recorderChartDate, scales: { x: { time: true }, y: { range: (u, min, max) => [0, Math.max(max, 10)] } },
        axes: [chartAxis(), chartAxis({ label: "%", size: 50 })],
        series: [{}, { label: t("imbalance") + " (%)", stroke: "#9a4a00", width: 1.5, value: (u, v) => (v === null ? "–" : number(v, 1)) }] },
      [s.time, values], box);
    } else {
      plot.setData([s.time, values]);
    }
  }
  document.addEventListener("DOMContentLoaded", () => {
    document.getElementById("meter").addEventListener("change", () => loadHistory().catch(() => {}));
    document.addEventListener("tev-new-run", () => loadHistory().catch(() => {}));
    const box = document.querySelector("#phases .phase-plot");
    new ResizeObserver(() => { if (plot) plot.setSize({ width: Math.max(box.clientWidth, 200), height: 160 }); }).observe(box);
    DARK.addEventListener("change", () => { if (plot) { plot.destroy(); plot = null; } loadHistory().catch(() => {}); });
    const first = setInterval(() => {
      if (meterPicker.chosen || meterPicker.primaryId) { clearInterval(first); loadHistory().catch(() => {}); }
    }, 500);
    setInterval(() => loadHistory().catch(() => {}), 300000);
  });
  window.tevPhases = { show };
})();
