// The cost of the meter picked (else the primary meter) today, this week and this month under
// the live readings, and every archived meter's energy and cost over the same periods, shown
// when the folder has a tariff; /api/v1/costs and /api/v1/costs/meters are asked once a minute
// and whenever another meter is picked.
"use strict";

(() => {
  const COST_TEXTS = {
    english: {
      today: "Cost today", week: "this week", month: "this month", perMeter: "Costs per meter",
      columns: ["ID", "kWh today", "Cost today", "kWh this week", "Cost this week", "kWh this month",
        "Cost this month"],
    },
    bilingual: {
      today: "今日費用 Cost today", week: "本週 this week", month: "本月 this month",
      perMeter: "各電錶費用 Costs per meter", site: "全場 Site (all meters)", sum: "各電錶合計 Sum of the meters",
      standing: "今日基本費 standing charge today", sideBySide: "各電錶用電 Energy per meter", kwhToday: "今日 today",
      kwhWeek: "本週 this week",
      columns: ["ID", "今日 kWh today", "今日費用 Cost today", "本週 kWh this week",
        "本週費用 Cost this week", "本月 kWh this month", "本月費用 Cost this month"],
    },
  };
  function t(key) { return textIn(COST_TEXTS, key); }
  function cell(text) {
    const td = document.createElement("td");
    td.textContent = text;
    return td;
  }
  let primary = null;
  let perMeter = null;
  // The primary meter's line is /api/v1/costs (as the tray and the broker show it); another
  // meter's comes from its entry in /api/v1/costs/meters.
  function showLine() {
    const box = document.getElementById("costs");
    const id = pickedMeter();
    const entry = perMeter && perMeter.currency !== null && id !== meterPicker.primaryId
      ? perMeter.meters.find((m) => m.id === id) : null;
    const c = entry ? { currency: perMeter.currency, today: entry.today, week: entry.week, month: entry.month } : primary;
    box.hidden = !c || c.currency === null;
    if (box.hidden) return;
    const money = (v) => c.currency + "\u00a0" + formatNumber(v, 2);
    box.dataset.meter = id;
    box.textContent = t("today") + " (" + meterLabel(id) + "): " + money(c.today) + " · " + t("week") + ": " +
      money(c.week) + " · " + t("month") + ": " + money(c.month);
  }
  async function refreshPrimary() {
    const r = await fetch("/api/v1/costs", { cache: "no-store" });
    if (!r.ok) return;
    primary = await r.json();
    showLine();
  }
  // Hidden without a tariff, and when the archive is off (404).
  function showMeters() {
    const section = document.getElementById("meter-costs-section");
    const c = perMeter || { currency: null };
    section.hidden = c.currency === null || c.meters.length === 0;
    if (section.hidden) return;
    setText(document.getElementById("meter-costs-heading"), t("perMeter"));
    const head = document.querySelector("#meter-costs thead tr");
    head.replaceChildren(...t("columns").map((name) => {
      const th = document.createElement("th");
      setText(th, name);
      return th;
    }));
    const money = (v) => (v === null || v === undefined ? "–" : c.currency + "\u00a0" + formatNumber(v, 2));
    const energy = (v) => (v === null || v === undefined ? "–" : formatNumber(v, 2));
    const picked = pickedMeter();
    const row = (first, m) => {
      const tr = document.createElement("tr");
      tr.append(first, cell(energy(m.kwh_today)), cell(money(m.today)), cell(energy(m.kwh_week)),
        cell(money(m.week)), cell(energy(m.kwh_month)), cell(money(m.month)));
      return tr;
    };
    const rows = c.meters.map((m) => {
      const id = cell("");
      if (meterPicker.names.get(m.id)) id.append(el("span", "meter-name", meterPicker.names.get(m.id)), " ");
      id.append(m.id);
      const tr = row(id, m);
      if (m.id === picked) { tr.className = "picked"; tr.setAttribute("aria-current", "true"); }
      return tr;
    });
    // The site: the server's total (all meters' energy, one standing charge), else the sum of
    // the rows, each of which then carries a standing charge of its own.
    const sum = (k) => c.meters.reduce((a, m) => a + (typeof m[k] === "number" ? m[k] : 0), 0);
    const site = c.site || Object.fromEntries(["kwh_today", "today", "kwh_week", "week", "kwh_month", "month"].map((k) => [k, sum(k)]));
    const siteHead = document.createElement("th");
    siteHead.scope = "row";
    setText(siteHead, t(c.site ? "site" : "sum"));
    const siteRow = row(siteHead, site);
    siteRow.className = "site";
    document.querySelector("#meter-costs tbody").replaceChildren(...rows, siteRow);
    const standing = document.getElementById("meter-costs-standing");
    standing.textContent = typeof c.standing_today === "number" ? t("standing") + ": " + money(c.standing_today) : "";
    showSideBySide(c);
  }
  // Today's and this week's energy of each meter as grouped bars on one scale.
  function showSideBySide(c) {
    const box = document.getElementById("meter-bars");
    const top = Math.max(1e-9, ...c.meters.map((m) => Math.max(m.kwh_today || 0, m.kwh_week || 0)));
    setText(document.getElementById("meter-bars-heading"), t("sideBySide"));
    box.replaceChildren(...c.meters.map((m) => {
      const group = el("div", "bar-group");
      group.append(el("div", "bar-meter", meterLabel(m.id)));
      for (const [key, label] of [["kwh_today", "kwhToday"], ["kwh_week", "kwhWeek"]]) {
        const line = el("div", "bar-line " + key);
        const bar = el("span", "bar");
        bar.style.width = Math.round(100 * (m[key] || 0) / top) + "%";
        line.append(bar, el("span", "bar-text", t(label)));
        line.lastChild.append(": " + (typeof m[key] === "number" ? formatNumber(m[key], 2) + "\u00a0kWh" : "–"));
        group.append(line);
      }
      return group;
    }));
  }
  async function refreshMeters() {
    const r = await fetch("/api/v1/costs/meters", { cache: "no-store" });
    perMeter = r.ok ? await r.json() : { currency: null };
    const primaryEntry = (perMeter.meters || []).find((m) => m.id === meterPicker.primaryId);
    learnPhaseEnergy(primaryEntry ? primaryEntry.kwh_today_phases : null);
    showMeters();
    showLine();
  }
  function refresh() {
    refreshPrimary().catch(() => {});
    refreshMeters().catch(() => {});
  }
  function redraw() { showLine(); showMeters(); }
  document.addEventListener("DOMContentLoaded", () => {
    refresh();
    setInterval(() => { if (!document.hidden) refresh(); }, 60000);
    document.addEventListener("tev-refresh", refresh);
    document.addEventListener("tev-meter", redraw);
    document.addEventListener("tev-names", redraw);
    document.addEventListener("tev-language", redraw);
  });
})();
