// Alerts on the dashboard: a banner while any alert runs, and the recent starts and ends.
// Fed from /api/v1/alerts at load and from the "alerts" member of the live push.
"use strict";

(() => {
  const ALERT_TEXTS = {
    english: { heading: "Alerts", none: "No alert so far", start: "start", end: "end", running: "Alert",
      acknowledge: "Acknowledge", acknowledged: "acknowledged" },
    bilingual: { heading: "警報 Alerts", none: "尚無警報 No alert so far", start: "開始 start", end: "結束 end", running: "警報 Alert",
      acknowledge: "確認 Acknowledge", acknowledged: "已確認 acknowledged" },
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

  // A running alert acknowledged in this browser leaves the banner (its tile stays marked);
  // the acknowledgement is kept in localStorage, by meter, rule, phase and start.
  const ACK_KEY = "tev3p-dashboard-acknowledged";
  function alertKey(meter, a) { return [meter, a.rule, a.phase, a.since].join("|"); }
  function acknowledged() {
    try { return new Set(JSON.parse(localStorage.getItem(ACK_KEY) || "[]")); } catch (e) { return new Set(); }
  }
  function acknowledge(key, running) {
    // Only running alerts are kept: the list never grows past them.
    const keep = [...acknowledged()].filter((k) => running.has(k));
    keep.push(key);
    try { localStorage.setItem(ACK_KEY, JSON.stringify(keep)); } catch (e) { /* a browser that keeps nothing */ }
    if (shown) show(shown);
  }
  // The tiles an alert judges: a phase's voltage or current, the demand's power, the imbalance
  // of the currents.
  function quantityOf(a) {
    if (a.rule === "voltage" || a.rule === "phase_loss") return a.phase > 0 ? ["V" + a.phase] : ["V1", "V2", "V3"];
    if (a.rule === "current") return a.phase > 0 ? ["A" + a.phase] : ["Amp"];
    if (a.rule === "demand") return ["Watt"];
    if (a.rule === "imbalance") return ["A1", "A2", "A3"];
    return [];
  }
  let shown = null;
  function show(data) {
    shown = data;
    const banner = document.getElementById("alert-banner");
    const acked = acknowledged();
    const running = new Set();
    const items = [];
    const primary = typeof meterPicker === "object" ? meterPicker.primaryId : "";
    const marked = new Set();
    Object.keys(data.active || {}).forEach((meter) => {
      data.active[meter].forEach((a) => {
        const key = alertKey(meter, a);
        running.add(key);
        if (meter === primary) quantityOf(a).forEach((q) => marked.add(q));
        if (acked.has(key)) return;
        const item = el("span", "alert-item", meterLabel(meter) + ": " + what(a) + " ");
        const b = el("button", "acknowledge", t("acknowledge"));
        b.type = "button";
        b.addEventListener("click", () => acknowledge(key, running));
        item.append(b);
        items.push(item);
      });
    });
    banner.hidden = items.length === 0;
    banner.replaceChildren();
    if (items.length) {
      banner.append(t("running") + " — ");
      items.forEach((item, i) => { if (i) banner.append("; "); banner.append(item); });
    }
    const ackedRunning = [...running].filter((k) => acked.has(k)).length;
    document.getElementById("alerts-acknowledged").textContent = ackedRunning ? ackedRunning + " " + t("acknowledged") : "";
    if (typeof markAlarms === "function") markAlarms(marked);

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
      li.textContent = recorderTimeText(Date.parse(e.time) / 1000) + " " + meterLabel(e.meter) + " " + t(e.event) + " " + what(e);
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
    document.addEventListener("tev-meter", () => { if (shown) show(shown); });
    document.addEventListener("tev-names", () => { if (shown) show(shown); });
    document.addEventListener("tev-refresh", () => load().catch(() => {}));
  });
})();
