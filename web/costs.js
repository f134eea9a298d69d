// Today's, this week's and this month's cost of the primary meter's energy, shown when the
// folder has a tariff; /api/v1/costs is asked once a minute.
"use strict";

(() => {
  const COST_TEXTS = {
    english: { today: "Cost today", week: "this week", month: "this month" },
    bilingual: { today: "今日費用 Cost today", week: "本週 this week", month: "本月 this month" },
  };
  function t(key) {
    const mode = typeof language === "string" && COST_TEXTS[language] ? language : "english";
    return COST_TEXTS[mode][key];
  }
  async function refresh() {
    const r = await fetch("/api/v1/costs", { cache: "no-store" });
    if (!r.ok) return;
    const c = await r.json();
    const box = document.getElementById("costs");
    box.hidden = c.currency === null;
    if (c.currency === null) return;
    const money = (v) => c.currency + " " + Number(v).toFixed(2);
    box.textContent = t("today") + ": " + money(c.today) + " · " + t("week") + ": " + money(c.week) +
      " · " + t("month") + ": " + money(c.month);
  }
  document.addEventListener("DOMContentLoaded", () => {
    refresh().catch(() => {});
    setInterval(() => refresh().catch(() => {}), 60000);
  });
})();
