// Today's, this week's and this month's cost of the primary meter's energy, and every archived
// meter's energy and cost over the same periods, shown when the folder has a tariff;
// /api/v1/costs and /api/v1/costs/meters are asked once a minute.
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
      perMeter: "各電錶費用 Costs per meter",
      columns: ["ID", "今日 kWh today", "今日費用 Cost today", "本週 kWh this week",
        "本週費用 Cost this week", "本月 kWh this month", "本月費用 Cost this month"],
    },
  };
  function t(key) {
    const mode = typeof language === "string" && COST_TEXTS[language] ? language : "english";
    return COST_TEXTS[mode][key];
  }
  function cell(text) {
    const td = document.createElement("td");
    td.textContent = text;
    return td;
  }
  async function refreshPrimary() {
    const r = await fetch("/api/v1/costs", { cache: "no-store" });
    if (!r.ok) return;
    const c = await r.json();
    const box = document.getElementById("costs");
    box.hidden = c.currency === null;
    if (c.currency === null) return;
    const money = (v) => c.currency + "\u00a0" + Number(v).toFixed(2);
    box.textContent = t("today") + ": " + money(c.today) + " · " + t("week") + ": " + money(c.week) +
      " · " + t("month") + ": " + money(c.month);
  }
  // Hidden without a tariff, and when the archive is off (404).
  async function refreshMeters() {
    const section = document.getElementById("meter-costs-section");
    const r = await fetch("/api/v1/costs/meters", { cache: "no-store" });
    const c = r.ok ? await r.json() : { currency: null };
    section.hidden = c.currency === null || c.meters.length === 0;
    if (section.hidden) return;
    document.getElementById("meter-costs-heading").textContent = t("perMeter");
    const head = document.querySelector("#meter-costs thead tr");
    head.replaceChildren(...t("columns").map((name) => {
      const th = document.createElement("th");
      th.textContent = name;
      return th;
    }));
    const money = (v) => c.currency + "\u00a0" + Number(v).toFixed(2);
    const energy = (v) => Number(v).toFixed(2);
    document.querySelector("#meter-costs tbody").replaceChildren(...c.meters.map((m) => {
      const tr = document.createElement("tr");
      tr.append(cell(m.id), cell(energy(m.kwh_today)), cell(money(m.today)), cell(energy(m.kwh_week)),
        cell(money(m.week)), cell(energy(m.kwh_month)), cell(money(m.month)));
      return tr;
    }));
  }
  function refresh() {
    refreshPrimary().catch(() => {});
    refreshMeters().catch(() => {});
  }
  document.addEventListener("DOMContentLoaded", () => {
    refresh();
    setInterval(refresh, 60000);
  });
})();
