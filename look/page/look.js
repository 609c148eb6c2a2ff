"use strict";
// The page of `umbrix look`: the tool's controls as it declares them, and the picture rendered
// with them. Every change goes to the program one at a time, in order. Every picture comes with
// the values it was rendered with: one of values another page set brings those values onto this
// page's controls, and one older than the controls is marked stale until the newer one shows.

const $ = (id) => document.getElementById(id);
const page = {
  controls: new Map(), // id -> {info, row, value}
  latest: 0,           // the generation that the controls on screen will be rendered as
  shown: 0,            // the generation of the picture on screen
  cancelled: 0,        // the newest generation given up unrendered
  picture: null,       // {generation, width, height, x, y, values}
  part: null,          // what the canvas holds: {x, y, w, h} of the picture at {width, height}
  key: "",             // the view and part it holds, as asked for
  view: "normals",
  fit: true, zoom: 1, panX: 0, panY: 0,
};

// The token from the address the program printed: every request carries it in a header, never a
// cookie, which the browser would send to any server on this machine.
const token = new URLSearchParams(location.search).get("token") || "";
history.replaceState(null, "", location.pathname);

function fetchWithToken(path, options) {
  const headers = Object.assign({ "X-Umbrix-Token": token }, (options || {}).headers);
  return fetch(path, Object.assign({}, options, { headers, credentials: "omit" }));
}

async function request(path, body) {
  const options = body === undefined ? {} : {
    method: "POST", headers: { "Content-Type": "application/json" }, body: JSON.stringify(body),
  };
  const response = await fetchWithToken(path, options);
  const text = await response.text();
  let answer = {};
  try { answer = JSON.parse(text); } catch (e) { answer = { error: text.trim() }; }
  if (!response.ok) throw new Error(answer.error || response.statusText);
  return answer;
}

const sleep = (ms) => new Promise((done) => setTimeout(done, ms));

function newGeneration(generation, values) {
  if (generation < page.latest) return;
  page.latest = generation;
  document.body.dataset.latest = page.latest;
  if (values) showValues(values);
  markStale();
}

function markStale() {
  $("picture").classList.toggle("stale", page.shown < page.latest);
  showProgress();
}

// Values as the program holds them, but for a control whose newer value is still on its way.
function showValues(values) {
  for (const [id, value] of Object.entries(values)) {
    const control = page.controls.get(id);
    if (control && !changes.queue.some((c) => c.id === id) && changes.sending !== id)
      showValue(control, value);
  }
}

// ---- Controls -----------------------------------------------------------------------------

// One change at a time, in order; `sending` names the control whose change is on its way.
const changes = { queue: [], sending: false, busy: false };

// A slider's drag sends its newest value once the change before it is answered.
function change(id, value, replaying) {
  const control = page.controls.get(id);
  if (!replaying && control) remember(id, control.value, value);
  const pending = changes.queue.find((c) => c.id === id);
  if (pending) pending.value = value; else changes.queue.push({ id, value });
  sendChanges();
}

async function sendChanges() {
  if (changes.busy) return;
  changes.busy = true;
  while (changes.queue.length) {
    const { id, value } = changes.queue.shift();
    changes.sending = id;
    const control = page.controls.get(id);
    try {
      const answer = await request("api/control", { id, value });
      control.note.textContent = "";
      changes.sending = false;
      if (answer.generation >= page.latest && !changes.queue.some((c) => c.id === id))
        showValue(control, answer.value);
      newGeneration(answer.generation, answer.values);
    } catch (e) {
      changes.sending = false;
      control.note.textContent = e.message;
    }
  }
  changes.busy = false;
}

function numberOf(value) {
  if (typeof value === "number") return value;
  return value === "nan" ? NaN : value === "inf" ? Infinity : value === "-inf" ? -Infinity : +value;
}

function showValue(control, value) {
  const { info, row } = control;
  const before = control.value;
  control.value = value;
  const number = numberOf(value);
  if (info.kind === "checkbox") row.querySelector(".check").checked = number !== 0;
  if (info.kind === "combo") row.querySelector(".combo").value = String(Math.trunc(number));
  if (info.kind === "slider") {
    row.querySelector(".slider").value = String(control.scale.position(number));
    // A field being typed in keeps its text, as does one with text not yet sent (cleared and
    // left, say, before typing again), unless the value itself changes: an answer about other
    // controls carries this one's value too.
    const field = row.querySelector(".number");
    const edited = field.value !== String(before);
    if (document.activeElement !== field && (!edited || String(value) !== String(before)))
      field.value = String(value);
  }
  if (control.range) {
    const outside = !withinRange(info, number);
    row.classList.toggle("out", outside);
    control.range.textContent = outside ? `outside ${declaredRange(info)}: passed on as it is` : "";
  }
  row.dataset.value = String(value);
}

// The program's rule for a control's declared values, which its warnings follow: a switch takes 0
// or 1; a whole-number control or a menu whole numbers only; none takes NaN; and within low to high.
function withinRange(info, number) {
  if (info.kind === "checkbox") return number === 0 || number === 1;
  if (Number.isNaN(number)) return false;
  if ((info.wholeNumber || info.entries.length) && !Number.isInteger(number)) return false;
  return !(info.low !== null && number < info.low) && !(info.high !== null && number > info.high);
}

function declaredRange(info) {
  if (info.kind === "checkbox") return "0 (off) or 1 (on)";
  const parts = [];
  if (info.low !== null && info.high !== null) parts.push(`${info.low} to ${info.high}`);
  if (info.entries.length) parts.push(info.entries.map((entry, k) => `${k} = ${entry}`).join(", "));
  if (info.wholeNumber) parts.push("whole numbers");
  return parts.join(", ");
}

function element(tag, attributes, text) {
  const made = document.createElement(tag);
  for (const [name, value] of Object.entries(attributes || {})) made.setAttribute(name, value);
  if (text !== undefined) made.textContent = text;
  return made;
}

function controlRow(info) {
  const row = element("div", { class: "control", "data-id": info.id, "data-kind": info.kind });
  const inputs = element("div", { class: "inputs" });
  const fieldId = `control-${info.id}`;
  const control = { info, row, value: undefined }; // until shown
  if (info.kind === "button") {
    const button = element("button", { type: "button", class: "press", id: fieldId }, info.name);
    button.addEventListener("click", pressAbout);
    inputs.append(button);
    row.append(inputs);
    return control;
  }
  const label = element("label", { for: fieldId }, info.name);
  if (info.kind !== "checkbox") row.append(label);
  const reset = element("button", { type: "button", class: "reset", title: `Reset to ${info.default}` }, "↺");
  reset.addEventListener("click", () => resetControls({ id: info.id }));
  row.append(reset);
  if (info.kind === "checkbox") {
    const box = element("input", { type: "checkbox", class: "check", id: fieldId });
    box.addEventListener("change", () => change(info.id, box.checked ? 1 : 0));
    inputs.append(box, label);
    inputs.classList.add("first");
  } else if (info.kind === "combo") {
    const menu = element("select", { class: "combo", id: fieldId });
    info.entries.forEach((entry, index) => menu.append(element("option", { value: index }, entry)));
    menu.addEventListener("change", () => change(info.id, Number(menu.value)));
    inputs.append(menu);
  } else {
    control.scale = sliderScale(info);
    const slider = element("input", {
      type: "range", class: "slider", min: 0, max: SliderPositions, step: 1, "aria-label": info.name,
    });
    const field = element("input", { type: "text", class: "number", id: fieldId, inputmode: "decimal" });
    const moved = (value) => {
      change(info.id, value);
      control.value = value;
      field.value = String(value);
      slider.value = String(control.scale.position(value));
    };
    slider.addEventListener("input", () => moved(control.scale.value(Number(slider.value))));
    slider.addEventListener("keydown", (e) => {
      const next = control.scale.key(e.key, numberOf(control.value));
      if (next === null) return;
      e.preventDefault();
      moved(next);
    });
    field.addEventListener("change", () => { if (field.value.trim() !== "") change(info.id, field.value); });
    field.addEventListener("keydown", (e) => { if (e.key === "Enter") { e.preventDefault(); field.blur(); } });
    inputs.append(slider, field);
  }
  row.append(inputs);
  control.range = element("div", { class: "note range" });
  control.note = element("div", { class: "note problem" });
  row.append(control.range, control.note);
  return control;
}

// A slider's travel, in positions; what each position means is the control's scale.
const SliderPositions = 1000;

// A slider over the control's range, denser near its low end when the default lies there (Matrix
// 5 of 0 to 200), so that a click lands near the values used; the keys step by a unit that fits
// the control (1 for a whole number). A value typed into the field may be anything.
function sliderScale(info) {
  const span = info.high - info.low;
  const share = (info.default - info.low) / span;
  const power = share > 0 && share < 1 ? Math.min(4, Math.max(1, Math.log(share) / Math.log(0.4))) : 1;
  const size = Math.abs(info.default) > 0 ? Math.abs(info.default) : span;
  const step = info.wholeNumber ? 1 : Math.pow(10, Math.floor(Math.log10(size)) - 1);
  const decimals = Math.max(0, -Math.floor(Math.log10(step)));
  const rounded = (v) => Number((Math.round(v / step) * step).toFixed(decimals));
  const clamped = (v) => Math.min(info.high, Math.max(info.low, v));
  return {
    step,
    value: (position) => rounded(info.low + span * Math.pow(position / SliderPositions, power)),
    position: (v) => Math.round(SliderPositions *
      Math.pow(Math.min(1, Math.max(0, (v - info.low) / span)) || 0, 1 / power)),
    key(key, now) {
      const from = Number.isFinite(now) ? clamped(now) : info.default;
      const moves = { ArrowRight: step, ArrowUp: step, ArrowLeft: -step, ArrowDown: -step,
                      PageUp: 10 * step, PageDown: -10 * step };
      if (key === "Home") return info.low;
      if (key === "End") return info.high;
      return key in moves ? rounded(clamped(from + moves[key])) : null;
    },
  };
}

async function resetControls(which) {
  try {
    const answer = await request("api/reset", which);
    newGeneration(answer.generation, answer.values);
  } catch (e) {
    showSave(e.message, true);
  }
}

async function pressAbout() {
  try {
    const box = await request("api/about", {});
    $("about-caption").textContent = box.caption;
    $("about-text").textContent = box.text;
    $("about").showModal();
  } catch (e) {
    showSave(e.message, true);
  }
}

function showSave(text, bad, line) {
  const where = $("save-result");
  where.hidden = false;
  where.className = bad ? "bad" : "";
  where.textContent = text;
  if (line) where.append(element("code", { id: "render-line" }, line));
}

// Saves the values of the picture shown. Without --save-settings the browser downloads them: the
// program opens no path the page names.
async function save() {
  try {
    const answer = await request("api/save", { generation: page.shown });
    if (answer.settings === undefined) {
      showSave(`Saved to ${answer.file}. Render the sequence with it:`, false, answer.renderLine);
      return;
    }
    const link = element("a", { download: "look.json" });
    link.href = URL.createObjectURL(new Blob([answer.settings], { type: "application/json" }));
    document.body.append(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(link.href), 10000);
    showSave("Downloaded look.json. Render with it: umbrix render … --settings look.json", false);
    $("save-result").dataset.settings = answer.settings;
  } catch (e) {
    showSave(e.message, true);
  }
}

// ---- Depth ----------------------------------------------------------------------------------------

// The menu as --depth's text: "inverse", "normalized:0.1:100".
function showDepth(text) {
  const [kind, near, far] = text.split(":");
  $("depth-kind").value = kind;
  $("depth-near-far").hidden = near === undefined;
  if (near !== undefined) { $("depth-near").value = near; $("depth-far").value = far; }
}

// A normalized kind waits for both NEAR and FAR; the program checks them.
async function changeDepth() {
  const kind = $("depth-kind").value;
  const ranged = kind.startsWith("normalized");
  $("depth-near-far").hidden = !ranged;
  const near = $("depth-near").value.trim(), far = $("depth-far").value.trim();
  if (ranged && (near === "" || far === "")) return;
  try {
    const answer = await request("api/depth", { depth: ranged ? `${kind}:${near}:${far}` : kind });
    $("depth-note").textContent = "";
    $("depth-box").dataset.value = ranged ? `${kind}:${near}:${far}` : kind;
    newGeneration(answer.generation);
  } catch (e) {
    $("depth-note").textContent = e.message;
  }
}

// ---- The picture ------------------------------------------------------------------------------

// Waits, for as long as the page is open, for each picture newer than the one shown: this page's
// changes, another page's, or a render given up.
async function watch() {
  for (;;) {
    try {
      const after = Math.max(page.shown, page.cancelled) + 1;
      const facts = await request(`api/result?generation=${after}`);
      if (facts.cancelled !== undefined) {
        page.cancelled = Math.max(page.cancelled, facts.cancelled);
        markStale();
        continue;
      }
      if (facts.error) { showError(facts); continue; }
      const got = await pixelsOf(facts);
      if (got && got.facts.generation > page.shown) showPicture(got);
    } catch (e) {
      $("time").textContent = e.message;
      await sleep(1000);
    }
  }
}

// What the view asks for: a view, or one channel alone; the depth over a range when one is given.
function viewQuery() {
  if (page.view.startsWith("channel:"))
    return `channel=${encodeURIComponent(page.view.slice(8))}`;
  const low = $("depth-low").value.trim(), high = $("depth-high").value.trim();
  const range = page.view === "depth" && low !== "" && high !== "" ?
    `&low=${encodeURIComponent(low)}&high=${encodeURIComponent(high)}` : "";
  return `view=${page.view}${range}`;
}

// The newest picture's pixels (or with &kept=G slot A's) as `asked`, a view and a part, with the
// picture's facts; why not, when there are none.
async function fetchPixels(asked) {
  const response = await fetchWithToken(`api/pixels?${asked}`);
  if (!response.ok)
    return { problem: response.status === 400 ? (await response.json()).error : "" };
  const facts = JSON.parse(response.headers.get("X-Umbrix-Facts"));
  return { facts, bytes: new Uint8ClampedArray(await response.arrayBuffer()) };
}

// The newest picture's pixels in the view, with its facts; nothing when it has none. `size` is the
// picture's (its facts'), of which the part on the stage is asked for at the size it shows at.
async function pixelsOf(size) {
  const view = page.view;
  const part = partShown(size.width, size.height);
  const key = `${viewQuery()}&x=${part.x}&y=${part.y}&w=${part.w}&h=${part.h}` +
    `&width=${part.width}&height=${part.height}`;
  const got = await fetchPixels(key);
  if (got.problem !== undefined) {
    if (got.problem) $("time").textContent = got.problem;
    return null;
  }
  document.body.dataset.view = view;
  return { facts: got.facts, bytes: got.bytes, part, key };
}

async function redraw() {
  if (!page.picture) return;
  const got = await pixelsOf(page.picture);
  if (got && got.facts.generation >= page.shown) showPicture(got);
}

function showFacts(facts) {
  page.shown = facts.generation;
  // A picture of values this page has not seen (another page's change) brings them.
  if (facts.generation >= page.latest && !changes.queue.length && !changes.busy) {
    page.latest = facts.generation;
    document.body.dataset.latest = page.latest;
    if (facts.values) showValues(facts.values);
  }
  document.body.dataset.shown = facts.generation;
  const list = $("warnings");
  list.replaceChildren(...facts.warnings.map((w) => element("li", {}, w)));
  markStale();
  const frame = $("frame");
  frame.value = facts.frame;
  $("frame-label").textContent = page.frames[facts.frame];
}

function showError(facts) {
  showFacts(facts);
  page.picture = null;
  const error = $("frame-error");
  error.hidden = false;
  error.textContent = facts.error;
  $("picture").hidden = true;
  $("time").textContent = "";
}

function showPicture({ facts, bytes, part, key }) {
  const canvas = $("picture");
  // Setting either, even to what it is, makes the canvas a new bitmap.
  if (canvas.width !== part.width || canvas.height !== part.height) {
    canvas.width = part.width;
    canvas.height = part.height;
  }
  page.bytes = bytes;
  page.part = part;
  page.key = key;
  document.body.dataset.part = [part.x, part.y, part.w, part.h, part.width, part.height].join(",");
  canvas.hidden = false;
  $("frame-error").hidden = true;
  page.picture = facts;
  showFacts(facts);
  display();
  $("time").textContent = `${facts.width}×${facts.height}, rendered in ${facts.milliseconds.toFixed(1)} ms`;
  for (const option of $("view").options)
    if (option.value === "shaded" || option.value === "beauty") option.disabled = !facts.beauty;
  showChannels(facts.channels || []);
  showViews(facts.views || [], facts.view);
  listCompared();
  place();
}

// ---- Display: exposure and gamma, A/B ------------------------------------------------------------

// Exposure and gamma change what is drawn only: the probe reads the program's floats.
function displayCurve() {
  const exposure = Number($("exposure").value), gamma = Number($("gamma").value);
  if (exposure === 0 && gamma === 1) return null;
  const decode = (v) => v <= 0.04045 ? v / 12.92 : Math.pow((v + 0.055) / 1.055, 2.4);
  const encode = (v) => v <= 0.0031308 ? 12.92 * v : 1.055 * Math.pow(v, 1 / 2.4) - 0.055;
  const curve = new Uint8ClampedArray(256);
  for (let k = 0; k < 256; ++k) {
    const linear = Math.min(1, decode(k / 255) * Math.pow(2, exposure));
    curve[k] = Math.round(255 * encode(Math.pow(linear, 1 / gamma)));
  }
  return curve;
}

function display() {
  const part = page.part;
  if (!page.picture || !page.bytes || !part) return;
  const slot = compare.slot;
  const same = slot && slot.key === page.key;
  if (slot && !same) keptPixels();
  let bytes = page.bytes;
  if (same && compare.showing) bytes = slot.bytes;
  else if (same && compare.wipe > 0) {
    bytes = new Uint8ClampedArray(page.bytes);
    const split = Math.round(part.width * compare.wipe) * 4, row = part.width * 4;
    for (let y = 0; y < part.height; ++y)
      bytes.set(slot.bytes.subarray(y * row, y * row + split), y * row);
  }
  const curve = displayCurve();
  if (curve) {
    const shown = new Uint8ClampedArray(bytes.length);
    for (let k = 0; k < bytes.length; k += 4) {
      shown[k] = curve[bytes[k]]; shown[k + 1] = curve[bytes[k + 1]]; shown[k + 2] = curve[bytes[k + 2]];
      shown[k + 3] = 255;
    }
    bytes = shown;
  }
  $("picture").getContext("2d").putImageData(new ImageData(bytes, part.width, part.height), 0, 0);
  document.body.dataset.showing = compare.showing && same ? "A" : "B";
}

// Slot A keeps a look (its picture and values) to compare the controls' look, B, against. The
// program holds its picture, to send again for another view or part; until then, and when it no
// longer holds it, A shows only where it was kept.
const compare = { slot: null, showing: false, wipe: 0, asking: false };

async function keepInSlot() {
  if (!page.picture || !page.bytes) return;
  const { values, generation } = page.picture;
  const slot = { values, generation, key: page.key, bytes: new Uint8ClampedArray(page.bytes), kept: false };
  compare.slot = slot;
  $("compare").hidden = false;
  listCompared();
  display();
  try {
    await request("api/keep", { generation });
    slot.kept = true;
    display();
  } catch (e) {
    showSave(e.message, true);
  }
}

// Slot A's picture as B's is shown (its view and part), one request at a time.
async function keptPixels() {
  const slot = compare.slot, key = page.key;
  if (!slot.kept || compare.asking) return;
  compare.asking = true;
  try {
    const got = await fetchPixels(`${key}&kept=${slot.generation}`);
    if (got.problem !== undefined) slot.kept = false;
    else if (compare.slot === slot) { slot.bytes = got.bytes; slot.key = key; }
  } catch (e) {
    slot.kept = false;
  } finally {
    compare.asking = false;
  }
  display();
}

function listCompared() {
  const a = compare.slot && compare.slot.values, b = page.picture && page.picture.values;
  if (!a || !b) return;
  const lines = Object.keys(b).map((id) =>
    `${id.padEnd(22)} A ${String(a[id]).padStart(8)}   B ${String(b[id]).padStart(8)}${a[id] === b[id] ? "" : "  ≠"}`);
  $("compare-values").textContent = lines.join("\n");
}

function showChannels(names) {
  const group = $("channels");
  const known = Array.from(group.children).map((o) => o.value.slice(8));
  if (known.join("\n") === names.join("\n")) return;
  group.replaceChildren(...names.map((name) => element("option", { value: `channel:${name}` }, name)));
}

// ---- Fit, 1:1 and pan ---------------------------------------------------------------------------

// Where a width × height picture lies on the stage: fit, or as zoomed and panned.
function layoutOf(width, height) {
  const stage = $("stage").getBoundingClientRect();
  if (!page.fit) return { zoom: page.zoom, panX: page.panX, panY: page.panY, stage };
  const zoom = Math.min(stage.width / width, stage.height / height);
  return { zoom, panX: (stage.width - width * zoom) / 2, panY: (stage.height - height * zoom) / 2, stage };
}

// The part of a width × height picture on the stage, and the size it shows at in device pixels:
// never above the part's own, as zoomed in the canvas scales it up. The whole picture when none of
// it is in sight.
function partShown(width, height) {
  const { zoom, panX, panY, stage } = layoutOf(width, height);
  const scale = zoom > 0 ? zoom : 1;
  let x = Math.max(0, Math.floor(-panX / scale)), y = Math.max(0, Math.floor(-panY / scale));
  let right = Math.min(width, Math.ceil((stage.width - panX) / scale));
  let bottom = Math.min(height, Math.ceil((stage.height - panY) / scale));
  if (right <= x || bottom <= y) [x, y, right, bottom] = [0, 0, width, height];
  const w = right - x, h = bottom - y, device = scale * (window.devicePixelRatio || 1);
  return { x, y, w, h, width: Math.min(w, Math.max(1, Math.round(w * device))),
           height: Math.min(h, Math.max(1, Math.round(h * device))) };
}

function place() {
  const canvas = $("picture"), part = page.part;
  if (!page.picture || !part) return;
  ({ zoom: page.zoom, panX: page.panX, panY: page.panY } = layoutOf(page.picture.width, page.picture.height));
  // The part the canvas holds, where it lies on the stage: zoomed or panned, the picture there is
  // drawn scaled until the part now shown comes. One that came at the size shown is drawn pixel
  // for pixel, at whole device pixels: a compositor's resampling would cost time and sharpness.
  const device = window.devicePixelRatio || 1;
  const scale = (size, length) =>
    Math.round(size * page.zoom * device) === length ? 1 / device : size * page.zoom / length;
  const at = (pan, offset) => Math.round((pan + offset * page.zoom) * device) / device;
  canvas.style.transform = `translate(${at(page.panX, part.x)}px, ${at(page.panY, part.y)}px) ` +
    `scale(${scale(part.w, part.width)}, ${scale(part.h, part.height)})`;
  $("fit").classList.toggle("chosen", page.fit);
  $("actual").classList.toggle("chosen", !page.fit && page.zoom === 1);
  $("zoom").textContent = `${Math.round(page.zoom * 100)}%`;
  document.body.dataset.zoom = page.zoom;
  // The probe follows the picture under a cursor that stays.
  if (pointer.at) { const at = pixelUnder(pointer.at); if (at) probe(...at); }
  askForPart();
}

// Once zoom, pan and the window's size have settled for a moment, the part now shown is asked
// for, if it is not the one drawn: one request at a time.
const asking = { timer: 0, busy: false };

function askForPart() {
  clearTimeout(asking.timer);
  asking.timer = setTimeout(askNow, 150);
}

async function askNow() {
  if (!page.picture || !page.part) return;
  if (asking.busy) { askForPart(); return; }
  const now = partShown(page.picture.width, page.picture.height);
  if (["x", "y", "w", "h", "width", "height"].every((k) => now[k] === page.part[k])) return;
  asking.busy = true;
  try {
    const got = await pixelsOf(page.picture);
    if (got && got.facts.generation >= page.shown) showPicture(got);
  } catch (e) {
    $("time").textContent = e.message;
  } finally {
    asking.busy = false;
  }
}

const pointer = { at: null };

// Zooms by `factor` keeping the point (x, y) of the stage where it is: from fit to 16×.
function zoomAround(factor, x, y) {
  if (!page.picture) return;
  const stage = $("stage").getBoundingClientRect();
  const fit = Math.min(stage.width / page.picture.width, stage.height / page.picture.height);
  const zoom = Math.min(16, Math.max(Math.min(fit, 1), page.zoom * factor));
  if (zoom <= fit && factor < 1) { page.fit = true; place(); return; }
  page.panX = x - (x - page.panX) * zoom / page.zoom;
  page.panY = y - (y - page.panY) * zoom / page.zoom;
  page.zoom = zoom;
  page.fit = false;
  place();
}

function setScale(fit) {
  page.fit = fit;
  if (!fit && page.picture) {
    const stage = $("stage").getBoundingClientRect();
    page.zoom = 1;
    page.panX = Math.round((stage.width - page.picture.width) / 2);
    page.panY = Math.round((stage.height - page.picture.height) / 2);
  }
  place();
}

function pannable() {
  const stage = $("stage");
  let from = null;
  stage.addEventListener("mousedown", (e) => {
    if (page.fit || e.button !== 0) return;
    from = { x: e.clientX - page.panX, y: e.clientY - page.panY };
    stage.classList.add("panning");
  });
  window.addEventListener("mousemove", (e) => {
    if (!from) return;
    page.panX = e.clientX - from.x;
    page.panY = e.clientY - from.y;
    place();
  });
  window.addEventListener("mouseup", () => { from = null; stage.classList.remove("panning"); });
  window.addEventListener("resize", place);
}

// ---- The probe -----------------------------------------------------------------------------------

const probing = { busy: false, next: null };

async function probe(x, y) {
  if (probing.busy) { probing.next = [x, y]; return; }
  probing.busy = true;
  try {
    const answer = await request(`api/probe?x=${x}&y=${y}`);
    if (page.picture && answer.generation === page.shown) showProbe(answer);
  } catch (e) {
    $("probe").textContent = e.message;
  } finally {
    probing.busy = false;
    if (probing.next) { const [nx, ny] = probing.next; probing.next = null; probe(nx, ny); }
  }
}

function showProbe(answer) {
  const box = $("probe");
  const lines = [`pixel ${answer.x}, ${answer.y}`];
  for (const [name, value] of Object.entries(answer.values)) {
    lines.push(`${name.padEnd(6)} ${value.text.padStart(14)}  0x${value.bits}`);
    box.dataset[`${name.toLowerCase()}Bits`] = value.bits;
  }
  box.dataset.x = answer.x;
  box.dataset.y = answer.y;
  box.textContent = lines.join("\n");
}

// The picture's pixel under the cursor, through the part the canvas holds.
function pixelUnder(e) {
  const part = page.part;
  if (!part) return null;
  const bounds = $("picture").getBoundingClientRect();
  const x = Math.floor(part.x + (e.clientX - bounds.left) / bounds.width * part.w);
  const y = Math.floor(part.y + (e.clientY - bounds.top) / bounds.height * part.h);
  return x >= part.x && y >= part.y && x < part.x + part.w && y < part.y + part.h ? [x, y] : null;
}

// ---- Start ---------------------------------------------------------------------------------------

// ---- Progress and Cancel -------------------------------------------------------------------------

const progress = { now: null };

// Asked every quarter second: what the program renders, and a sign that this page still looks.
async function pollProgress() {
  try {
    progress.now = await request("api/progress");
  } catch (e) {
    progress.now = null;
  }
  showProgress();
}

function showProgress() {
  const now = progress.now;
  const box = $("progress");
  const button = $("cancel");
  const running = now && now.generation > page.shown && now.generation <= page.latest;
  const given = page.cancelled >= page.latest && page.shown < page.latest;
  box.hidden = !running && !given;
  button.textContent = running ? "Cancel" : "Render";
  box.dataset.state = running ? "running" : given ? "cancelled" : "";
  if (running) {
    const share = now.totalRows ? now.rows / now.totalRows : 0;
    $("progress-bar").value = share;
    $("progress-text").textContent =
      `rendering: ${now.rows} of ${now.totalRows} rows, ${(now.milliseconds / 1000).toFixed(1)} s`;
  } else if (given) {
    $("progress-bar").value = 0;
    $("progress-text").textContent = "render cancelled: the picture shows older values";
  }
}

async function cancelOrRender() {
  try {
    if ($("progress").dataset.state === "running") {
      const answer = await request("api/cancel", {});
      page.cancelled = Math.max(page.cancelled, answer.cancelled);
    } else {
      newGeneration((await request("api/render", {})).generation);
    }
  } catch (e) {
    $("time").textContent = e.message;
  }
  showProgress();
}

// ---- Undo and redo -------------------------------------------------------------------------------

// Control changes made on this page; a drag or typing on one control within a second is one step.
const edits = { done: [], undone: [] };

function remember(id, before, after) {
  const last = edits.done[edits.done.length - 1];
  if (last && last.id === id && performance.now() - last.at < 1000) { last.after = after; last.at = performance.now(); }
  else edits.done.push({ id, before, after, at: performance.now() });
  edits.undone = [];
}

function step(from, to, side) {
  const entry = from.pop();
  if (!entry) return;
  to.push(entry);
  const control = page.controls.get(entry.id);
  showValue(control, entry[side]);
  change(entry.id, entry[side], true);
}

// ---- Keys ----------------------------------------------------------------------------------------

const Keys = [
  ["Ctrl+Z / Ctrl+Shift+Z", "undo / redo a control change"],
  ["+ / − or the wheel", "zoom in / out (around the cursor)"],
  ["F / 1", "fit / 1:1"],
  ["E / Shift+E", "exposure up / down"],
  ["G / Shift+G", "gamma up / down"],
  ["0", "exposure 0, gamma 1"],
  ["C / V", "the next channel alone / back to the view"],
  ["[ / ]", "previous / next frame"],
  ["K", "keep this look in slot A"],
  ["Space", "show A / B"],
  ["Escape", "cancel the render"],
];

function onKey(e) {
  const typing = e.target.closest && e.target.closest("input, select, textarea");
  if ((e.ctrlKey || e.metaKey) && e.key.toLowerCase() === "z" && !typing) {
    e.preventDefault();
    if (e.shiftKey) step(edits.undone, edits.done, "after"); else step(edits.done, edits.undone, "before");
    return;
  }
  if ((e.ctrlKey || e.metaKey) && e.key.toLowerCase() === "y" && !typing) {
    e.preventDefault();
    step(edits.undone, edits.done, "after");
    return;
  }
  if (typing || e.ctrlKey || e.metaKey || e.altKey) return;
  const stage = $("stage").getBoundingClientRect();
  const nudge = (id, by, low, high) => {
    const field = $(id);
    field.value = String(Math.min(high, Math.max(low, Math.round((Number(field.value) + by) * 10) / 10)));
    display();
  };
  const actions = {
    "+": () => zoomAround(2, stage.width / 2, stage.height / 2),
    "=": () => zoomAround(2, stage.width / 2, stage.height / 2),
    "-": () => zoomAround(0.5, stage.width / 2, stage.height / 2),
    f: () => setScale(true), "1": () => setScale(false),
    e: () => nudge("exposure", 0.5, -10, 10), E: () => nudge("exposure", -0.5, -10, 10),
    g: () => nudge("gamma", 0.1, 0.2, 4), G: () => nudge("gamma", -0.1, 0.2, 4),
    "0": () => { $("exposure").value = "0"; $("gamma").value = "1"; display(); },
    c: nextChannel, v: () => chooseView(page.lastView || "normals"),
    "[": () => stepFrame(-1), "]": () => stepFrame(1),
    k: keepInSlot,
    " ": () => { compare.showing = !compare.showing; display(); },
    Escape: () => { if ($("progress").dataset.state === "running") cancelOrRender(); },
  };
  const action = actions[e.key];
  if (!action) return;
  e.preventDefault();
  action();
}

// A multi-view frame's views, the one shown chosen.
function showViews(views, shown) {
  const menu = $("stereo-view");
  if (Array.from(menu.options).map((o) => o.value).join("\n") !== views.join("\n"))
    menu.replaceChildren(...views.map((name) => element("option", { value: name }, name)));
  menu.hidden = views.length < 2;
  if (shown) menu.value = shown;
}

function nextChannel() {
  const names = Array.from($("channels").children).map((o) => o.value);
  if (names.length) chooseView(names[(names.indexOf(page.view) + 1) % names.length]);
}

function chooseView(view) {
  if (!Array.from($("view").options).some((o) => o.value === view)) return;
  if (!view.startsWith("channel:")) page.lastView = view;
  page.view = view;
  $("view").value = view;
  $("depth-range").hidden = view !== "depth";
  redraw();
}

async function stepFrame(by) {
  const frame = $("frame");
  const index = Number(frame.value) + by;
  if (index < 0 || index > Number(frame.max)) return;
  frame.value = String(index);
  frame.dispatchEvent(new Event("input"));
}

async function start() {
  const state = await request("api/state");
  const form = $("controls");
  for (const info of state.controls) {
    const control = controlRow(info);
    page.controls.set(info.id, control);
    form.append(control.row);
    if (info.kind !== "button") showValue(control, info.value);
    if (info.page) $("page-name").textContent = info.page;
  }
  page.frames = state.frames;
  if (state.frames.length > 1) {
    $("frame-box").hidden = false;
    $("frame").max = state.frames.length - 1;
  }
  $("frame").value = state.frame;
  $("frame-label").textContent = state.frames[state.frame];
  $("frame").addEventListener("input", async () => {
    try {
      const answer = await request("api/frame", { index: Number($("frame").value) });
      newGeneration(answer.generation);
    } catch (e) { $("time").textContent = e.message; }
  });
  $("stereo-view").addEventListener("change", async () => {
    try {
      const answer = await request("api/view", { view: $("stereo-view").value });
      newGeneration(answer.generation);
    } catch (e) { $("time").textContent = e.message; }
  });
  $("reset-all").addEventListener("click", () => resetControls({}));
  showDepth(state.depth);
  $("depth-box").dataset.value = state.depth;
  for (const id of ["depth-kind", "depth-near", "depth-far"]) $(id).addEventListener("change", changeDepth);
  if (state.startedFrom) {
    $("started").hidden = false;
    $("started-text").textContent = `${state.startedFrom}.`;
  }
  $("to-defaults").addEventListener("click", async () => {
    await resetControls({});
    $("started").hidden = true;
  });
  $("save").addEventListener("click", save);
  $("view").addEventListener("change", () => chooseView($("view").value));
  for (const id of ["exposure", "gamma"]) $(id).addEventListener("input", display);
  for (const id of ["depth-low", "depth-high"]) $(id).addEventListener("change", redraw);
  $("keep").addEventListener("click", keepInSlot);
  $("toggle").addEventListener("click", () => { compare.showing = !compare.showing; display(); });
  $("wipe").addEventListener("input", () => { compare.wipe = Number($("wipe").value); display(); });
  $("stage").addEventListener("wheel", (e) => {
    e.preventDefault();
    const stage = $("stage").getBoundingClientRect();
    zoomAround(e.deltaY < 0 ? 1.25 : 0.8, e.clientX - stage.left, e.clientY - stage.top);
  }, { passive: false });
  $("picture").addEventListener("mouseleave", () => { pointer.at = null; });
  document.addEventListener("keydown", onKey);
  $("keys").replaceChildren(...Keys.map(([keys, what]) => element("li", {}, `${keys}: ${what}`)));
  $("cancel").addEventListener("click", cancelOrRender);
  $("fit").addEventListener("click", () => setScale(true));
  $("actual").addEventListener("click", () => setScale(false));
  $("picture").addEventListener("mousemove", (e) => {
    pointer.at = { clientX: e.clientX, clientY: e.clientY };
    const at = pixelUnder(e);
    if (at) probe(...at);
  });
  pannable();
  document.body.dataset.ready = "1";
  newGeneration(state.generation);
  setInterval(pollProgress, 250);
  watch();
}

start().catch((e) => { document.body.textContent = `umbrix look: ${e.message}`; });
