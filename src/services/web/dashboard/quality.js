// The weekly voltage quality of the primary meter or the picked one, for an ISO week: per phase
// the share of 10-minute means within ±10 % of nominal (95 % of the week passes, once 75 % of the
// week's windows were seen), the coverage, dip and swell minutes, the extremes, the windows the
// phase was dead in, and the week's worst unbalance over windows with three live phases
// (/api/v1/meters/<id>/quality).
"use strict";

(() => {
  const QUALITY_TEXTS = {
    english: { heading: "Voltage quality", week: "ISO week", csv: "Quality CSV",
      columns: ["Phase", "Within ±10 %", "Coverage", "Dip minutes", "Swell minutes", "Lowest", "Highest", "Verdict"],
      verdicts: { pass: "pass", fail: "fail", "not enough data": "not enough data", "no data": "no data" },
      dead: "dead phase", windows: "10-minute windows", nominal: "nominal", assumed: "assumed from the readings; set [quality] voltage_nominal",
      unbalance: "worst 10-minute unbalance", minutes: "minutes" },
    bilingual: { heading: "電壓品質 Voltage quality", week: "週次 ISO week", csv: "品質 Quality CSV",
      columns: ["相 Phase", "±10 % 內 Within ±10 %", "涵蓋 Coverage", "驟降分鐘 Dip minutes", "驟升分鐘 Swell minutes",
        "最低 Lowest", "最高 Highest", "判定 Verdict"],
      verdicts: { pass: "合格 pass", fail: "不合格 fail", "not enough data": "資料不足 not enough data",
        "no data": "無資料 no data" },
      dead: "斷相 dead phase", windows: "10分鐘區間 10-minute windows", nominal: "標稱 nominal",
      assumed: "由讀數推定 assumed from the readings; set [quality] voltage_nominal",
      unbalance: "最差10分鐘不平衡 worst 10-minute unbalance", minutes: "分鐘 minutes" },
  };
  function t(key) { return textIn(QUALITY_TEXTS, key); }
  function number(v, digits) {
    return Number(v).toLocaleString(LOCALES, { minimumFractionDigits: digits, maximumFractionDigits: digits });
  }
  // The ISO week of a date, as <input type="week"> writes it.
  function isoWeek(date) {
    const d = new Date(Date.UTC(date.getFullYear(), date.getMonth(), date.getDate()));
    const day = d.getUTCDay() || 7;
    d.setUTCDate(d.getUTCDate() + 4 - day);
    const yearStart = new Date(Date.UTC(d.getUTCFullYear(), 0, 1));
    const week = Math.ceil(((d - yearStart) / 86400000 + 1) / 7);
    return d.getUTCFullYear() + "-W" + String(week).padStart(2, "0");
  }

  let shown = null;
  function show(q) {
    shown = q;
    const box = document.getElementById("quality");
    box.dataset.week = q.week;
    document.querySelector("#quality thead tr").replaceChildren(...t("columns").map((c) => { const th = el("th"); setText(th, c); return th; }));
    document.querySelector("#quality tbody").replaceChildren(...q.phases.map((p) => {
      const tr = el("tr", "verdict-" + p.verdict.replaceAll(" ", "-"));
      const none = p.windows === 0;
      const volts = (v) => (v === null ? "–" : number(v, 1) + "\u00a0V");
      // A dead phase is named beside the verdict, with the windows it was dead in.
      const verdict = t("verdicts")[p.verdict] + (p.dead_windows > 0
        ? " · " + t("dead") + " (" + number(p.dead_windows, 0) + " " + t("windows") + ")" : "");
      if (p.dead_windows > 0) tr.classList.add("phase-dead");
      tr.append(el("td", "", p.phase), el("td", "", none ? "–" : number(p.share, 1) + "\u00a0%"),
        el("td", "", number(p.coverage, 1) + "\u00a0%"),
        el("td", "", number(p.dip_minutes, 0)), el("td", "", number(p.swell_minutes, 0)),
        el("td", "", volts(p.lowest_v)), el("td", "", volts(p.highest_v)), el("td", "verdict", verdict));
      return tr;
    }));
    const worst = q.worst_unbalance === null ? "–" : number(q.worst_unbalance, 2) + "\u00a0% (" +
      recorderTimeText(q.worst_unbalance_at) + ")";
    box.querySelector(".quality-summary").textContent = t("nominal") + " " + number(q.nominal_v, 0) + "\u00a0V" +
      (q.nominal_assumed ? " (" + t("assumed") + ")" : "") + " · " +
      number(q.minutes, 0) + " " + t("minutes") + " · " + t("unbalance") + ": " + worst;
    const csv = box.querySelector("a.quality-csv");
    csv.textContent = t("csv");
    csv.href = "/api/v1/meters/" + encodeURIComponent(q.meter) + "/quality.csv?week=" + q.week + exportQuery(false);
  }

  async function load() {
    const id = pickedMeter();
    const input = document.getElementById("quality-week");
    if (!id || !input.value) return;
    const r = await fetch("/api/v1/meters/" + encodeURIComponent(id) + "/quality?week=" + input.value, { cache: "no-store" });
    if (id !== pickedMeter()) return;
    const box = document.getElementById("quality");
    box.dataset.meter = id;
    setMeterHeading(box.querySelector("h2"), t("heading"));
    box.hidden = !r.ok;
    if (r.ok) show(await r.json());
  }

  document.addEventListener("DOMContentLoaded", () => {
    const input = document.getElementById("quality-week");
    input.value = isoWeek(new Date());
    const texts = () => {
      setMeterHeading(document.querySelector("#quality h2"), t("heading"));
      document.querySelector("label[for=quality-week]").textContent = t("week") + " ";
    };
    texts();
    document.addEventListener("tev-language", () => { texts(); if (shown) show(shown); });
    document.addEventListener("tev-exports", () => { if (shown) show(shown); });
    input.addEventListener("change", () => load().catch(() => {}));
    document.addEventListener("tev-meter", () => load().catch(() => {}));
    document.addEventListener("tev-names", texts);
    document.addEventListener("tev-new-run", () => load().catch(() => {}));
    document.addEventListener("tev-refresh", () => load().catch(() => {}));
    if (pickedMeter()) load().catch(() => {});
  });
})();
