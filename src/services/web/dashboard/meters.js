// The meter picker above the charts. Its first choice, the default, is the primary meter with
// the seven time scales of the records; any registered meter can be chosen instead, and then
// both charts show that meter's archive at minute, hour or day resolution
// (/api/v1/meters/<id>/series), with its archive CSVs beside the picker.
// Loaded before app.js: nothing here runs until app.js calls it.
"use strict";

const ARCHIVE_QUANTITIES = ["Watt", "W1", "W2", "W3", "V1", "V2", "V3", "A1", "A2", "A3", "DayKWh", "Energy"];
const ARCHIVE_UNITS = { DayKWh: "kWh", Energy: "kWh" };
const RESOLUTIONS = ["minute", "hour", "day"];
// A switch between the time scales and a meter's archive keeps what it can: the nearest
// resolution or scale, and the quantity under its own name or its twin's.
const RESOLUTION_OF_SCALE = { min: "minute", m5: "minute", m10: "minute", hour: "hour", day: "day", week: "day", month: "day" };
const SCALE_OF_RESOLUTION = { minute: "min", hour: "hour", day: "day" };
const TWIN_QUANTITY = { KWh: "DayKWh", DayKWh: "KWh" };
const PICKER_TEXTS = {
  english: { scales: "1 min to 1 month", archive: "minutes, hours, days", csv: "Archive CSV",
    resolutions: ["Minute", "Hour", "Day"] },
  bilingual: { scales: "1分鐘至1個月 1 min to 1 month", archive: "分時日 minutes, hours, days", csv: "存檔 Archive CSV",
    resolutions: ["分 Minute", "時 Hour", "日 Day"] },
  chinese: { scales: "1分鐘至1個月", archive: "分時日" },
};
// The archive is written in batches every few seconds: no need to ask it on every message.
const ARCHIVE_REFRESH_MS = 10000;

const meterPicker = { chosen: "", primaryId: "", ids: [], names: new Map(), channels: [], saved: new Map() };

// The one meter every view shows: the one picked, else the primary meter. Views learn of a
// change from the "tev-meter" event, fired after the choice is set, never from the select.
function pickedMeter() { return meterPicker.chosen || meterPicker.primaryId; }
// A meter as the page names it: its name from tev3p.ini when it has one, else its ID.
function meterLabel(id) { return (id && meterPicker.names.get(id)) || id || "–"; }
function announceMeter() { document.dispatchEvent(new CustomEvent("tev-meter", { detail: pickedMeter() })); }
// A heading that names the picked meter: "Phases — Kitchen".
function setMeterHeading(e, heading) {
  setText(e, heading);
  const id = pickedMeter();
  if (id) e.append(" — " + meterLabel(id));
  e.dataset.meter = id;
}

function pickerText(key) { return textIn(PICKER_TEXTS, key); }
function archiveUnitOf(q) { return ARCHIVE_UNITS[q] || unitOf(q); }

function fillMeterPicker() {
  const select = document.getElementById("meter");
  const options = [new Option(meterLabel(meterPicker.primaryId) + " (" + pickerText("scales") + ")", "")];
  for (const id of meterPicker.ids) options.push(new Option(meterLabel(id) + " (" + pickerText("archive") + ")", id));
  select.replaceChildren(...options);
  // A meter that left the registry keeps its choice: its archive is still there.
  if (meterPicker.chosen && !meterPicker.ids.includes(meterPicker.chosen)) {
    select.append(new Option(meterPicker.chosen + " (" + pickerText("archive") + ")", meterPicker.chosen));
  }
  select.value = meterPicker.chosen;
}

// Hooks called by app.js.
function meterPickerPrimary(id) {
  id = id || "";
  if (id === meterPicker.primaryId) return;
  meterPicker.primaryId = id;
  fillMeterPicker();
  // With no meter picked the views show the primary meter: a new primary is a new meter.
  if (!meterPicker.chosen) announceMeter();
}
function meterPickerMeters(meters) {
  const ids = meters.map((m) => m.id);
  const names = meters.map((m) => m.name || "");
  const named = ids.some((id, i) => (meterPicker.names.get(id) || "") !== names[i]);
  ids.forEach((id, i) => { if (names[i]) meterPicker.names.set(id, names[i]); else meterPicker.names.delete(id); });
  if (!named && ids.join("\n") === meterPicker.ids.join("\n")) return;
  meterPicker.ids = ids;
  fillMeterPicker();
  document.dispatchEvent(new Event("tev-meters"));
  if (named) document.dispatchEvent(new Event("tev-names"));
}
function meterPickerTexts() {
  fillMeterPicker();
  if (meterPicker.chosen) {
    for (const c of meterPicker.channels) {
      [...c.scale.options].forEach((o, i) => { o.textContent = pickerText("resolutions")[i]; });
    }
  }
  showArchiveLinks();
}
// Where a chart's series comes from, and how often its live tick fetches it again.
function chartSource(scale, quantity) {
  if (!meterPicker.chosen) {
    return { url: "/api/v1/series?scale=" + scale + "&quantities=" + quantity, meter: "", refreshMs: 2000 };
  }
  return {
    url: "/api/v1/meters/" + encodeURIComponent(meterPicker.chosen) + "/series?resolution=" + scale +
      "&quantities=" + quantity,
    meter: meterPicker.chosen,
    refreshMs: ARCHIVE_REFRESH_MS,
  };
}
function chartUnitOf(q) { return meterPicker.chosen ? archiveUnitOf(q) : unitOf(q); }

function startMeterPicker(channels) {
  meterPicker.channels = channels;
  const select = document.getElementById("meter");
  select.addEventListener("change", () => chooseMeter(select.value));
  fillMeterPicker();
}

// Swaps the charts' quantity and scale choices between the time scales and the archive,
// keeping each side's last pick for the way back.
function chooseMeter(id) {
  const wasArchive = meterPicker.chosen !== "";
  meterPicker.chosen = id;
  const toArchive = id !== "";
  for (const c of meterPicker.channels) {
    if (wasArchive !== toArchive) {
      const side = wasArchive ? "archive" : "scales";
      meterPicker.saved.set(c.root.id + side, { quantity: c.quantity.value, scale: c.scale.value });
      const back = meterPicker.saved.get(c.root.id + (toArchive ? "archive" : "scales"));
      const quantities = toArchive ? ARCHIVE_QUANTITIES : QUANTITIES;
      // Read before the options are replaced: a select's value then becomes its first option.
      const previous = c.quantity.value;
      const previousScale = c.scale.value;
      const quantity = quantities.includes(previous) ? previous
        : quantities.includes(TWIN_QUANTITY[previous]) ? TWIN_QUANTITY[previous] : quantities[0];
      c.quantity.replaceChildren(...quantities.map((q) => new Option(q + " (" + chartUnitOf(q) + ")", q)));
      c.quantity.value = back ? back.quantity : quantity;
      if (toArchive) {
        c.scale.replaceChildren(...RESOLUTIONS.map((r, i) => new Option(pickerText("resolutions")[i], r)));
        c.scale.value = back ? back.scale : RESOLUTION_OF_SCALE[previousScale] || "hour";
      } else {
        c.scale.replaceChildren(...SCALES.map((s, i) => new Option(text("scales")[i], s)));
        c.scale.value = back ? back.scale : SCALE_OF_RESOLUTION[previousScale] || "hour";
      }
    }
    c.rebuild();
  }
  showArchiveLinks();
  announceMeter();
}

function showArchiveLinks() {
  const box = document.getElementById("meter-csv");
  if (!meterPicker.chosen) { box.replaceChildren(); return; }
  const links = RESOLUTIONS.map((r, i) => {
    const a = el("a", "", pickerText("resolutions")[i]);
    a.href = "/api/v1/meters/" + encodeURIComponent(meterPicker.chosen) + "/export.csv?resolution=" + r + exportQuery(true);
    a.download = "";
    return a;
  });
  box.replaceChildren(el("span", "", pickerText("csv") + ": "), ...links);
}

// Every meter's last 48 hours of one quantity on one chart, from each meter's hour rows; shown
// with two meters or more.
(() => {
  const OVERLAY_TEXTS = {
    english: { heading: "Meters side by side", quantity: "Quantity", hours: "last 48 hours" },
    bilingual: { heading: "各電錶對照 Meters side by side", quantity: "量 Quantity", hours: "最近48小時 last 48 hours" },
  };
  const COLOURS = ["#1e5bd6", "#b4461c", "#1f7a3a", "#7a2aa0", "#8a6d00", "#00707a"];
  const OVERLAY_QUANTITIES = ["Watt", "V1", "V2", "V3", "A1", "A2", "A3", "Energy"];
  let plot = null;
  let held = null;
  function t(key) { return textIn(OVERLAY_TEXTS, key); }
  function texts() {
    setText(document.getElementById("overlay-heading"), t("heading"));
    setText(document.getElementById("overlay-label"), t("quantity"));
  }
  async function load() {
    const box = document.getElementById("overlay");
    const ids = meterPicker.ids.slice(0, COLOURS.length);
    box.hidden = ids.length < 2;
    if (box.hidden) return;
    const q = document.getElementById("overlay-quantity").value;
    const from = Math.floor(Date.now() / 1000) - 48 * 3600;
    const answers = await Promise.all(ids.map((id) => fetch("/api/v1/meters/" + encodeURIComponent(id) +
      "/series?resolution=hour&quantities=" + q + "&from=" + from, { cache: "no-store" })
      .then((r) => (r.ok ? r.json() : null)).catch(() => null)));
    const tables = [];
    const shown = [];
    answers.forEach((a, i) => { if (a && a.time.length) { tables.push([a.time, a[q]]); shown.push(ids[i]); } });
    held = { q, ids: shown, data: tables.length ? uPlot.join(tables) : null };
    box.dataset.meters = shown.join(",");
    draw();
  }
  function draw() {
    const box = document.getElementById("overlay");
    const plotBox = box.querySelector(".overlay-plot");
    if (plot) { plot.destroy(); plot = null; }
    if (!held || !held.data) { box.querySelector(".overlay-summary").textContent = t("hours") + ": –"; return; }
    const unit = archiveUnitOf(held.q);
    plot = new uPlot({
      width: Math.max(plotBox.clientWidth, 200), height: window.innerWidth < 600 ? 200 : 240, tzDate: recorderChartDate,
      scales: { x: { time: true, range: timeRange(3600) } },
      axes: [timeAxis(), chartAxis({ label: unit, size: 60 })],
      series: [{ value: timeLegend }, ...held.ids.map((id, i) => ({ label: meterLabel(id), stroke: COLOURS[i], width: 1.5,
        value: (u, v) => fmt(v, held.q) }))],
    }, held.data, plotBox);
    // In words: each meter's latest value.
    box.querySelector(".overlay-summary").textContent = held.q + ", " + t("hours") + ": " + held.ids.map((id, i) => {
      const values = held.data[i + 1].filter((v) => v !== null);
      return meterLabel(id) + " " + (values.length ? fmt(values[values.length - 1], held.q) + "\u00a0" + unit : "–");
    }).join(", ");
  }
  document.addEventListener("DOMContentLoaded", () => {
    const select = document.getElementById("overlay-quantity");
    select.replaceChildren(...OVERLAY_QUANTITIES.map((q) => new Option(q + " (" + archiveUnitOf(q) + ")", q)));
    texts();
    select.addEventListener("change", () => load().catch(() => {}));
    let known = "";
    // The meters list comes with the first answers and changes seldom: load when it changes.
    document.addEventListener("tev-meters", () => {
      const now = meterPicker.ids.join(",");
      if (now !== known) { known = now; load().catch(() => {}); }
    });
    document.addEventListener("tev-names", draw);
    document.addEventListener("tev-language", () => { texts(); draw(); });
    document.addEventListener("tev-refresh", () => load().catch(() => {}));
    DARK.addEventListener("change", draw);
    setInterval(() => { if (!document.hidden) load().catch(() => {}); }, 300000);
    new ResizeObserver(() => { if (plot) plot.setSize({ width: Math.max(document.querySelector(".overlay-plot").clientWidth, 200), height: plot.height }); })
      .observe(document.querySelector(".overlay-plot"));
  });
})();
