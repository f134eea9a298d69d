// Energy and cost per day, week or month of the primary meter or the meter picked above the
// charts, as bars from /api/v1/meters/<id>/energy; the running period is drawn paler and the
// last whole period is compared with the one before it. Range presets pick period and span.
"use strict";

(() => {
  const ENERGY_TEXTS = {
    english: { heading: "Energy and cost", day: "Day", week: "Week", month: "Month",
      presets: ["Today", "7 days", "30 days", "12 months"], period: "Period", partial: "so far", noData: "no data",
      against: "against", previous: "the period before", kwh: "kWh", none: "No archived energy",
      summary: "Energy per period" },
    bilingual: { heading: "用電與費用 Energy and cost", day: "日 Day", week: "週 Week", month: "月 Month",
      presets: ["今日 Today", "7天 7 days", "30天 30 days", "12個月 12 months"], period: "期間 Period",
      partial: "至今 so far", noData: "無資料 no data", against: "對比 against", previous: "前一期 the period before", kwh: "kWh",
      none: "無存檔用電 No archived energy", summary: "各期用電 Energy per period" },
    chinese: { presets: ["今日", "7天", "30天", "12個月"] },
  };
  // Each preset: the period of its bars and how many of them, the running one included.
  const PRESETS = [["day", 2], ["day", 8], ["day", 31], ["month", 13]];
  const state = { period: "day", count: 8, plot: null, data: null };

  function t(key) { return textIn(ENERGY_TEXTS, key); }
  function number(v, digits) {
    return Number(v).toLocaleString(LOCALES, { minimumFractionDigits: digits, maximumFractionDigits: digits });
  }
  function money(currency, v) { return currency + "\u00a0" + number(v, 2); }
  // The start `n` periods before now's, in the recorder's clock as the browser knows it.
  function fromFor(period, n) {
    const d = new Date();
    d.setHours(0, 0, 0, 0);
    if (period === "day") d.setDate(d.getDate() - (n - 1));
    // The week starts where the server's weeks start (/api/v1/live week_start).
    const first = weekStart === "sunday" ? 0 : 1;
    if (period === "week") d.setDate(d.getDate() - ((d.getDay() - first + 7) % 7) - 7 * (n - 1));
    if (period === "month") { d.setDate(1); d.setMonth(d.getMonth() - (n - 1)); }
    return Math.floor(d.getTime() / 1000);
  }
  function label(period, time) {
    if (period === "month") return recorderTimeText(time, { year: "numeric", month: "short" });
    return recorderTimeText(time, { month: "short", day: "numeric" });
  }

  function build() {
    const box = document.getElementById("energy");
    const picks = box.querySelector(".energy-picks");
    const period = el("select", "energy-period");
    period.id = "energy-period";
    for (const p of ["day", "week", "month"]) period.append(new Option(t(p), p));
    const periodLabel = el("label", "", t("period") + " ");
    periodLabel.htmlFor = "energy-period";
    period.addEventListener("change", () => { state.period = period.value; state.count = state.period === "month" ? 13 : 8; load(); });
    picks.replaceChildren(periodLabel, period, ...PRESETS.map(([p, n], i) => {
      const b = el("button", "preset", t("presets")[i]);
      b.type = "button";
      b.dataset.preset = String(i);
      b.addEventListener("click", () => { state.period = p; state.count = n; period.value = p; load(); });
      return b;
    }));
    setMeterHeading(box.querySelector("h2"), t("heading"));
  }

  function draw(e) {
    const box = document.getElementById("energy");
    const plotBox = box.querySelector(".energy-plot");
    const width = Math.max(plotBox.clientWidth, 200);
    const x = e.time.map((_, i) => i);
    const whole = e.kwh.map((v, i) => (e.partial[i] ? null : v));
    const running = e.kwh.map((v, i) => (e.partial[i] ? v : null));
    const bars = uPlot.paths.bars({ size: [0.7, 60] });
    const opts = {
      width, height: window.innerWidth < 600 ? 200 : 240,
      // Bars stand on zero.
      scales: { x: { time: false, range: [-0.5, x.length - 0.5] }, y: { range: (u, min, max) => [0, max > 0 ? max * 1.1 : 1] } },
      axes: [chartAxis({ values: (u, ticks) => ticks.map((i) => (e.time[i] !== undefined && Number.isInteger(i) ? label(e.period, e.time[i]) : "")) }),
        chartAxis({ label: "kWh", size: 60, values: (u, ticks) => ticks.map((v) => formatNumber(v, decimalsOf(ticks))) })],
      series: [{}, { label: "kWh", fill: "#1e5bd6", stroke: "#1e5bd6", paths: bars, points: { show: false } },
        { label: t("partial"), fill: "#8fb0ee", stroke: "#8fb0ee", paths: bars, points: { show: false } }],
      legend: { show: false },
      cursor: { show: false },
    };
    if (state.plot) state.plot.destroy();
    state.plot = new uPlot(opts, [x, whole, running], plotBox);
  }

  function show(e) {
    state.data = e;
    const box = document.getElementById("energy");
    box.dataset.period = e.period;
    box.dataset.bars = String(e.time.length);
    const table = box.querySelector("table tbody");
    const priced = e.cost !== null;
    table.replaceChildren(...e.time.map((time, i) => {
      const tr = el("tr", e.partial[i] ? "partial" : "");
      tr.append(el("td", "", label(e.period, time) + (e.partial[i] ? " (" + t("partial") + ")" : "")),
        // A period without any row is "no data", not 0 kWh.
        e.kwh[i] === null ? el("td", "no-data", t("noData")) : el("td", "", number(e.kwh[i], 2) + "\u00a0kWh"),
        el("td", "money", priced && e.cost[i] !== null ? money(e.currency, e.cost[i]) : "–"));
      return tr;
    }));
    // The last whole period against the one before it.
    const compare = box.querySelector(".energy-compare");
    const whole = e.time.map((_, i) => i).filter((i) => !e.partial[i]);
    const a = whole[whole.length - 1], b = whole[whole.length - 2];
    // Only two periods that both have data compare.
    if (whole.length >= 2 && e.kwh[a] !== null && e.kwh[b] !== null) {
      const diff = e.kwh[a] - e.kwh[b];
      const pct = e.kwh[b] > 0 ? " (" + (diff >= 0 ? "+" : "") + number(100 * diff / e.kwh[b], 1) + "\u00a0%)" : "";
      compare.textContent = label(e.period, e.time[a]) + ": " + number(e.kwh[a], 2) + "\u00a0kWh" +
        (priced ? ", " + money(e.currency, e.cost[a]) : "") + " " + t("against") + " " + label(e.period, e.time[b]) +
        ": " + number(e.kwh[b], 2) + "\u00a0kWh" + (priced ? ", " + money(e.currency, e.cost[b]) : "") +
        " — " + (diff >= 0 ? "+" : "") + number(diff, 2) + "\u00a0kWh" + pct;
    } else {
      compare.textContent = e.time.length ? "" : t("none");
    }
    draw(e);
  }

  async function load() {
    const id = pickedMeter();
    if (!id) return;
    const url = "/api/v1/meters/" + encodeURIComponent(id) + "/energy?period=" + state.period +
      "&from=" + fromFor(state.period, state.count);
    const r = await fetch(url, { cache: "no-store" });
    // An answer for a meter no longer picked is dropped: the newer one follows.
    if (id !== pickedMeter()) return;
    const box = document.getElementById("energy");
    box.hidden = !r.ok;
    box.dataset.meter = id;
    setMeterHeading(box.querySelector("h2"), t("heading"));
    if (r.ok) show(await r.json());
  }

  document.addEventListener("DOMContentLoaded", () => {
    build();
    document.addEventListener("tev-language", () => {
      build();
      document.getElementById("energy-period").value = state.period;
      if (state.data) show(state.data);
    });
    document.addEventListener("tev-meter", () => load().catch(() => {}));
    document.addEventListener("tev-names", () => setMeterHeading(document.querySelector("#energy h2"), t("heading")));
    document.addEventListener("tev-new-run", () => load().catch(() => {}));
    document.addEventListener("tev-refresh", () => load().catch(() => {}));
    DARK.addEventListener("change", () => { if (state.data) draw(state.data); });
    // The primary meter is known once the first live answer is in ("tev-meter").
    if (pickedMeter()) load().catch(() => {});
    setInterval(() => { if (!document.hidden) load().catch(() => {}); }, 300000);
    new ResizeObserver(() => { if (state.plot) state.plot.setSize({ width: Math.max(document.querySelector("#energy .energy-plot").clientWidth, 200), height: state.plot.height }); })
      .observe(document.querySelector("#energy .energy-plot"));
  });
})();
