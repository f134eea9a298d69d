// Energy and cost of the primary meter or the meter picked above the charts, one calendar
// period at a time from /api/v1/meters/<id>/energy: a day in hourly bars, a week or a month in
// daily bars, a year in monthly bars. Previous/next and a date picker browse back through the
// archive; the period before and the same period a year earlier are drawn behind the bars and
// written out; the running period is drawn paler and unusual days (from the insights answer)
// are marked. The "Monthly report" link downloads the month shown, else last month.
"use strict";

// The energy view's and the evening answer's archive requests go one at a time: the server
// reads at most a few archive answers for one browser at once and refuses more (503), and the
// other views ask for theirs at the same moments. Resolves with the JSON, or null when the
// answer is not 200 or, when its turn comes, `wanted` says the request is no longer wanted
// (another meter or period picked meanwhile): it is then not sent at all.
let archiveQueue = Promise.resolve();
function archiveJson(url, wanted = () => true) {
  const answer = archiveQueue.then(async () => {
    if (!wanted()) return null;
    const r = await fetch(url, { cache: "no-store" });
    return r.ok ? r.json() : null;
  });
  archiveQueue = answer.catch(() => null);
  return answer;
}

(() => {
  const ENERGY_TEXTS = {
    english: { heading: "Energy and cost", day: "Day", week: "Week", month: "Month", year: "Year",
      period: "Show", previous: "Previous", next: "Next", now: "Now", date: "Date", partial: "so far", noData: "no data",
      against: "against", kwh: "kWh", none: "No archived energy", total: "Total", perDay: "per day",
      yearAgo: "a year earlier", before: "the period before", unusual: "unusual",
      toDate: "to the same point", report: "Monthly report", typical: "typical", overBoth: "over the {n} bars both hold" },
    bilingual: { heading: "用電與費用 Energy and cost", day: "日 Day", week: "週 Week", month: "月 Month", year: "年 Year",
      period: "顯示 Show", previous: "上一期 Previous", next: "下一期 Next", now: "目前 Now", date: "日期 Date",
      partial: "至今 so far", noData: "無資料 no data", against: "對比 against", kwh: "kWh",
      none: "無存檔用電 No archived energy", total: "合計 Total", perDay: "每日 per day",
      yearAgo: "一年前 a year earlier", before: "前一期 the period before", unusual: "異常 unusual",
      toDate: "至同一時點 to the same point", report: "月報 Monthly report", typical: "平常 typical",
      overBoth: "兩期皆有的 {n} 段 over the {n} bars both hold" },
    chinese: { overBoth: "兩期皆有的 {n} 段" },
  };
  // Each view: the period of its bars.
  const BARS = { day: "hour", week: "day", month: "day", year: "month" };
  const state = { view: "month", anchor: null, plot: null, shown: null, asked: 0 };
  let unusual = new Map();

  function t(key) { return textIn(ENERGY_TEXTS, key); }
  function number(v, digits) {
    return Number(v).toLocaleString(LOCALES, { minimumFractionDigits: digits, maximumFractionDigits: digits });
  }
  function money(currency, v) { return currency + "\u00a0" + number(v, 2); }
  function unix(d) { return Math.floor(d.getTime() / 1000); }
  function today() { const d = new Date(); d.setHours(0, 0, 0, 0); return d; }

  // The view's period holding `anchor`, in the browser's days: [from, to) as local dates.
  function rangeOf(view, anchor) {
    const from = new Date(anchor);
    from.setHours(0, 0, 0, 0);
    if (view === "week") {
      // The week starts where the server's weeks start (/api/v1/live week_start).
      const first = weekStart === "sunday" ? 0 : 1;
      from.setDate(from.getDate() - ((from.getDay() - first + 7) % 7));
    }
    if (view === "month" || view === "year") from.setDate(1);
    if (view === "year") from.setMonth(0);
    return { from, to: shifted(view, from, 1) };
  }
  // The date `n` views after `d`.
  function shifted(view, d, n) {
    const s = new Date(d);
    if (view === "day") s.setDate(s.getDate() + n);
    if (view === "week") s.setDate(s.getDate() + 7 * n);
    if (view === "month") { s.setDate(1); s.setMonth(s.getMonth() + n); }
    if (view === "year") { s.setDate(1); s.setFullYear(s.getFullYear() + n); }
    return s;
  }
  // The same period a year earlier: the same weekdays for a week (52 weeks back), the same
  // date otherwise.
  function yearEarlier(view, from) {
    const s = new Date(from);
    if (view === "week") s.setDate(s.getDate() - 364);
    else s.setFullYear(s.getFullYear() - 1);
    return s;
  }
  // The start of every bar of [from, to): hours in Unix time (23 or 25 of them on a clock
  // change), days and months as local midnights.
  function slotsOf(view, from, to) {
    const slots = [];
    if (view === "day") {
      for (let s = unix(from); s < unix(to); s += 3600) slots.push(s);
      return slots;
    }
    for (const d = new Date(from); d < to;) {
      slots.push(unix(d));
      if (view === "year") d.setMonth(d.getMonth() + 1); else d.setDate(d.getDate() + 1);
    }
    return slots;
  }
  function barLabel(view, time, long) {
    if (view === "day") return recorderTimeText(time, { hour: "2-digit", minute: "2-digit" });
    if (view === "year") return recorderTimeText(time, long ? { year: "numeric", month: "long" } : { month: "short" });
    if (!long && view === "month") return recorderTimeText(time, { day: "numeric" });
    return recorderTimeText(time, { weekday: "short", month: "short", day: "numeric" });
  }
  function rangeLabel(view, from, to) {
    const f = unix(from);
    if (view === "day") return recorderTimeText(f, { weekday: "short", year: "numeric", month: "short", day: "numeric" });
    if (view === "month") return recorderTimeText(f, { year: "numeric", month: "long" });
    if (view === "year") return recorderTimeText(f, { year: "numeric" });
    return recorderTimeText(f, { month: "short", day: "numeric" }) + " – " +
      recorderTimeText(unix(to) - 43200, { year: "numeric", month: "short", day: "numeric" });
  }
  function dateValue(view, d) {
    const p = (n) => String(n).padStart(2, "0");
    const month = d.getFullYear() + "-" + p(d.getMonth() + 1);
    return view === "month" || view === "year" ? month : month + "-" + p(d.getDate());
  }

  // One answer laid on the bars: kWh, cost and running of each slot, null where it has none.
  function onSlots(slots, answer, offset) {
    const at = new Map();
    if (answer) answer.time.forEach((time, i) => at.set(time, i));
    // The comparison's slots line up by position with the shown ones.
    const pick = (key) => slots.map((_, i) => {
      const j = at.get(offset[i]);
      return j === undefined || !answer[key] ? null : answer[key][j];
    });
    return { kwh: pick("kwh"), cost: pick("cost"), partial: pick("partial").map(Boolean) };
  }
  function sum(values, n) {
    const held = values.slice(0, n).filter((v) => v !== null);
    return held.length ? held.reduce((a, b) => a + b, 0) : null;
  }

  function build() {
    const box = document.getElementById("energy");
    const picks = box.querySelector(".energy-picks");
    const view = el("select", "energy-period");
    view.id = "energy-period";
    for (const p of ["day", "week", "month", "year"]) view.append(new Option(t(p), p));
    view.value = state.view;
    const viewLabel = el("label", "", t("period") + " ");
    viewLabel.htmlFor = "energy-period";
    view.addEventListener("change", () => { state.view = view.value; load().catch(() => {}); });
    const button = (cls, key, step) => {
      const b = el("button", cls, t(key));
      b.type = "button";
      b.addEventListener("click", () => {
        state.anchor = step === 0 ? today() : shifted(state.view, rangeOf(state.view, state.anchor || today()).from, step);
        load().catch(() => {});
      });
      return b;
    };
    const date = el("input", "energy-date");
    date.id = "energy-date";
    date.setAttribute("aria-label", t("date"));
    date.addEventListener("change", () => {
      const m = /^(\d{4})-(\d{2})(?:-(\d{2}))?$/.exec(date.value);
      if (!m) return;
      state.anchor = new Date(Number(m[1]), Number(m[2]) - 1, m[3] ? Number(m[3]) : 1);
      load().catch(() => {});
    });
    const report = el("a", "energy-report", t("report"));
    report.download = "";
    picks.replaceChildren(viewLabel, view, button("energy-previous", "previous", -1), date,
      button("energy-next", "next", 1), button("energy-now", "now", 0), report);
    setMeterHeading(box.querySelector("h2"), t("heading"));
    controls();
  }
  // The date picker and the report link follow the period shown.
  function controls() {
    const box = document.getElementById("energy");
    const { from, to } = rangeOf(state.view, state.anchor || today());
    const date = box.querySelector(".energy-date");
    date.type = state.view === "month" || state.view === "year" ? "month" : "date";
    date.value = dateValue(state.view, from);
    box.querySelector(".energy-next").disabled = to > new Date();
    // The month shown in the month view, else the last whole month.
    const month = state.view === "month" ? from : shifted("month", today(), -1);
    const report = box.querySelector(".energy-report");
    const id = pickedMeter();
    report.hidden = !id;
    if (id) report.href = "/api/v1/meters/" + encodeURIComponent(id) + "/report.html?month=" + dateValue("month", month);
  }

  function draw() {
    const s = state.shown;
    if (!s) return;
    const plotBox = document.querySelector("#energy .energy-plot");
    const x = s.slots.map((_, i) => i);
    const marked = (i) => unusual.has(s.slots[i]) && s.view !== "day" && s.view !== "year";
    const whole = s.now.kwh.map((v, i) => (s.now.partial[i] || marked(i) ? null : v));
    const running = s.now.kwh.map((v, i) => (s.now.partial[i] ? v : null));
    const odd = s.now.kwh.map((v, i) => (marked(i) && !s.now.partial[i] ? v : null));
    const dark = DARK.matches;
    const opts = {
      width: Math.max(plotBox.clientWidth, 200), height: window.innerWidth < 600 ? 200 : 240,
      // Bars stand on zero.
      scales: { x: { time: false, range: [-0.5, x.length - 0.5] }, y: { range: (u, min, max) => [0, max > 0 ? max * 1.1 : 1] } },
      axes: [chartAxis({ values: (u, ticks) => ticks.map((i) => (Number.isInteger(i) && s.slots[i] !== undefined ? barLabel(s.view, s.slots[i], false) : "")) }),
        chartAxis({ label: "kWh", size: 60, values: (u, ticks) => ticks.map((v) => formatNumber(v, decimalsOf(ticks))) })],
      // Behind the bars, a year earlier as wide pale bars; over them, the period before as points
      // on a line.
      series: [{},
        { label: t("yearAgo"), fill: dark ? "#3a3f47" : "#d9d9d9", stroke: dark ? "#3a3f47" : "#d9d9d9", paths: uPlot.paths.bars({ size: [0.95, 80] }), points: { show: false } },
        { label: "kWh", fill: "#1e5bd6", stroke: "#1e5bd6", paths: uPlot.paths.bars({ size: [0.6, 50] }), points: { show: false } },
        { label: t("partial"), fill: "#8fb0ee", stroke: "#8fb0ee", paths: uPlot.paths.bars({ size: [0.6, 50] }), points: { show: false } },
        { label: t("unusual"), fill: "#b85c00", stroke: "#b85c00", paths: uPlot.paths.bars({ size: [0.6, 50] }), points: { show: false } },
        { label: t("before"), stroke: dark ? "#ffb066" : "#9a4a00", width: 1.5, dash: [4, 3], points: { show: true, size: 5 } }],
      legend: { show: false },
      cursor: { y: false, points: { show: false }, drag: { x: false, y: false } },
      hooks: { setCursor: [(u) => pointed(u.cursor.idx)] },
    };
    if (state.plot) state.plot.destroy();
    state.plot = new uPlot(opts, [x, s.yearAgo.kwh, whole, running, odd, s.before.kwh], plotBox);
    // A tap puts the cursor under the finger (a touch moves no mouse on every browser).
    const over = state.plot.over;
    over.addEventListener("touchend", (e) => {
      const touch = e.changedTouches[0];
      if (!touch || !state.plot) return;
      const box = over.getBoundingClientRect();
      state.plot.setCursor({ left: touch.clientX - box.left, top: touch.clientY - box.top });
    });
    const box = document.getElementById("energy");
    box.dataset.unusual = String(odd.filter((v) => v !== null).length);
  }
  // The bar under the pointer or finger in words: its energy and cost, the period before's and
  // a year earlier's.
  function pointed(i) {
    const s = state.shown;
    if (!s || i === null || i === undefined || s.slots[i] === undefined) return;
    const kwh = (v) => (v === null ? t("noData") : number(v, 2) + "\u00a0kWh");
    let line = barLabel(s.view, s.slots[i], true) + ": " + kwh(s.now.kwh[i]);
    if (s.currency && s.now.cost[i] !== null) line += ", " + money(s.currency, s.now.cost[i]);
    if (s.view !== "year") line += " · " + t("before") + ": " + kwh(s.before.kwh[i]);
    line += " · " + t("yearAgo") + ": " + kwh(s.yearAgo.kwh[i]);
    const u = unusual.get(s.slots[i]);
    if (u && s.view !== "day") line += " · " + t("unusual") + " (" + t("typical") + " " + number(u.typical_kwh, 2) + "\u00a0kWh)";
    const tap = document.querySelector("#energy .energy-tap");
    tap.textContent = line;
    document.getElementById("energy").dataset.pointed = line;
  }

  // The comparison written out: the range's total against the period before and a year
  // earlier, to the same point while the range is still running.
  function comparison(s) {
    const n = s.now.partial.some(Boolean) ? s.now.partial.indexOf(true) + 1 : s.slots.length;
    const total = sum(s.now.kwh, n);
    if (total === null) return t("none");
    const cost = s.currency ? sum(s.now.cost, n) : null;
    const part = (label, kwh, c) => label + ": " + number(kwh, 2) + "\u00a0kWh" + (c !== null ? ", " + money(s.currency, c) : "");
    // Each comparison takes the bars both periods hold: a year with months before the
    // archive's first row is compared over the months it has.
    // The running bar is left out: against a whole bar of the other period it would read as a
    // fall that is only the rest of the day still to come.
    const whole = s.now.partial[n - 1] ? n - 1 : n;
    const versus = (key, o) => {
      const both = s.slots.map((_, i) => i).filter((i) => i < whole && s.now.kwh[i] !== null && o.kwh[i] !== null);
      if (!both.length) return "";
      const over = (values) => both.reduce((a, i) => a + values[i], 0);
      const mine = over(s.now.kwh), other = over(o.kwh);
      const diff = mine - other;
      const pct = other > 0 ? " (" + (diff >= 0 ? "+" : "") + number(100 * diff / other, 1) + "\u00a0%)" : "";
      const partly = both.length < s.now.kwh.slice(0, n).filter((v) => v !== null).length;
      return " " + t("against") + " " + part(t(key), other, s.currency && o.cost[both[0]] !== null ? over(o.cost) : null) +
        (partly ? " (" + t("overBoth").replaceAll("{n}", number(both.length, 0)) + ": " + number(mine, 2) + "\u00a0kWh)" : "") +
        " — " + (diff >= 0 ? "+" : "") + number(diff, 2) + "\u00a0kWh" + pct + ".";
    };
    let out = part(s.label, total, cost);
    if (n < s.slots.length) out += " (" + t("toDate") + ")";
    for (const key of s.view === "year" ? ["yearAgo"] : ["before", "yearAgo"]) out += versus(key, key === "before" ? s.before : s.yearAgo);
    return out;
  }
  // Totals of the range shown, and the mean of its days that have rows.
  function totals(s) {
    const total = sum(s.now.kwh, s.slots.length);
    if (total === null) return "";
    let days = 0;
    s.slots.forEach((time, i) => {
      if (s.now.kwh[i] === null) return;
      if (s.view === "day") days = 1;
      else if (s.view === "year") {
        const d = new Date(time * 1000);
        const end = s.now.partial[i] ? new Date() : new Date(d.getFullYear(), d.getMonth() + 1, 1);
        days += Math.max(1, Math.round((end - d) / 864e5));
      } else days += 1;
    });
    const cost = s.currency ? sum(s.now.cost, s.slots.length) : null;
    return t("total") + " " + s.label + ": " + number(total, 2) + "\u00a0kWh" + (cost !== null ? ", " + money(s.currency, cost) : "") +
      (s.view !== "day" && days > 0 ? " · " + t("perDay") + ": " + number(total / days, 2) + "\u00a0kWh" : "");
  }

  function show() {
    const s = state.shown;
    const box = document.getElementById("energy");
    box.dataset.period = s.view;
    box.dataset.barPeriod = BARS[s.view];
    box.dataset.bars = String(s.slots.length);
    box.dataset.from = String(s.slots[0]);
    box.dataset.held = String(s.now.kwh.filter((v) => v !== null).length);
    box.dataset.compared = String(s.before.kwh.concat(s.yearAgo.kwh).filter((v) => v !== null).length);
    box.dataset.yearAgo = String(s.yearAgo.kwh.filter((v) => v !== null).length);
    box.querySelector(".energy-range").textContent = s.label;
    const table = box.querySelector("table tbody");
    // The table lists the bars the answer holds (none for the days still to come).
    table.replaceChildren(...s.slots.map((time, i) => [time, i]).filter(([, i]) => s.held[i]).map(([time, i]) => {
      const odd = unusual.has(time) && s.view !== "day" && s.view !== "year";
      const tr = el("tr", s.now.partial[i] ? "partial" : odd ? "unusual" : "");
      tr.append(el("td", "", barLabel(s.view, time, true) + (s.now.partial[i] ? " (" + t("partial") + ")" : "") +
        (odd ? " (" + t("unusual") + ")" : "")),
        // A period without any row is "no data", not 0 kWh.
        s.now.kwh[i] === null ? el("td", "no-data", t("noData")) : el("td", "", number(s.now.kwh[i], 2) + "\u00a0kWh"),
        el("td", "money", s.currency && s.now.cost[i] !== null ? money(s.currency, s.now.cost[i]) : "–"));
      return tr;
    }));
    box.querySelector(".energy-compare").textContent = comparison(s);
    box.querySelector(".energy-totals").textContent = totals(s);
    box.querySelector(".energy-tap").textContent = "";
    draw();
  }

  async function answer(id, view, from, to, asked) {
    return archiveJson("/api/v1/meters/" + encodeURIComponent(id) + "/energy?period=" + BARS[view] +
      "&from=" + unix(from) + "&to=" + unix(to), () => asked === state.asked && id === pickedMeter());
  }
  async function load() {
    const id = pickedMeter();
    controls();
    if (!id) return;
    const view = state.view;
    const { from, to } = rangeOf(view, state.anchor || today());
    const before = rangeOf(view, shifted(view, from, -1));
    const ago = rangeOf(view, yearEarlier(view, from));
    const asked = ++state.asked;
    // One answer holds the period and the one before it (for a year, the year before); a week,
    // a month or a day a year earlier takes a second one.
    const [now, earlier] = await Promise.all([answer(id, view, view === "year" ? ago.from : before.from, to, asked),
      view === "year" ? null : answer(id, view, ago.from, ago.to, asked)]);
    // An answer for a meter or a period no longer shown is dropped: the newer one follows.
    if (asked !== state.asked || id !== pickedMeter()) return;
    const box = document.getElementById("energy");
    box.hidden = !now;
    box.dataset.meter = id;
    setMeterHeading(box.querySelector("h2"), t("heading"));
    if (!now) return;
    const slots = slotsOf(view, from, to);
    const beforeSlots = slotsOf(view, before.from, before.to);
    const agoSlots = slotsOf(view, ago.from, ago.to);
    const heldTimes = new Set(now.time);
    state.shown = { view, slots, label: rangeLabel(view, from, to), currency: now.currency,
      held: slots.map((s) => heldTimes.has(s)), now: onSlots(slots, now, slots),
      before: onSlots(slots, view === "year" ? null : now, beforeSlots), yearAgo: onSlots(slots, view === "year" ? now : earlier, agoSlots) };
    show();
  }

  // The unusual days of the insights answer (evening.js) mark their bars.
  function learnUnusual(e) {
    unusual = new Map(((e.detail && e.detail.unusual_days) || []).map((u) => [u.day, u]));
    if (state.shown) show();
  }

  document.addEventListener("DOMContentLoaded", () => {
    build();
    document.addEventListener("tev-language", () => { build(); if (state.shown) show(); });
    document.addEventListener("tev-meter", () => load().catch(() => {}));
    document.addEventListener("tev-names", () => setMeterHeading(document.querySelector("#energy h2"), t("heading")));
    document.addEventListener("tev-new-run", () => load().catch(() => {}));
    document.addEventListener("tev-refresh", () => load().catch(() => {}));
    document.addEventListener("tev-insights", learnUnusual);
    DARK.addEventListener("change", draw);
    // The primary meter is known once the first live answer is in ("tev-meter").
    if (pickedMeter()) load().catch(() => {});
    // A range still running grows: asked again every 5 minutes.
    setInterval(() => {
      if (!document.hidden && rangeOf(state.view, state.anchor || today()).to > new Date()) load().catch(() => {});
    }, 300000);
    new ResizeObserver(() => { if (state.plot) state.plot.setSize({ width: Math.max(document.querySelector("#energy .energy-plot").clientWidth, 200), height: state.plot.height }); })
      .observe(document.querySelector("#energy .energy-plot"));
  });
})();
