// The TEV3P dashboard: live readings over a WebSocket, two charts like CH1 and CH2, the
// meters table, records downloads and the event log. Everything comes from /api/v1/.
"use strict";

const QUANTITIES = ["V1", "V2", "V3", "Amp", "A1", "A2", "A3", "Watt", "W1", "W2", "W3", "KWh", "K1", "K2", "K3"];
const UNITS = { V: "V", A: "A", W: "W", K: "kWh" };
const SCALES = ["min", "m5", "m10", "hour", "day", "week", "month"];

// English, and the bilingual form the program shows in its bilingual mode.
const TEXTS = {
  english: {
    title: "TEV3P power monitor", live: "Live readings", meters: "Meters", records: "Records",
    log: "Event log", ch1: "CH1", ch2: "CH2", reset: "Reset zoom", linkOn: "Link on",
    linkOff: "Link off", charts: "Charts", offline: "Off-line: no meter is sending", original: "Records CSV",
    tidy: "Tidy CSV", exportFrom: "Archive CSVs from", exportTo: "to", bom: "For spreadsheets (BOM)", scales: ["Minute", "5-Minute", "10-Minute", "Hour", "Day", "Week", "Month"],
    columns: ["ID", "IP", "Last message", "V1", "V2", "V3", "A1", "A2", "A3", "Watt", "Day kWh", "State"],
    online: "on-line", offlineState: "off-line", lost: "Connection lost — retrying",
    stale: "stale", offlineSince: "off-line since", noData: "no data yet", updatedAgo: "updated {n} ago",
    linkWaiting: "Link waiting", skip: "Skip to the readings", timeScale: "time scale", meter: "meter",
    latest: "latest", lowest: "lowest", highest: "highest", phaseToday: "L{n} today", outOfBand: "out of band",
    tapHint: "value under the finger",
  },
  bilingual: {
    title: "TEV3P 電力監測 power monitor", live: "即時讀數 Live readings", meters: "電錶 Meters",
    records: "記錄 Records", log: "事件記錄 Event log", ch1: "CH1", ch2: "CH2", reset: "復原 Reset zoom",
    linkOn: "連線 Link on", linkOff: "離線 Link off", charts: "圖表 Charts", offline: "離線 Off-line: no meter is sending",
    original: "記錄 Records CSV", tidy: "整理 Tidy CSV", exportFrom: "存檔起 Archive CSVs from", exportTo: "至 to",
    bom: "試算表用 For spreadsheets (BOM)",
    scales: ["分 Minute", "5分 5-Minute", "10分 10-Minute", "時 Hour", "日 Day", "週 Week", "月 Month"],
    columns: ["ID", "IP", "最後 Last message", "V1", "V2", "V3", "A1", "A2", "A3", "Watt", "日 Day kWh", "狀態 State"],
    online: "在線 on-line", offlineState: "離線 off-line", lost: "連線中斷，重試中 Connection lost — retrying",
    stale: "逾時 stale", offlineSince: "離線自 off-line since", noData: "尚無資料 no data yet", updatedAgo: "更新於 {n}前 updated {n} ago", linkWaiting: "等候資料 Link waiting",
    skip: "跳至讀數 Skip to the readings", timeScale: "時間刻度 time scale", meter: "電錶 meter",
    latest: "最新 latest", lowest: "最低 lowest", highest: "最高 highest", phaseToday: "L{n} 今日 today",
    outOfBand: "超出範圍 out of band", tapHint: "觸點數值 value under the finger",
  },
  // Where the bilingual text's Chinese half does not stand alone.
  chinese: { title: "TEV3P 電力監測", phaseToday: "L{n} 今日" },
};

// The page's language: the one picked with the switch (kept in this browser's localStorage,
// never sent to the server), else the program's language mode from /api/v1/live. Chinese
// shows the Chinese half of each bilingual text.
const LANGUAGES = ["english", "bilingual", "chinese"];
const LANGUAGE_KEY = "tev3p-dashboard-language";
function storedLanguage() {
  try {
    const l = localStorage.getItem(LANGUAGE_KEY);
    return LANGUAGES.includes(l) ? l : null;
  } catch (e) { return null; }
}
let languageChosen = storedLanguage();
let language = languageChosen || "english";
// Dates and numbers follow the browser's languages, whatever language the texts are in.
const LOCALES = navigator.languages && navigator.languages.length ? [...navigator.languages] : undefined;
// The first day of every week the page asks for (/api/v1/live week_start), Monday by default.
let weekStart = "monday";
// Today's per-phase energy of the primary meter from the archive (kwh_today_phases), or null.
let primaryPhaseEnergy = null;
// Every meter the page has seen, by ID, as the meters list last gave it.
const meterEntries = new Map();
// Whether the page shows a meter's readings: not before its first data message, not once it
// went off-line.
function meterShowsValues(id) {
  const state = meterState(meterEntries.get(id));
  return state === "online" || state === "stale";
}
const logLines = new Map();
let lastLogNumber = 0;
let liveShownAt = null;
// The program's run the page has read its log and series from, and whether the push is up.
let runId = null;
let connected = true;

// The recorder's zone from the live answer: every time on the page is shown as the recorder
// keeps it, the zone named beside the clock. With the zone's IANA name (time_zone) each time
// takes its own offset, on either side of a clock change. Without one, the browser's own zone
// serves while its offset now is the recorder's (as a rule the same zone); else every time
// takes the recorder's offset now.
let recorderOffset = null;
let recorderZone = null;
let recorderZoneName = null;
function learnZone(live) {
  if (typeof live.utc_offset === "number") recorderOffset = live.utc_offset;
  if (live.time_zone === recorderZoneName) return;
  recorderZoneName = live.time_zone;
  recorderZone = null;
  try {
    if (recorderZoneName) { new Intl.DateTimeFormat(LOCALES, { timeZone: recorderZoneName }); recorderZone = recorderZoneName; }
  } catch (e) { /* a zone this browser does not know */ }
}
function browserIsRecorder() { return recorderOffset === null || -60 * new Date().getTimezoneOffset() === recorderOffset; }
function recorderTimeText(t, options = {}) {
  if (recorderZone) return new Date(t * 1000).toLocaleString(LOCALES, { ...options, timeZone: recorderZone });
  if (browserIsRecorder()) return new Date(t * 1000).toLocaleString(LOCALES, options);
  return new Date((t + recorderOffset) * 1000).toLocaleString(LOCALES, { ...options, timeZone: "UTC" });
}
function recorderChartDate(t) {
  if (recorderZone) return uPlot.tzDate(new Date(t * 1e3), recorderZone);
  if (browserIsRecorder()) return new Date(t * 1e3);
  return uPlot.tzDate(new Date((t + recorderOffset) * 1e3), "UTC");
}
// The ink of the charts' axes and grid, which uPlot draws on its canvas where CSS cannot reach:
// light on the dark theme.
const DARK = window.matchMedia("(prefers-color-scheme: dark)");
function chartAxis(extra = {}) {
  const dark = DARK.matches;
  return { stroke: dark ? "#e6e6e6" : "#111", grid: { stroke: dark ? "#3a3f47" : "#0000001a" },
    ticks: { stroke: dark ? "#3a3f47" : "#0000001a" }, ...extra };
}
// A bilingual text: its Chinese half (no Latin letter in it), a space, its English half.
const BILINGUAL = /^([^\x00-\x7f][^A-Za-z]*?)\s+([\x00-\x7f].*)$/s;
function chineseOf(v) {
  if (typeof v === "string") { const m = BILINGUAL.exec(v); return m ? m[1] : v; }
  if (Array.isArray(v)) return v.map(chineseOf);
  if (v && typeof v === "object") return Object.fromEntries(Object.entries(v).map(([k, x]) => [k, chineseOf(x)]));
  return v;
}
// A text of one of the page's tables in the language shown: the table's own form for the
// language when it has one (Chinese: the Chinese half of the bilingual one), else the English.
function textIn(table, key) {
  if (language === "chinese") {
    if (table.chinese && table.chinese[key] !== undefined) return table.chinese[key];
    if (table.bilingual) return chineseOf(table.bilingual[key]);
  }
  return (table[language] || table.english)[key];
}
// Time axes in the browser's locale and the recorder's clock: each tick as Intl writes it, the
// date under the first time of each day. `record` hears the labels (kept on the chart for
// whoever reads the page's state).
function timeTicks(record) {
  return (u, splits, axisIdx, space, incr) => {
    const day = (t) => recorderTimeText(t, { year: "numeric", month: "numeric", day: "numeric" });
    const labels = splits.map((t, i) => {
      if (incr < 86400) {
        const time = recorderTimeText(t, incr < 60 ? { hour: "2-digit", minute: "2-digit", second: "2-digit" }
          : { hour: "2-digit", minute: "2-digit" });
        const newDay = i === 0 || day(t) !== day(splits[i - 1]);
        const date = recorderTimeText(t, { month: "short", day: "numeric" });
        // Ticks hours apart: a new day's tick is its date alone; closer ticks carry it below.
        if (incr >= 3 * 3600) return newDay && i > 0 ? date : time;
        return newDay ? time + "\n" + date : time;
      }
      if (incr < 28 * 86400) return recorderTimeText(t, { month: "short", day: "numeric" });
      if (incr < 365 * 86400) return recorderTimeText(t, { year: "numeric", month: "short" });
      return recorderTimeText(t, { year: "numeric" });
    });
    if (record) record(labels);
    return labels;
  };
}
// A time axis: room between ticks for a date or a time in any locale.
function timeAxis(record) { return chartAxis({ values: timeTicks(record), space: 80 }); }
// The legend's time of the point under the cursor, in the same locale.
function timeLegend(u, t) { return t === null || t === undefined ? "–" : recorderTimeText(t, { dateStyle: "medium", timeStyle: "short" }); }
function unitOf(q) { return UNITS[q[0]] || ""; }
function text(key) { return textIn(TEXTS, key); }
function el(tag, cls, content) {
  const e = document.createElement(tag);
  if (cls) e.className = cls;
  if (content !== undefined) e.textContent = content;
  return e;
}
// The decimals that tell a value axis's ticks apart.
function decimalsOf(ticks) {
  const step = ticks.length > 1 ? Math.abs(ticks[1] - ticks[0]) : 1;
  return step >= 1 || step === 0 ? 0 : Math.min(6, Math.ceil(-Math.log10(step)));
}
function formatNumber(v, digits) {
  return Number(v).toLocaleString(LOCALES, { minimumFractionDigits: digits, maximumFractionDigits: digits });
}
function fmt(v, q) {
  if (v === null || v === undefined) return "–";
  const d = q && (q[0] === "W") ? 0 : q && q[0] === "V" ? 1 : 2;
  // The browser's locale separates thousands and decimals.
  return Number(v).toLocaleString(LOCALES, { minimumFractionDigits: d, maximumFractionDigits: d });
}
// A bilingual text such as "即時讀數 Live readings", its Chinese half marked for screen readers
// and fonts; any other text as it is.
function setText(e, s) {
  const m = BILINGUAL.exec(s);
  if (!m) { e.textContent = s; return; }
  const zh = el("span", "", m[1]);
  zh.lang = "zh-Hant";
  e.replaceChildren(zh, " " + m[2]);
}
async function getJson(url) {
  const r = await fetch(url, { cache: "no-store" });
  if (!r.ok) throw new Error(url + ": " + r.status);
  return r.json();
}

function applyTexts() {
  document.documentElement.lang = language === "chinese" ? "zh-Hant" : "en";
  document.getElementById("language").value = language;
  document.querySelectorAll("[data-text]").forEach((e) => setText(e, text(e.dataset.text)));
  document.querySelectorAll("[data-label-text]").forEach((e) => e.setAttribute("aria-label", text(e.dataset.labelText)));
  document.title = text("title");
  document.querySelectorAll("select.scale").forEach((s) => {
    SCALES.forEach((_, i) => { if (s.options[i]) s.options[i].textContent = text("scales")[i]; });
  });
  const head = document.querySelector("#meters thead tr");
  head.replaceChildren(...text("columns").map((c) => { const th = el("th"); setText(th, c); return th; }));
  buildRecords();
  meterPickerTexts();
  chartsHeading();
  readingNames();
  if (lastMeters) showMeters(lastMeters);
  showFreshness();
  channels.forEach((c) => { if (c.data) c.summarise(c.quantity.value, c.data.values); });
  // The views that build their own texts take the language now learned.
  document.dispatchEvent(new Event("tev-language"));
}

function chooseLanguage(l) {
  if (!LANGUAGES.includes(l)) return;
  languageChosen = l;
  language = l;
  try { localStorage.setItem(LANGUAGE_KEY, l); } catch (e) { /* a browser that keeps nothing */ }
  applyTexts();
}

// --- Live readings -------------------------------------------------------------------------
function buildReadings() {
  const box = document.getElementById("readings");
  for (const q of QUANTITIES) {
    const r = el("div", "reading");
    r.append(el("div", "name", q + " (" + unitOf(q) + ")"), el("div", "value", "–"));
    r.dataset.q = q;
    box.append(r);
  }
  readingNames();
}
// K1–K3 are today's energy of each phase from the archive (kwh_today_phases); without it the
// tiles are hidden. A tile whose quantity an active alert of the primary meter judges is marked.
const PHASE_TILES = ["K1", "K2", "K3"];
let alarmQuantities = new Set();
function readingNames() {
  for (const r of document.querySelectorAll(".reading")) {
    const q = r.dataset.q;
    const name = r.querySelector(".name");
    const phase = PHASE_TILES.indexOf(q);
    name.textContent = phase >= 0 ? text("phaseToday").replaceAll("{n}", String(phase + 1)) + " (kWh)" : q + " (" + unitOf(q) + ")";
    if (phase >= 0) r.hidden = primaryPhaseEnergy === null;
    const alarm = alarmQuantities.has(q);
    r.classList.toggle("alarm", alarm);
    if (alarm) name.append(" ", el("span", "alarm-mark", "⚠ " + text("outOfBand")));
  }
}
function markAlarms(quantities) {
  alarmQuantities = quantities;
  readingNames();
}
function learnPhaseEnergy(values) {
  const known = Array.isArray(values) && values.length === 3 && values.every((v) => typeof v === "number");
  primaryPhaseEnergy = known ? values : null;
  readingNames();
  showFreshness();
}
let lastLive = null;
function showLive(live) {
  if (!languageChosen && live.language && live.language !== language) { language = live.language; applyTexts(); }
  if (live.week_start === "sunday" || live.week_start === "monday") weekStart = live.week_start;
  lastLive = live;
  // The recorder's clock against the browser's: "updated N s ago" counts on the recorder's.
  clockSkew = live.time - Date.now() / 1000;
  learnZone(live);
  document.getElementById("clock").textContent = recorderTimeText(live.time) + (live.zone ? " " + live.zone : "");
  const banner = document.getElementById("banner");
  banner.hidden = !live.offline_alarm;
  banner.textContent = live.offline_alarm ? text("offline") : "";
  // A primary meter that went off-line stays the one the views show: its archive is still there.
  if (live.meter) lastPrimaryId = live.meter;
  meterPickerPrimary(live.meter || lastPrimaryId);
  if (window.tevPhases) window.tevPhases.show(live);
  chartsHeading();
  showFreshness();
  if (liveShownAt === null && live.meters > 0) {
    liveShownAt = performance.now();
    document.body.dataset.liveShownMs = String(Math.round(liveShownAt));
  }
  document.body.dataset.liveTime = String(live.time);
}

// --- Freshness -----------------------------------------------------------------------------
// A meter sends a data message every second or so: one silent for STALE_SECONDS (3 missed
// messages and some slack) is "stale" and its figures are greyed; after the off-line alarm
// (online false) its figures are gone ("—"). The link badge is green only while some meter's
// data message came within the same window.
const STALE_SECONDS = 10;
let lastPrimaryId = "";
let clockSkew = 0;
function recorderNow() { return Date.now() / 1000 + clockSkew; }
// "online", "stale", "offline" or "waiting" (no data message yet).
function meterState(m) {
  if (!m) return "waiting";
  if (m.online === false) return "offline";
  if (!m.last_message) return "waiting";
  return recorderNow() - m.last_message > STALE_SECONDS ? "stale" : "online";
}
function agoText(t) {
  const s = Math.max(0, Math.round(recorderNow() - t));
  const n = s < 120 ? formatNumber(s, 0) + "\u00a0s" : formatNumber(Math.floor(s / 60), 0) + "\u00a0min";
  return text("updatedAgo").replaceAll("{n}", n);
}
function stateText(m) {
  const state = meterState(m);
  if (state === "offline") {
    const since = m.offline_since || m.last_message;
    return text("offlineSince") + (since ? " " + recorderTimeText(since, { dateStyle: "short", timeStyle: "medium" }) : "");
  }
  if (state === "waiting") return text("noData");
  return text(state === "stale" ? "stale" : "online") + " · " + agoText(m.last_message);
}
function showFreshness() {
  const live = lastLive;
  if (!live) return;
  const primary = meterEntries.get(live.meter || lastPrimaryId);
  // The primary meter's tiles: none before its first message, "—" once it went off-line,
  // greyed while it is stale. One that left the registry is off-line, not "no data yet".
  let state = live.meter && live.meters > 0 ? (primary ? meterState(primary) : "online")
    : primary && lastPrimaryId ? meterState(primary) : "waiting";
  const tiles = document.getElementById("readings");
  for (const r of document.querySelectorAll(".reading")) {
    const q = r.dataset.q;
    const v = PHASE_TILES.includes(q) ? (primaryPhaseEnergy ? primaryPhaseEnergy[Number(q[1]) - 1] : null) : live.readings[q];
    r.querySelector(".value").textContent = state === "waiting" ? "–" : state === "offline" ? "—" : fmt(v, q);
  }
  tiles.dataset.state = state;
  tiles.classList.toggle("stale", state === "stale" || state === "offline");
  const updated = document.getElementById("live-updated");
  updated.textContent = primary ? stateText(primary) : state === "waiting" ? text("noData") : "";
  // The link: green while a data message came within the window, grey while the link waits
  // for one, red while it is off (or the off-line alarm stands).
  const newest = Math.max(0, ...[...meterEntries.values()].filter((m) => m.online !== false).map((m) => m.last_message || 0));
  const fresh = newest > 0 && recorderNow() - newest <= STALE_SECONDS;
  const on = connected && live.link && !live.offline_alarm;
  const link = document.getElementById("link");
  const linkState = !on ? "off" : fresh ? "on" : "wait";
  link.textContent = linkState === "on" ? text("linkOn") : linkState === "off" ? text("linkOff")
    : text("linkWaiting") + (newest > 0 ? "" : " — " + text("noData"));
  link.className = "state " + linkState;
  // The meters table's state cells.
  for (const td of document.querySelectorAll("#meters tbody td.state-cell")) {
    const m = meterEntries.get(td.dataset.id);
    const s = meterState(m);
    td.className = "state-cell " + s;
    td.textContent = stateText(m);
    td.parentElement.className = s === "online" ? "" : "meter-" + s;
  }
}
setInterval(showFreshness, 1000);

// --- Meters table --------------------------------------------------------------------------
// The table keeps every meter the page has seen: one the server no longer lists went off-line
// (after the off-line alarm), and stays with its readings gone and the time it left.
let lastMeters = null;
function showMeters(meters) {
  lastMeters = meters;
  const listed = new Set(meters.map((m) => m.id));
  for (const [id, m] of meterEntries) {
    if (!listed.has(id) && m.online !== false) {
      meterEntries.set(id, { ...m, online: false, offline_since: m.offline_since || Math.floor(recorderNow()) });
    }
  }
  meters.forEach((m) => meterEntries.set(m.id, m));
  const all = [...meters, ...[...meterEntries.values()].filter((m) => !listed.has(m.id))];
  meterPickerMeters(all);
  const body = document.querySelector("#meters tbody");
  const labels = text("columns");
  body.replaceChildren(...all.map((m) => {
    const tr = el("tr");
    const gone = m.online === false;
    const last = m.last_message ? recorderTimeText(m.last_message, { hour: "numeric", minute: "2-digit", second: "2-digit" }) : "–";
    const id = el("td", "id");
    if (m.name) id.append(el("span", "meter-name", m.name), " ");
    id.append(m.id);
    tr.append(id);
    const value = (v, q) => (gone ? "—" : fmt(v, q));
    const cells = [m.ip || "–", last, value(m.V1, "V"), value(m.V2, "V"), value(m.V3, "V"), value(m.A1, "A"),
      value(m.A2, "A"), value(m.A3, "A"), value(m.Watt, "W"), value(m.day_kwh, "K")];
    cells.forEach((c) => tr.append(el("td", "", c)));
    const state = el("td", "state-cell");
    state.dataset.id = m.id;
    tr.append(state);
    // Each cell names its column, for the stacked rows of a phone.
    [...tr.children].forEach((td, i) => { td.dataset.label = labels[i]; });
    return tr;
  }));
  showFreshness();
}

// Rows of a stacked table name each cell by its column's heading, whichever view wrote them.
for (const table of document.querySelectorAll("table.stack")) {
  const label = () => {
    const heads = [...table.querySelectorAll("thead th, thead td")].map((h) => h.textContent.trim());
    for (const tr of table.querySelectorAll("tbody tr"))
      [...tr.cells].forEach((c, i) => { if (heads[i] && c.dataset.label !== heads[i]) c.dataset.label = heads[i]; });
  };
  new MutationObserver(label).observe(table, { childList: true, subtree: true });
}

// --- Event log -----------------------------------------------------------------------------
function addLog(log) {
  for (const l of log.lines) logLines.set(l.n, l.text);
  lastLogNumber = Math.max(lastLogNumber, log.last);
  const numbers = [...logLines.keys()].sort((a, b) => a - b);
  while (numbers.length > 200) logLines.delete(numbers.shift());
  const pre = document.getElementById("log");
  const atBottom = pre.scrollTop + pre.clientHeight >= pre.scrollHeight - 4;
  pre.textContent = numbers.map((n) => logLines.get(n)).join("\n");
  if (atBottom) pre.scrollTop = pre.scrollHeight;
}

// --- Records downloads ---------------------------------------------------------------------
// The export options every CSV link takes: "for spreadsheets" adds a UTF-8 byte-order mark
// (bom=1); the from/to dates bound the archive's CSVs (from the first day's midnight to the end
// of the last day, the browser's local days).
function exportQuery(withRange) {
  let q = "";
  if (withRange) {
    const from = document.getElementById("export-from").valueAsDate;
    const to = document.getElementById("export-to").valueAsDate;
    const local = (d, days) => Math.floor(new Date(d.getUTCFullYear(), d.getUTCMonth(), d.getUTCDate() + days).getTime() / 1000);
    if (from) q += "&from=" + local(from, 0);
    if (to) q += "&to=" + local(to, 1);
  }
  if (document.getElementById("export-bom").checked) q += "&bom=1";
  return q;
}
function exportsChanged() {
  buildRecords();
  showArchiveLinks();
  document.dispatchEvent(new Event("tev-exports"));
}
function buildRecords() {
  const body = document.querySelector("#records tbody");
  body.replaceChildren(...SCALES.map((s, i) => {
    const tr = el("tr");
    tr.append(el("td", "", text("scales")[i]));
    for (const [format, label] of [["original", text("original")], ["tidy", text("tidy")]]) {
      const a = el("a", "", label);
      a.href = "/api/v1/records.csv?scale=" + s + "&format=" + format + exportQuery(false);
      a.download = "";
      const td = el("td");
      td.append(a);
      tr.append(td);
    }
    return tr;
  }));
}

// --- Charts --------------------------------------------------------------------------------
// Each scale's period in seconds (a month at its longest), for breaking lines at gaps.
const PERIOD_SECONDS = { min: 60, m5: 300, m10: 600, hour: 3600, day: 86400, week: 604800, month: 2678400,
  minute: 60 };
// A line breaks where the series lacks periods: the server marks a gap with a row of nulls; where
// it does not, two points more than 1.5 periods apart get a null between them.
function withGaps(time, values, period) {
  const t = [], v = [];
  for (let i = 0; i < time.length; i++) {
    if (i > 0 && time[i] - time[i - 1] > 1.5 * period && values[i - 1] !== null && values[i] !== null) {
      t.push(time[i - 1] + period);
      v.push(null);
    }
    t.push(time[i]);
    v.push(values[i]);
  }
  return [t, v];
}
// A time axis over the rows held; a single row gets one period either side (uPlot on its own
// would give it a thousand days).
function timeRange(period) {
  return (u, min, max) => {
    const x = u.data && u.data[0];
    if (x && x.length === 1) return [x[0] - period, x[0] + period];
    return min === max ? [min - period, max + period] : [min, max];
  };
}
function chartsHeading() {
  const h = document.getElementById("charts-heading");
  setMeterHeading(h, text("charts"));
}
class Channel {
  constructor(root, quantity, scale) {
    this.root = root;
    this.plotBox = root.querySelector(".plot");
    this.summary = root.querySelector(".summary");
    if (!root.querySelector(".tap-value")) this.summary.after(el("p", "tap-value"));
    this.quantity = root.querySelector("select.quantity");
    this.scale = root.querySelector("select.scale");
    QUANTITIES.forEach((q) => this.quantity.append(new Option(q + " (" + unitOf(q) + ")", q)));
    SCALES.forEach((s, i) => this.scale.append(new Option(text("scales")[i], s)));
    this.quantity.value = quantity;
    this.scale.value = scale;
    this.zoomed = false;
    this.loading = false;
    this.lastLoad = 0;
    this.quantity.addEventListener("change", () => this.rebuild());
    this.scale.addEventListener("change", () => this.rebuild());
    root.querySelector("button.reset").addEventListener("click", () => { this.zoomed = false; this.keptView = null; this.load(true); });
    new ResizeObserver(() => this.resize()).observe(this.plotBox);
    this.rebuild();
  }
  size() { return { width: Math.max(this.plotBox.clientWidth, 200), height: window.innerWidth < 600 ? 220 : 300 }; }
  resize() { if (this.plot) this.plot.setSize(this.size()); }
  rebuild() {
    // A switch of quantity, scale or meter keeps a zoomed view's time range: the new series is
    // shown over the part of it that it covers (see load).
    if (this.plot && this.zoomed) this.keptView = { min: this.plot.scales.x.min, max: this.plot.scales.x.max };
    if (this.plot) this.plot.destroy();
    const q = this.quantity.value;
    const opts = {
      ...this.size(),
      // The axis spans the rows held; a single row gets a period either side, not years.
      scales: { x: { time: true, range: timeRange(PERIOD_SECONDS[this.scale.value] || 3600) } },
      tzDate: recorderChartDate,
      axes: [timeAxis((labels) => { this.root.dataset.xTicks = labels.join("|"); }),
        chartAxis({ label: chartUnitOf(q), size: 60, values: (u, ticks) => ticks.map((v) => formatNumber(v, decimalsOf(ticks))) })],
      series: [{ value: timeLegend }, { label: q + " (" + chartUnitOf(q) + ")", stroke: "#1e5bd6", width: 1.5,
        value: (u, v) => fmt(v, q) }],
      cursor: { drag: { x: true, y: false } },
      hooks: { setSelect: [() => { this.zoomed = true; }], setScale: [(u, key) => this.showView(u, key)] },
      plugins: [wheelAndTouch(this)],
    };
    this.plot = new uPlot(opts, [[], []], this.plotBox);
    this.root.dataset.scale = this.scale.value;
    this.zoomed = false;
    this.data = null;
    this.load(true);
  }
  // A whole series on a change of quantity, scale, meter or run; otherwise only the rows from
  // the last closed one held on, merged in, so a live tick moves a few rows, not the series.
  async load(whole = false) {
    // A choice changed while a series was on its way: that series is dropped and fetched anew.
    if (this.loading) { this.reloadWanted = true; this.wholeWanted = this.wholeWanted || whole; return; }
    this.loading = true;
    this.lastLoad = performance.now();
    try {
      const q = this.quantity.value;
      const source = chartSource(this.scale.value, q);
      this.refreshMs = source.refreshMs;
      const held = !whole && this.data && this.data.key === source.url && this.data.time.length > 2 ? this.data : null;
      const from = held ? held.time[held.time.length - 2] : null;
      const s = await getJson(source.url + (from !== null ? "&from=" + from : ""));
      if (this.reloadWanted) return;
      let time = s.time, values = s[q];
      if (held) {
        const keep = held.time.findIndex((t) => t >= from);
        const cut = keep < 0 ? held.time.length : keep;
        time = held.time.slice(0, cut).concat(s.time);
        values = held.values.slice(0, cut).concat(s[q]);
        // As many rows as the whole series had: the oldest leave as the newest come.
        const extra = Math.max(0, time.length - held.size);
        time = time.slice(extra);
        values = values.slice(extra);
      }
      this.data = { key: source.url, time, values, size: held ? held.size : time.length };
      const x = this.plot.scales.x;
      let keep = this.zoomed ? { min: x.min, max: x.max } : null;
      if (!held && this.keptView && time.length > 1) {
        // The view before a switch, where the new series covers it; else the whole series.
        const min = Math.max(this.keptView.min, time[0]), max = Math.min(this.keptView.max, time[time.length - 1]);
        if (max > min) { keep = { min, max }; this.zoomed = true; }
      }
      if (!held) this.keptView = null;
      const shown = withGaps(time, values, PERIOD_SECONDS[this.scale.value] || 3600);
      this.plot.setData(shown, !keep);
      this.root.dataset.gaps = String(shown[1].filter((v) => v === null).length);
      if (keep) this.plot.setScale("x", keep);
      this.root.dataset.points = String(time.length);
      this.root.dataset.first = String(time.length ? time[0] : 0);
      this.root.dataset.meter = source.meter;
      this.summarise(q, values);
    } finally {
      this.loading = false;
      if (this.reloadWanted) {
        const w = this.wholeWanted;
        this.reloadWanted = false;
        this.wholeWanted = false;
        this.load(w);
      }
    }
  }
  // The time range shown, for whoever reads the page's state (the browser test).
  showView(u, key) {
    if (key !== "x" || u.scales.x.min === null) return;
    this.root.dataset.viewMin = String(Math.round(u.scales.x.min));
    this.root.dataset.viewMax = String(Math.round(u.scales.x.max));
  }
  // The chart in words for those who cannot see it: latest, lowest and highest value held.
  summarise(q, values) {
    const held = values.filter((v) => v !== null && Number.isFinite(v));
    const unit = chartUnitOf(q);
    const word = (key) => text(key);
    this.summary.textContent = held.length === 0 ? q + ": –" : q + ": " + word("latest") + " " + fmt(held[held.length - 1], q) +
      "\u00a0" + unit + ", " + word("lowest") + " " + fmt(Math.min(...held), q) + "\u00a0" + unit + ", " + word("highest") + " " +
      fmt(Math.max(...held), q) + "\u00a0" + unit;
  }
  // The live row moves with each meter message; the series is fetched again at most every 2 s.
  liveTick() { if (performance.now() - this.lastLoad > (this.refreshMs || 2000)) this.load(); }
}

function tapValue(channel, u) {
  const i = u.cursor.idx;
  const line = channel.root.querySelector(".tap-value");
  if (i === null || i === undefined || !line) return;
  const q = channel.quantity.value;
  const v = u.data[1][i];
  line.textContent = timeLegend(u, u.data[0][i]) + ": " + fmt(v, q) + (v === null || v === undefined ? "" : "\u00a0" + chartUnitOf(q));
  channel.root.dataset.tapped = line.textContent;
}
// Wheel zoom and drag pan with the mouse (shift-drag), pinch zoom and one-finger pan on touch.
function wheelAndTouch(channel) {
  function zoomAround(u, factor, left) {
    const x = u.scales.x;
    const at = u.posToVal(left, "x");
    channel.zoomed = true;
    u.setScale("x", { min: at - (at - x.min) * factor, max: at + (x.max - at) * factor });
  }
  function pan(u, dx) {
    const x = u.scales.x;
    const dv = (dx / u.bbox.width) * devicePixelRatio * (x.max - x.min);
    channel.zoomed = true;
    u.setScale("x", { min: x.min - dv, max: x.max - dv });
  }
  return { hooks: { ready: (u) => {
    const over = u.over;
    over.addEventListener("wheel", (e) => {
      e.preventDefault();
      zoomAround(u, e.deltaY < 0 ? 0.8 : 1.25, e.clientX - over.getBoundingClientRect().left);
    }, { passive: false });
    // The window hears the mouse only while a pan drags, so a rebuilt chart leaves nothing behind.
    let drag = null;
    const onMove = (e) => { pan(u, e.clientX - drag); drag = e.clientX; };
    const onUp = () => {
      drag = null;
      window.removeEventListener("mousemove", onMove);
      window.removeEventListener("mouseup", onUp);
    };
    over.addEventListener("mousedown", (e) => {
      if (!e.shiftKey) return;
      drag = e.clientX;
      e.stopPropagation();
      window.addEventListener("mousemove", onMove);
      window.addEventListener("mouseup", onUp);
    }, true);
    let touches = null;
    let touchStart = null;
    over.addEventListener("touchstart", (e) => {
      touches = [...e.touches].map((t) => t.clientX);
      touchStart = e.touches.length === 1 ? { x: e.touches[0].clientX, y: e.touches[0].clientY } : null;
    }, { passive: true });
    over.addEventListener("touchmove", (e) => {
      // One finger moving mostly up or down scrolls the page (touch-action: pan-y).
      if (e.touches.length === 1 && touchStart !== null &&
          Math.abs(e.touches[0].clientY - touchStart.y) > Math.abs(e.touches[0].clientX - touchStart.x)) return;
      e.preventDefault();
      const now = [...e.touches].map((t) => t.clientX);
      if (touches && now.length === 1 && touches.length === 1) pan(u, now[0] - touches[0]);
      if (touches && now.length === 2 && touches.length === 2) {
        const before = Math.abs(touches[1] - touches[0]) || 1;
        const after = Math.abs(now[1] - now[0]) || 1;
        zoomAround(u, before / after, (now[0] + now[1]) / 2 - over.getBoundingClientRect().left);
      }
      touches = now;
    }, { passive: false });
    // A tap (a touch that ends where it began) puts the cursor there: the legend and the line
    // under the chart read the value under the finger.
    over.addEventListener("touchend", (e) => {
      const t = e.changedTouches[0];
      if (touchStart !== null && t && Math.abs(t.clientX - touchStart.x) < 10 && Math.abs(t.clientY - touchStart.y) < 10) {
        const box = over.getBoundingClientRect();
        u.setCursor({ left: t.clientX - box.left, top: t.clientY - box.top });
        tapValue(channel, u);
      }
      touches = null;
    });
  } } };
}

// --- Wiring --------------------------------------------------------------------------------
let channels = [];
function onPush(message) {
  if (message.live) showLive(message.live);
  if (message.meters) showMeters(message.meters);
  if (message.log) addLog(message.log);
  if (message.alerts && window.tevAlerts) window.tevAlerts.show(message.alerts);
  channels.forEach((c) => c.liveTick());
}
// While the push is down the page says so, greys what it shows and tries again every 2 s.
function showConnection(up) {
  connected = up;
  showFreshness();
  const lost = document.getElementById("connection");
  lost.hidden = up;
  setText(lost, up ? "" : text("lost"));
  document.body.classList.toggle("stale", !up);
  if (!up) {
    const link = document.getElementById("link");
    link.textContent = text("linkOff");
    link.className = "state off";
  }
}
// A new run of the program numbers its log from 1 again and may hold other series: read both
// anew rather than mixing two runs.
async function learnRun(live) {
  if (runId !== null && live.run !== runId) {
    logLines.clear();
    lastLogNumber = 0;
    addLog(await getJson("/api/v1/log?after=0"));
    channels.forEach((c) => c.load(true));
    document.dispatchEvent(new CustomEvent("tev-new-run"));
  }
  runId = live.run;
  document.body.dataset.run = runId;
}
// A tab hidden for 30 s closes its feed, so a forgotten tab takes nothing; shown again it opens
// the feed and reads what it missed (meters, log, series and every view).
const HIDDEN_CLOSE_MS = 30000;
let socket = null;
let paused = false;
let hiddenTimer = null;
function pauseFeed() {
  paused = true;
  document.body.dataset.feed = "paused";
  if (socket) socket.close();
}
async function resumeFeed() {
  paused = false;
  document.body.dataset.feed = "open";
  connectLive();
  showMeters(await getJson("/api/v1/meters"));
  addLog(await getJson("/api/v1/log?after=" + lastLogNumber));
  channels.forEach((c) => c.load(true));
  document.dispatchEvent(new Event("tev-refresh"));
}
document.addEventListener("visibilitychange", () => {
  clearTimeout(hiddenTimer);
  if (document.visibilityState === "hidden") hiddenTimer = setTimeout(pauseFeed, HIDDEN_CLOSE_MS);
  else if (paused) resumeFeed().catch(() => {});
});
function connectLive() {
  const ws = new WebSocket((location.protocol === "https:" ? "wss://" : "ws://") + location.host + "/api/v1/ws");
  socket = ws;
  ws.onopen = () => {
    getJson("/api/v1/live").then(async (live) => { await learnRun(live); showLive(live); showConnection(true); })
      .catch(() => ws.close());
  };
  ws.onmessage = (e) => {
    const message = JSON.parse(e.data);
    if (message.live && runId !== null && message.live.run !== runId) learnRun(message.live).catch(() => {});
    onPush(message);
  };
  ws.onclose = () => {
    if (socket === ws) socket = null;
    // A feed closed for a hidden tab is no lost connection.
    if (paused) return;
    showConnection(false);
    setTimeout(() => { if (!paused && socket === null) connectLive(); }, 2000);
  };
}
async function start() {
  buildReadings();
  applyTexts();
  const live = await getJson("/api/v1/live");
  runId = live.run;
  document.body.dataset.run = runId;
  showLive(live);
  channels = [new Channel(document.getElementById("chart1"), "Watt", "hour"),
    new Channel(document.getElementById("chart2"), "V1", "min")];
  DARK.addEventListener("change", () => channels.forEach((c) => c.rebuild()));
  document.addEventListener("tev-meter", chartsHeading);
  document.getElementById("language").addEventListener("change", (e) => chooseLanguage(e.target.value));
  for (const id of ["export-from", "export-to", "export-bom"]) document.getElementById(id).addEventListener("change", exportsChanged);
  document.addEventListener("tev-names", chartsHeading);
  startMeterPicker(channels);
  showMeters(await getJson("/api/v1/meters"));
  addLog(await getJson("/api/v1/log?after=0"));
  connectLive();
}
start().catch((e) => { document.getElementById("banner").hidden = false; document.getElementById("banner").textContent = String(e); });
