// The evening answer: a headline above the tiles (power now, today, the month to date against
// last month and last year, the month's projected end) for the meter picked and for the site,
// and below the energy view the always-on load, the peak demand and the phase advice of the
// meter picked. The figures come from /api/v1/meters/<id>/insights (on each pick and every
// 5 minutes; its unusual days go on to the energy view as "tev-insights") and
// /api/v1/insights (every minute: today and the month of every meter and the site).
"use strict";

(() => {
  // Every text in full in each language: the templates' Chinese halves hold numbers, which the
  // bilingual split cannot take apart.
  const EVENING_TEXTS = {
    english: {
      glance: "At a glance", site: "Site (all meters)", powerNow: "Power now", today: "Today", month: "This month so far",
      projected: "Month end (projected)", basedOn: "based on {n} days", lastMonth: "vs last month", lastYear: "vs last year",
      baseHeading: "Always-on load", baseNow: "Always on: {w}", baseYear: "about {money} a year",
      night: "night use above it: {kwh}", baseSummary: "Always-on load of {n} days: lowest {low}, highest {high}",
      fromHours: "from hourly means", peakHeading: "Peak demand", peakToday: "Today's peak: {kw} at {time}",
      peakMonth: "this month's: {kw} on {time}", demandCharge: "demand charge: {money}",
      peakSummary: "Peaks of {n} months: highest {kw} in {month}", phaseHeading: "Phase balance",
      move: "Move about {kw} kW of load from {from} to {to}: the imbalance was above {limit} % in {share} % of the hours of the last 4 weeks.",
      balanced: "The phases are balanced: the imbalance was above {limit} % in only {share} % of the hours of the last 4 weeks.",
      meanPower: "mean power",
    },
    bilingual: {
      glance: "一覽 At a glance", site: "全場 Site (all meters)", powerNow: "目前功率 Power now", today: "今日 Today",
      month: "本月至今 This month so far", projected: "月底預估 Month end (projected)", basedOn: "根據 {n} 天 based on {n} days",
      lastMonth: "較上月 vs last month", lastYear: "較去年 vs last year", baseHeading: "常時負載 Always-on load",
      baseNow: "常時負載 {w} Always on: {w}", baseYear: "每年約 {money} about {money} a year",
      night: "夜間高出 {kwh} night use above it: {kwh}",
      baseSummary: "{n} 天常時負載：最低 {low}，最高 {high} Always-on load of {n} days: lowest {low}, highest {high}",
      fromHours: "按小時平均 from hourly means", peakHeading: "尖峰需量 Peak demand",
      peakToday: "今日尖峰 {kw}，{time} Today's peak: {kw} at {time}", peakMonth: "本月 {kw}，{time} this month's: {kw} on {time}",
      demandCharge: "需量費 {money} demand charge: {money}",
      peakSummary: "{n} 個月尖峰：最高 {kw}，{month} Peaks of {n} months: highest {kw} in {month}",
      phaseHeading: "各相平衡 Phase balance", meanPower: "平均功率 mean power",
    },
    chinese: {
      glance: "一覽", site: "全場", powerNow: "目前功率", today: "今日", month: "本月至今", projected: "月底預估",
      basedOn: "根據 {n} 天", lastMonth: "較上月", lastYear: "較去年", baseHeading: "常時負載", baseNow: "常時負載 {w}",
      baseYear: "每年約 {money}", night: "夜間高出 {kwh}", baseSummary: "{n} 天常時負載：最低 {low}，最高 {high}",
      fromHours: "按小時平均", peakHeading: "尖峰需量", peakToday: "今日尖峰 {kw}，{time}", peakMonth: "本月 {kw}，{time}",
      demandCharge: "需量費 {money}", peakSummary: "{n} 個月尖峰：最高 {kw}，{month}", phaseHeading: "各相平衡",
      move: "將約 {kw} kW 的負載從 {from} 移到 {to}：過去 4 週有 {share} % 的小時不平衡超過 {limit} %。",
      balanced: "各相平衡：過去 4 週只有 {share} % 的小時不平衡超過 {limit} %。", meanPower: "平均功率",
    },
  };
  function t(key, vars) {
    let s = textIn(EVENING_TEXTS, key);
    // The bilingual advice: the Chinese sentence, then the English one.
    if (s === undefined && language === "bilingual") s = EVENING_TEXTS.chinese[key] + " " + EVENING_TEXTS.english[key];
    for (const [k, v] of Object.entries(vars || {})) s = s.replaceAll("{" + k + "}", v);
    return s;
  }
  function number(v, digits) {
    return Number(v).toLocaleString(LOCALES, { minimumFractionDigits: digits, maximumFractionDigits: digits });
  }
  // Big figures with as few digits as tell them apart.
  function kwh(v) { return number(v, v >= 100 ? 0 : v >= 10 ? 1 : 2) + "\u00a0kWh"; }
  function power(w) { return Math.abs(w) >= 1000 ? number(w / 1000, 2) + "\u00a0kW" : number(w, 0) + "\u00a0W"; }
  function kw(w) { return number(w / 1000, 2) + "\u00a0kW"; }
  function money(currency, v) { return currency + "\u00a0" + number(v, 2); }
  const known = (v) => typeof v === "number" && Number.isFinite(v);

  let insights = null;   // the picked meter's /insights answer
  let site = null;       // /api/v1/insights
  let basePlot = null, peakPlot = null;

  // --- The headline --------------------------------------------------------------------
  function tile(cls, label, value, notes) {
    const box = el("div", "glance-tile " + cls);
    const head = el("div", "glance-label");
    setText(head, label);
    box.append(head, el("div", "glance-value", value));
    for (const note of notes.filter(Boolean)) box.append(el("div", "glance-note", note));
    return box;
  }
  // "▲ 12 % vs last month": this month to date against another month to the same point.
  function change(now, then, key) {
    if (!known(now) || !known(then) || !(then > 0)) return null;
    const pct = 100 * (now - then) / then;
    const arrow = pct > 0.5 ? "▲" : pct < -0.5 ? "▼" : "＝";
    return arrow + "\u00a0" + (arrow === "＝" ? number(0, 0) : (pct > 0 ? "+" : "") + number(pct, 0)) + "\u00a0% " + t(key);
  }
  function tiles(watts, today, month, currency) {
    const priced = (kwhText, cost) => kwhText + (currency && known(cost) ? " · " + money(currency, cost) : "");
    const out = [tile("power", t("powerNow"), known(watts) ? power(watts) : "–", [])];
    if (today) out.push(tile("today", t("today"), priced(known(today.kwh) ? kwh(today.kwh) : "–", today.cost), []));
    if (month) {
      out.push(tile("month", t("month"), priced(known(month.kwh_to_date) ? kwh(month.kwh_to_date) : "–", month.cost_to_date),
        [change(month.kwh_to_date, month.last_month_kwh_to_date, "lastMonth"),
          change(month.kwh_to_date, month.last_year_kwh_to_date, "lastYear")]));
      if (known(month.projected_kwh)) {
        out.push(tile("projected", t("projected"), "≈\u00a0" + priced(kwh(month.projected_kwh), month.projected_cost),
          [month.history_days ? t("basedOn", { n: number(month.history_days, 0) }) : null]));
      }
    }
    return out;
  }
  // Power now from the live feed: the primary meter's reading, another meter's entry in the
  // meters list; none before its first message or once it went off-line.
  function wattsOf(id) {
    if (!meterShowsValues(id)) return null;
    if (lastLive && lastLive.meter === id && lastLive.readings) return lastLive.readings.Watt;
    const m = meterEntries.get(id);
    return m ? m.Watt : null;
  }
  function siteWatts() {
    const ids = [...meterEntries.keys()].filter(meterShowsValues);
    return ids.length ? ids.reduce((a, id) => a + (known(wattsOf(id)) ? wattsOf(id) : 0), 0) : null;
  }
  function showHeadline() {
    const box = document.getElementById("headline");
    const id = pickedMeter();
    const entry = site && site.meters ? site.meters.find((m) => m.meter === id) : null;
    // A meter's entry in the site's answer leaves the standing charge out, as its row in Costs
    // per meter does; the only meter of a site is the whole bill: the site's sums, standing
    // charge in.
    const alone = entry && site.meters.length === 1 && site.site;
    const figures = alone ? { today: site.site.today, month: { ...entry.month, ...site.site.month } }
      : entry || (insights && insights.meter === id ? insights : null);
    // Headings take the language even while hidden.
    setMeterHeading(box.querySelector("h2"), t("glance"));
    box.hidden = !id;
    if (!id) return;
    const currency = (site && site.currency) || (insights && insights.currency) || null;
    const meterBox = document.getElementById("glance-meter");
    meterBox.replaceChildren(...tiles(wattsOf(id), figures && figures.today, figures && figures.month, currency));
    meterBox.dataset.meter = id;
    meterBox.dataset.projected = figures && figures.month && known(figures.month.projected_kwh) ? String(figures.month.projected_kwh) : "";
    const siteBox = document.getElementById("glance-site");
    const many = site && site.meters && site.meters.length > 1 && site.site;
    siteBox.hidden = !many;
    if (many) {
      const head = el("h3", "glance-heading");
      setText(head, t("site"));
      siteBox.replaceChildren(head, el("div", "glance-tiles"));
      siteBox.lastChild.replaceChildren(...tiles(siteWatts(), site.site.today, site.site.month, currency));
    }
  }
  // Only the power tiles move with the feed, every 2 s at most.
  function showPower() {
    const id = pickedMeter();
    const meterTile = document.querySelector("#glance-meter .power .glance-value");
    if (meterTile) meterTile.textContent = known(wattsOf(id)) ? power(wattsOf(id)) : "–";
    const siteTile = document.querySelector("#glance-site .power .glance-value");
    if (siteTile) siteTile.textContent = known(siteWatts()) ? power(siteWatts()) : "–";
  }

  // --- Always-on load --------------------------------------------------------------------
  function showBaseLoad(i) {
    const box = document.getElementById("base-load");
    const b = i && i.base_load;
    setMeterHeading(box.querySelector("h2"), t("baseHeading"));
    box.hidden = !b || !known(b.watts);
    if (box.hidden) return;
    const parts = [t("baseNow", { w: power(b.watts) }) + (b.from_minutes ? "" : " (" + t("fromHours") + ")")];
    if (i.currency && known(b.year_cost)) parts.push(t("baseYear", { money: money(i.currency, b.year_cost) }));
    if (known(b.night_kwh_above_base)) parts.push(t("night", { kwh: number(b.night_kwh_above_base, 2) + "\u00a0kWh" }));
    box.querySelector(".base-figures").textContent = parts.join(" · ");
    const days = (b.days || []).filter((d) => known(d.watts));
    box.dataset.days = String(days.length);
    const watts = days.map((d) => d.watts);
    box.querySelector(".base-summary").textContent = days.length
      ? t("baseSummary", { n: number(days.length, 0), low: power(Math.min(...watts)), high: power(Math.max(...watts)) }) : "";
    const plotBox = box.querySelector(".base-plot");
    if (basePlot) basePlot.destroy();
    basePlot = new uPlot({ width: Math.max(plotBox.clientWidth, 200), height: 140, tzDate: recorderChartDate,
      scales: { x: { time: true, range: timeRange(86400) }, y: { range: (u, min, max) => [0, max > 0 ? max * 1.1 : 1] } },
      axes: [timeAxis(), chartAxis({ label: "W", size: 50, values: (u, ticks) => ticks.map((v) => formatNumber(v, 0)) })],
      series: [{ value: timeLegend }, { label: "W", stroke: "#1e5bd6", width: 1.5, fill: "#1e5bd622" }],
      legend: { show: false } }, [days.map((d) => d.day), watts], plotBox);
  }

  // --- Peak demand -----------------------------------------------------------------------
  function showPeaks(i) {
    const box = document.getElementById("peaks");
    const p = i && i.peak;
    setMeterHeading(box.querySelector("h2"), t("peakHeading"));
    box.hidden = !p || (!p.today && !p.month);
    if (box.hidden) return;
    const when = (peak, options) => recorderTimeText(peak.start, options);
    const parts = [];
    if (p.today) parts.push(t("peakToday", { kw: kw(p.today.watts), time: when(p.today, { hour: "2-digit", minute: "2-digit" }) }));
    if (p.month) parts.push(t("peakMonth", { kw: kw(p.month.watts), time: when(p.month, { month: "short", day: "numeric", hour: "2-digit", minute: "2-digit" }) }));
    if (i.currency && known(p.demand_charge)) parts.push(t("demandCharge", { money: money(i.currency, p.demand_charge) }));
    box.querySelector(".peak-figures").textContent = parts.join(" · ");
    const months = (p.months || []).filter((m) => known(m.watts));
    box.dataset.months = String(months.length);
    const top = months.reduce((a, m) => (!a || m.watts > a.watts ? m : a), null);
    const monthName = (m, long) => recorderTimeText(m.month, long ? { year: "numeric", month: "long" } : { month: "short" });
    box.querySelector(".peak-summary").textContent = top
      ? t("peakSummary", { n: number(months.length, 0), kw: kw(top.watts), month: monthName(top, true) }) : "";
    const plotBox = box.querySelector(".peak-plot");
    if (peakPlot) peakPlot.destroy();
    const x = months.map((_, k) => k);
    peakPlot = new uPlot({ width: Math.max(plotBox.clientWidth, 200), height: 140,
      scales: { x: { time: false, range: [-0.5, x.length - 0.5] }, y: { range: (u, min, max) => [0, max > 0 ? max * 1.1 : 1] } },
      axes: [chartAxis({ values: (u, ticks) => ticks.map((k) => (Number.isInteger(k) && months[k] ? monthName(months[k], false) : "")) }),
        chartAxis({ label: "kW", size: 50, values: (u, ticks) => ticks.map((v) => formatNumber(v, decimalsOf(ticks))) })],
      series: [{}, { label: "kW", fill: "#9a4a00", stroke: "#9a4a00", paths: uPlot.paths.bars({ size: [0.6, 40] }), points: { show: false } }],
      legend: { show: false }, cursor: { show: false } }, [x, months.map((m) => m.watts / 1000)], plotBox);
  }

  // --- Phase advice ----------------------------------------------------------------------
  // Shown for a meter with three phases in use (two of them at least carry power) and hours
  // the advice counted.
  function showPhases(i) {
    const box = document.getElementById("phase-advice");
    const p = i && i.phases;
    const means = p && Array.isArray(p.mean_w) && p.mean_w.length === 3 && p.mean_w.every(known) ? p.mean_w : null;
    setMeterHeading(box.querySelector("h2"), t("phaseHeading"));
    box.hidden = !means || !(p.hours > 0) || !p.heaviest || means.filter((w) => w > 0).length < 2;
    if (box.hidden) return;
    const vars = { kw: number(p.move_w / 1000, 1), from: p.heaviest, to: p.lightest, limit: number(p.limit_percent, 0),
      share: number(100 * p.share_above_limit, 0) };
    box.querySelector(".phase-advice-text").textContent = t(p.move_w > 0 ? "move" : "balanced", vars);
    const top = Math.max(...means, 1e-9);
    box.querySelector(".phase-means").replaceChildren(...means.map((w, k) => {
      const line = el("div", "bar-line");
      const bar = el("span", "bar");
      bar.style.width = Math.round(100 * w / top) + "%";
      line.append(bar, el("span", "bar-text", "L" + (k + 1) + " " + t("meanPower") + ": " + power(w)));
      return line;
    }));
  }

  function showAll() {
    showHeadline();
    showBaseLoad(insights);
    showPeaks(insights);
    showPhases(insights);
  }
  async function loadMeter() {
    const id = pickedMeter();
    if (!id) return;
    const answer = await archiveJson("/api/v1/meters/" + encodeURIComponent(id) + "/insights", () => id === pickedMeter());
    // An answer for a meter no longer picked is dropped: the newer one follows.
    if (id !== pickedMeter()) return;
    insights = answer;
    document.getElementById("headline").dataset.insightsMeter = insights ? id : "";
    showAll();
    document.dispatchEvent(new CustomEvent("tev-insights", { detail: insights || {} }));
  }
  async function loadSite() {
    site = await archiveJson("/api/v1/insights");
    showHeadline();
  }
  const later = (f) => () => f().catch(() => {});

  document.addEventListener("DOMContentLoaded", () => {
    showAll();
    document.addEventListener("tev-meter", () => { showAll(); later(loadMeter)(); });
    document.addEventListener("tev-meters", later(loadSite));
    document.addEventListener("tev-names", showAll);
    document.addEventListener("tev-language", showAll);
    document.addEventListener("tev-refresh", () => { later(loadMeter)(); later(loadSite)(); });
    document.addEventListener("tev-new-run", later(loadMeter));
    DARK.addEventListener("change", showAll);
    if (pickedMeter()) later(loadMeter)();
    later(loadSite)();
    setInterval(() => { if (!document.hidden) later(loadSite)(); }, 60000);
    setInterval(() => { if (!document.hidden) later(loadMeter)(); }, 300000);
    setInterval(() => { if (!document.hidden) showPower(); }, 2000);
    for (const [id, plot] of [["base-load", () => basePlot], ["peaks", () => peakPlot]]) {
      const plotBox = document.querySelector("#" + id + " [aria-hidden]");
      new ResizeObserver(() => { const p = plot(); if (p) p.setSize({ width: Math.max(plotBox.clientWidth, 200), height: p.height }); })
        .observe(plotBox);
    }
  });
})();
