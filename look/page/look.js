"use strict";
// The page of `umbrix look`: the tool's controls as it declares them, and the picture rendered
// with them. Every change goes to the program one at a time, in order; the picture shown is the
// one rendered with the controls on screen, and is marked stale while a newer one renders.

const $ = (id) => document.getElementById(id);
const page = {
  controls: new Map(), // id -> {info, row, value}
  latest: 0,           // the generation that the controls on screen will be rendered as
  shown: 0,            // the generation of the picture on screen
  picture: null,       // {generation, width, height, x, y}
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

function newGeneration(generation) {
  if (generation > page.latest) page.latest = generation;
  document.body.dataset.latest = page.latest;
  $("picture").classList.add("stale");
  refresh();
}

// ---- Controls -----------------------------------------------------------------------------

const changes = { queue: [], sending: false };

// A slider's drag sends its newest value once the change before it is answered.
function change(id, value) {
  const pending = changes.queue.find((c) => c.id === id);
  if (pending) pending.value = value; else changes.queue.push({ id, value });
  sendChanges();
}

async function sendChanges() {
  if (changes.sending) return;
  changes.sending = true;
  while (changes.queue.length) {
    const { id, value } = changes.queue.shift();
    const control = page.controls.get(id);
    try {
      const answer = await request("api/control", { id, value });
      control.note.textContent = "";
      showValue(control, answer.value);
      newGeneration(answer.generation);
    } catch (e) {
      control.note.textContent = e.message;
    }
  }
  changes.sending = false;
}

function numberOf(value) {
  if (typeof value === "number") return value;
  return value === "nan" ? NaN : value === "inf" ? Infinity : value === "-inf" ? -Infinity : +value;
}

function showValue(control, value) {
  const { info, row } = control;
  control.value = value;
  const number = numberOf(value);
  if (info.kind === "checkbox") row.querySelector(".check").checked = number !== 0;
  if (info.kind === "combo") row.querySelector(".combo").value = String(Math.trunc(number));
  if (info.kind === "slider") {
    row.querySelector(".slider").value = String(number);
    const field = row.querySelector(".number");
    if (document.activeElement !== field) field.value = String(value);
    const outside = !(number >= info.low && number <= info.high);
    row.classList.toggle("out", outside);
    control.range.textContent = outside ? `outside ${info.low} to ${info.high}: passed on as it is` : "";
  }
  row.dataset.value = String(value);
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
  const control = { info, row, value: info.value };
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
    const slider = element("input", {
      type: "range", class: "slider", min: info.low, max: info.high,
      step: info.wholeNumber ? 1 : "any", "aria-label": info.name,
    });
    const field = element("input", { type: "text", class: "number", id: fieldId, inputmode: "decimal" });
    slider.addEventListener("input", () => { field.value = slider.value; change(info.id, Number(slider.value)); });
    field.addEventListener("change", () => change(info.id, field.value));
    field.addEventListener("keydown", (e) => { if (e.key === "Enter") { e.preventDefault(); field.blur(); } });
    inputs.append(slider, field);
  }
  row.append(inputs);
  control.range = element("div", { class: "note range" });
  control.note = element("div", { class: "note problem" });
  row.append(control.range, control.note);
  return control;
}

async function resetControls(which) {
  try {
    const answer = await request("api/reset", which);
    for (const [id, value] of Object.entries(answer.values)) showValue(page.controls.get(id), value);
    newGeneration(answer.generation);
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

async function save() {
  try {
    const answer = await request("api/save", {});
    showSave(`Saved to ${answer.file}. Render the sequence with it:`, false, answer.renderLine);
  } catch (e) {
    showSave(e.message, true);
  }
}

// ---- The picture ------------------------------------------------------------------------------

let refreshing = false;

// Fetches pictures until the one on screen is the newest generation's.
async function refresh(force) {
  if (refreshing) { page.again = page.again || force; return; }
  refreshing = true;
  try {
    while (force || page.again || page.shown < page.latest) {
      force = false; page.again = false;
      const wanted = page.latest;
      const facts = await request(`api/result?generation=${wanted}`);
      if (facts.generation < page.latest) continue; // changed meanwhile: wait for the newer one
      if (facts.error) { showError(facts); continue; }
      const view = page.view;
      const response = await fetchWithToken(`api/pixels?view=${view}`);
      if (!response.ok) continue;
      const generation = Number(response.headers.get("X-Umbrix-Generation"));
      if (generation !== facts.generation) { page.again = true; continue; }
      const bytes = new Uint8ClampedArray(await response.arrayBuffer());
      if (page.latest !== facts.generation) continue;
      showPicture(facts, bytes);
      document.body.dataset.view = view;
    }
  } catch (e) {
    $("time").textContent = e.message;
  } finally {
    refreshing = false;
  }
}

function showFacts(facts) {
  page.shown = facts.generation;
  document.body.dataset.shown = facts.generation;
  const list = $("warnings");
  list.replaceChildren(...facts.warnings.map((w) => element("li", {}, w)));
  $("picture").classList.toggle("stale", page.shown < page.latest);
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

function showPicture(facts, bytes) {
  const canvas = $("picture");
  const resized = canvas.width !== facts.width || canvas.height !== facts.height;
  // Setting either, even to what it is, makes the canvas a new bitmap.
  if (resized) {
    canvas.width = facts.width;
    canvas.height = facts.height;
  }
  canvas.getContext("2d").putImageData(new ImageData(bytes, facts.width, facts.height), 0, 0);
  canvas.hidden = false;
  $("frame-error").hidden = true;
  page.picture = facts;
  showFacts(facts);
  $("time").textContent = `${facts.width}×${facts.height}, rendered in ${facts.milliseconds.toFixed(1)} ms`;
  for (const option of $("view").options)
    if (option.value === "shaded" || option.value === "beauty") option.disabled = !facts.beauty;
  if (resized) place();
}

// ---- Fit, 1:1 and pan ---------------------------------------------------------------------------

function place() {
  const stage = $("stage").getBoundingClientRect();
  const canvas = $("picture");
  if (page.fit) {
    page.zoom = Math.min(stage.width / canvas.width, stage.height / canvas.height);
    page.panX = (stage.width - canvas.width * page.zoom) / 2;
    page.panY = (stage.height - canvas.height * page.zoom) / 2;
  }
  canvas.style.transform = `translate(${page.panX}px, ${page.panY}px) scale(${page.zoom})`;
  $("fit").classList.toggle("chosen", page.fit);
  $("actual").classList.toggle("chosen", !page.fit);
}

function setScale(fit) {
  page.fit = fit;
  if (!fit) {
    const stage = $("stage").getBoundingClientRect();
    const canvas = $("picture");
    page.zoom = 1;
    page.panX = Math.round((stage.width - canvas.width) / 2);
    page.panY = Math.round((stage.height - canvas.height) / 2);
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

function pixelUnder(e) {
  const canvas = $("picture");
  const bounds = canvas.getBoundingClientRect();
  const x = Math.floor((e.clientX - bounds.left) / bounds.width * canvas.width);
  const y = Math.floor((e.clientY - bounds.top) / bounds.height * canvas.height);
  return x >= 0 && y >= 0 && x < canvas.width && y < canvas.height ? [x, y] : null;
}

// ---- Start ---------------------------------------------------------------------------------------

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
  $("reset-all").addEventListener("click", () => resetControls({}));
  $("save").addEventListener("click", save);
  $("view").addEventListener("change", () => { page.view = $("view").value; refresh(true); });
  $("fit").addEventListener("click", () => setScale(true));
  $("actual").addEventListener("click", () => setScale(false));
  $("picture").addEventListener("mousemove", (e) => { const at = pixelUnder(e); if (at) probe(...at); });
  pannable();
  document.body.dataset.ready = "1";
  newGeneration(state.generation);
}

start().catch((e) => { document.body.textContent = `umbrix look: ${e.message}`; });
