// Alerts on the dashboard: a banner while any alert runs, and the recent starts and ends.
// Fed from /api/v1/alerts at load and from the "alerts" member of the live push.
"use strict";

(() => {
  const ALERT_TEXTS = {
    english: { heading: "Alerts", none: "No alert so far", start: "start", end: "end", running: "Alert" },
    bilingual: { heading: "警報 Alerts", none: "尚無警報 No alert so far", start: "開始 start", end: "結束 end", running: "警報 Alert" },
  };
  const UNIT = { voltage: "V", phase_loss: "V", current: "A", demand: "kW", imbalance: "%" };
  // Values at the precision the meter shows them; rule ids read as words.
  const DIGITS = { voltage: 1, phase_loss: 1, current: 2, demand: 2, imbalance: 1 };
  const RULE_WORDS = {
    english: { voltage: "voltage", phase_loss: "phase loss", current: "current", demand: "demand", imbalance: "imbalance" },
    bilingual: { voltage: "電壓 voltage", phase_loss: "缺相 phase loss", current: "電流 current", demand: "需量 demand",
      imbalance: "不平衡 imbalance" },
  };
  function rounded(rule, v) {
    if (typeof v !== "number") return String(v);
    const d = DIGITS[rule] === undefined ? 2 : DIGITS[rule];
    return v.toLocaleString(LOCALES, { minimumFractionDigits: d, maximumFractionDigits: d });
  }

  function t(key) { return textIn(ALERT_TEXTS, key); }
  function what(a) {
    const phase = a.phase > 0 ? " L" + a.phase : "";
    const unit = UNIT[a.rule] || "";
    const name = textIn(RULE_WORDS, a.rule) || String(a.rule).replace(/_/g, " ");
    return name + phase + " " + rounded(a.rule, a.value) + "\u00a0" + unit + " (" +
      rounded(a.rule, a.threshold) + "\u00a0" + unit + ")";
  }

  let shown = null;
  function show(data) {
    shown = data;
    const banner = document.getElementById("alert-banner");
    const running = [];
    Object.keys(data.active || {}).forEach((meter) => {
      data.active[meter].forEach((a) => running.push(meter + ": " + what(a)));
    });
    banner.hidden = running.length === 0;
    banner.textContent = running.length ? t("running") + " — " + running.join("; ") : "";

    setText(document.getElementById("alerts-heading"), t("heading"));
    const list = document.getElementById("alerts-history");
    list.replaceChildren();
    const history = (data.history || []).slice().reverse();
    if (history.length === 0) {
      const li = document.createElement("li");
      li.textContent = t("none");
      list.appendChild(li);
    }
    history.forEach((e) => {
      const li = document.createElement("li");
      li.className = e.event === "start" ? "alert-start" : "alert-end";
      li.textContent = recorderTimeText(Date.parse(e.time) / 1000) + " " + e.meter + " " + t(e.event) + " " + what(e);
      list.appendChild(li);
    });
  }

  async function load() {
    const r = await fetch("/api/v1/alerts", { cache: "no-store" });
    if (r.ok) show(await r.json());
  }

  window.tevAlerts = { show };
  document.addEventListener("DOMContentLoaded", () => {
    load().catch(() => {});
    document.addEventListener("tev-language", () => { if (shown) show(shown); });
  });
})();
