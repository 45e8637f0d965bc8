// The material editor page of plughost serve.
//
// The page draws what the host reads back from its windows (every control at
// the rectangle the host computed from the dialog template) and sends what the
// person does as actions: the same ones as plughost edit's options (spin,
// step, type, click, color, map, time, animate, open, close). The host's
// dialog procedures decide what an action changes; the page holds no value of
// its own and redraws from the answer.
'use strict';

const $ = (id) => document.getElementById(id);

// ---- Talking to the server ------------------------------------------------------

async function request(method, path, body) {
  const init = { method, headers: {} };
  if (body !== undefined) {
    init.headers['Content-Type'] = 'application/json';
    init.body = JSON.stringify(body);
  }
  const res = await fetch(path, init);
  if (!res.ok) {
    const reason = (await res.text()).trim() || `HTTP ${res.status}`;
    throw Object.assign(new Error(reason), { status: res.status });
  }
  return res;
}

// Work under way (actions waiting or on their way, pictures asked for): the
// page says it is busy until all of it has been answered and drawn.
let busy = 0;
async function busyWhile(work) {
  document.body.setAttribute('aria-busy', String(++busy > 0));
  try {
    return await work();
  } finally {
    document.body.setAttribute('aria-busy', String(--busy > 0));
  }
}

// Actions go one at a time, in the order the person made them.
let queue = Promise.resolve();
function enqueue(work) {
  const next = busyWhile(() => queue.then(work, work));
  queue = next.catch(() => {});
  return next;
}

function showStatus(text, isError) {
  const s = $('status');
  s.textContent = text;
  s.classList.toggle('error', !!isError);
}

let bumpShown = false; // the server's default bump amount is shown once, then the hand's
let state = null;

async function act(kind, control, value, place) {
  const body = { kind };
  if (place) body.place = place;
  if (control !== undefined && control !== null) body.control = control;
  if (value !== undefined && value !== null) body.value = String(value);
  try {
    const answer = await (await request('POST', '/api/action', body)).json();
    // The picture is asked for first: the server renders while the page
    // draws the rollups.
    requestPreview();
    render(answer.state);
    for (const address of answer.opened) window.open(address, '_blank', 'noopener');
    if (answer.messages.length) showStatus(answer.messages.join(' · '));
    else showStatus('');
    return answer;
  } catch (e) {
    showStatus(e.message, true);
    await refresh();
    return null;
  }
}

// Several gestures of one kind on one control while an action is on its way
// (a drag, a colour being picked, the time slider) become one action: steps
// add up, other values replace each other.
const waiting = new Map();
function coalesced(key, kind, control, value, add) {
  const w = waiting.get(key);
  if (w) {
    w.value = add ? w.value + value : value;
    return;
  }
  const entry = { value };
  waiting.set(key, entry);
  enqueue(async () => {
    waiting.delete(key);
    if (add && entry.value === 0) return;
    await act(kind, control, entry.value);
  });
}

async function refresh() {
  try {
    render(await (await request('GET', '/api/state')).json());
  } catch (e) {
    showStatus(e.message, true);
  }
}

// ---- The sample slot ------------------------------------------------------------

let previewAsked = 0;  // the newest request made
let previewShown = 0;  // the request whose picture is shown
// While a hand drags a spinner the slot shows coarse pictures, a sixteenth
// of the pixels each, so that they keep up; the full one follows the drag.
let handDragging = false;
const kPreviewSize = 256, kCoarsePreviewSize = 64;
function requestPreview() {
  return busyWhile(askForPreview);
}

async function askForPreview() {
  const serial = ++previewAsked;
  const started = performance.now();
  const params = new URLSearchParams({
    view: $('view').value, channel: $('channel').value, bump: $('bump-amount').value || '0',
    size: handDragging ? kCoarsePreviewSize : kPreviewSize });
  $('preview-note').textContent = 'Rendering…';
  try {
    const res = await request('GET', `/api/preview?${params}`);
    const blob = await res.blob();
    // A picture that a newer one already replaced stays unseen.
    if (serial <= previewShown) return;
    previewShown = serial;
    const img = $('preview');
    const old = img.src;
    img.src = URL.createObjectURL(blob);
    if (old.startsWith('blob:')) URL.revokeObjectURL(old);
    await img.decode().catch(() => {});
    img.dataset.serial = String(serial);
    if (serial === previewAsked) {
      $('preview-note').textContent = `${$('view').value}, ${$('channel').value} · ${Math.round(performance.now() - started)} ms`;
    }
  } catch (e) {
    // 409: overtaken by a newer request, or by an edit. Unless a newer
    // request is on its way, ask again for the state as it is now.
    if (e.status !== 409) showStatus(e.message, true);
    else if (serial === previewAsked) await askForPreview();
  }
}

// ---- Drawing the rollups --------------------------------------------------------

const elements = new Map();  // host window number -> element, kept across redraws

function px(v) { return `${v}px`; }

function place(el, rect) {
  el.style.left = px(rect.x);
  el.style.top = px(rect.y);
  el.style.width = px(rect.w);
  el.style.height = px(rect.h);
}

function applyFont(el, font) {
  if (!font) return;
  el.style.fontSize = px(font.px);
  el.style.fontWeight = String(font.weight);
  el.style.fontStyle = font.italic ? 'italic' : 'normal';
}

// The name a person would read for a control: the label just left of it on
// its row, with nothing in between (Windows dialogs put a field's label there).
function labelFor(c, controls) {
  const mid = c.rect.y + c.rect.h / 2;
  const onRow = (o) => o.visible && o !== c && mid >= o.rect.y - 2 && mid <= o.rect.y + o.rect.h + 2 &&
    o.rect.x + o.rect.w <= c.rect.x + 3;
  let nearest = null;
  for (const o of controls) {
    if (o.role === 'group' || !onRow(o)) continue;
    if (!nearest || o.rect.x + o.rect.w > nearest.rect.x + nearest.rect.w) nearest = o;
  }
  return nearest && nearest.role === 'label' && nearest.text ? nearest.text.replace(/:\s*$/, '') : '';
}

// The group box a control sits in, for names that repeat in one rollup.
function groupFor(c, controls) {
  for (const o of controls) {
    if (o.role !== 'group' || !o.visible) continue;
    const r = o.rect;
    if (c.rect.x >= r.x && c.rect.y >= r.y && c.rect.x + c.rect.w <= r.x + r.w && c.rect.y + c.rect.h <= r.y + r.h)
      return o.text;
  }
  return '';
}

function make(c, ctx) {
  let el;
  switch (c.role) {
    case 'label':
      el = document.createElement('div');
      break;
    case 'link':
      el = document.createElement('a');
      el.href = '#';
      el.addEventListener('click', (e) => {
        e.preventDefault();
        ctx.click(el.dataset.ref);
      });
      break;
    case 'image':
      el = document.createElement('img');
      el.alt = '';
      el.addEventListener('click', () => {
        if (el.dataset.notify) ctx.click(el.dataset.ref);
      });
      break;
    case 'group':
      el = document.createElement('div');
      el.setAttribute('role', 'group');
      el.append(document.createElement('span'));
      break;
    case 'check':
    case 'radio': {
      el = document.createElement('label');
      const box = document.createElement('input');
      box.type = c.role === 'check' ? 'checkbox' : 'radio';
      const text = document.createElement('span');
      el.append(box, text);
      // The host toggles the box (or not): the page only reports the click.
      box.addEventListener('click', (e) => {
        e.preventDefault();
        ctx.click(el.dataset.ref);
      });
      break;
    }
    case 'push':
    case 'button':
      el = document.createElement('button');
      el.addEventListener('click', () => ctx.click(el.dataset.ref, c.role === 'button'));
      break;
    case 'edit':
      el = document.createElement('input');
      el.type = 'text';
      el.spellcheck = false;
      el.addEventListener('input', () => { el.dataset.typing = '1'; });
      el.addEventListener('keydown', (e) => {
        if (e.key === 'Enter') {
          e.preventDefault();
          commitEdit(el, ctx);
        } else if (e.key === 'Escape') {
          delete el.dataset.typing;
          el.value = el.dataset.hostText;
        } else if ((e.key === 'ArrowUp' || e.key === 'ArrowDown' || e.key === 'PageUp' || e.key === 'PageDown') &&
                   el.dataset.spinner) {
          e.preventDefault();
          const steps = { ArrowUp: 1, ArrowDown: -1, PageUp: 10, PageDown: -10 }[e.key];
          ctx.step(el.dataset.spinner, steps);
        }
      });
      el.addEventListener('blur', () => { if (el.dataset.typing) commitEdit(el, ctx); });
      break;
    case 'spinner':
      el = makeSpinner(ctx);
      break;
    case 'swatch':
      el = document.createElement('input');
      el.type = 'color';
      el.addEventListener('input', () => ctx.color(el.dataset.ref, el.value));
      break;
    case 'combo':
      el = document.createElement('select');
      el.disabled = true;
      break;
    default:
      el = document.createElement('div');
  }
  el.classList.add('control', c.role);
  return el;
}

function commitEdit(el, ctx) {
  delete el.dataset.typing;
  ctx.type(el.dataset.ref, el.value);
}

// A spinner: its arrows click one step each; held and dragged up or down,
// every pixel is a step, as the host's spinners go.
function makeSpinner(ctx) {
  const el = document.createElement('div');
  const up = document.createElement('button');
  const down = document.createElement('button');
  up.className = 'up';
  down.className = 'down';
  up.tabIndex = down.tabIndex = -1;
  el.append(up, down);
  let drag = null;
  el.addEventListener('pointerdown', (e) => {
    if (el.classList.contains('disabled')) return;
    e.preventDefault();
    el.setPointerCapture(e.pointerId);
    drag = { y: e.clientY, moved: false, up: e.target === up || (e.target !== down && e.offsetY < el.clientHeight / 2) };
    handDragging = true;
    el.classList.add('dragging');
  });
  el.addEventListener('pointermove', (e) => {
    if (!drag) return;
    const steps = Math.trunc(drag.y - e.clientY);
    if (steps === 0) return;
    drag.moved = true;
    drag.y -= steps;
    ctx.step(el.dataset.ref, steps);
  });
  const end = () => {
    if (!drag) return;
    handDragging = false;
    if (!drag.moved) ctx.step(el.dataset.ref, drag.up ? 1 : -1);
    // After the drag's last action: the full picture.
    else enqueue(() => requestPreview());
    drag = null;
    el.classList.remove('dragging');
  };
  el.addEventListener('pointerup', end);
  el.addEventListener('pointercancel', () => {
    if (drag && drag.moved) enqueue(() => requestPreview());
    handDragging = false;
    drag = null;
    el.classList.remove('dragging');
  });
  return el;
}

function update(el, c, ctx, controls, byHwnd) {
  const ref = c.id > 0 ? `${ctx.rollup}:${c.id}` : '';
  el.dataset.ref = ref;
  el.dataset.testid = ref || `${ctx.rollup}:${c.hwnd}`;
  el.hidden = !c.visible;
  el.classList.toggle('disabled', !c.enabled);
  el.classList.toggle('center', c.align === 'center');
  el.classList.toggle('right', c.align === 'right');
  place(el, c.rect);
  applyFont(el, c.font);
  const name = labelFor(c, controls);
  const group = groupFor(c, controls);
  const named = (n) => (n && group ? `${n} (${group})` : n);
  switch (c.role) {
    case 'label':
      el.textContent = c.text;
      // One line's height: the text stays on one line (a longer one may reach
      // past the box, as it would be cut off otherwise).
      el.classList.toggle('one-line', !!c.font && c.rect.h < 2 * c.font.px);
      break;
    case 'link':
      el.textContent = c.text;
      el.classList.toggle('one-line', !!c.font && c.rect.h < 2 * c.font.px);
      break;
    case 'image':
      if (c.image && el.dataset.hwnd !== String(c.hwnd)) el.src = `/api/bitmap?hwnd=${c.hwnd}`;
      el.dataset.hwnd = String(c.hwnd);
      el.dataset.notify = c.notify && ref ? '1' : '';
      break;
    case 'group':
      el.firstChild.textContent = c.text;
      el.setAttribute('aria-label', c.text);
      break;
    case 'check':
    case 'radio': {
      const box = el.firstChild;
      box.checked = c.check === 1;
      box.indeterminate = c.check === 2;
      box.disabled = !c.enabled;
      el.lastChild.textContent = c.text;
      el.classList.toggle('left-text', c.leftText);
      if (!c.text) box.setAttribute('aria-label', named(name) || `Check box ${c.id}`);
      break;
    }
    case 'push':
    case 'button':
      el.textContent = c.text;
      el.disabled = !c.enabled;
      el.classList.toggle('pressed', c.role === 'button' && c.check === 1);
      if (name) el.title = name;
      break;
    case 'edit': {
      el.dataset.hostText = c.text;
      if (!(document.activeElement === el && el.dataset.typing)) el.value = c.text;
      el.disabled = !c.enabled;
      const spinner = byHwnd.spinnerOf.get(c.hwnd);
      if (spinner) {
        el.dataset.spinner = `${ctx.rollup}:${spinner.id}`;
        el.setAttribute('role', 'spinbutton');
        el.setAttribute('aria-valuenow', String(spinner.value));
        el.setAttribute('aria-valuemin', String(spinner.min));
        el.setAttribute('aria-valuemax', String(spinner.max));
        el.classList.toggle('keyed', spinner.keyBrackets);
      }
      el.setAttribute('aria-label', named(name) || `Field ${c.id}`);
      break;
    }
    case 'spinner': {
      el.classList.toggle('keyed', c.keyBrackets);
      const edit = c.edit ? byHwnd.controls.get(c.edit) : null;
      const label = named(edit ? labelFor(edit, controls) : name) || `spinner ${c.id}`;
      el.firstChild.setAttribute('aria-label', `Increase ${label}`);
      el.lastChild.setAttribute('aria-label', `Decrease ${label}`);
      el.title = `${label}: ${c.value} (${c.min} to ${c.max}); drag up or down`;
      break;
    }
    case 'swatch':
      if (!el.matches(':focus')) el.value = c.color;
      el.disabled = !c.enabled;
      el.setAttribute('aria-label', named(name) || `Colour ${c.id}`);
      break;
    case 'combo':
      el.replaceChildren(...c.items.map((t, i) => new Option(t, String(i), false, i === c.selection)));
      break;
    default:
      el.textContent = c.text;
  }
}

// Draws the controls of one page into it, child windows beside their
// parents (moved by the parent's place), reusing the elements already there
// so that focus and pictures stay.
function drawControls(page, controls, ctx, seen) {
  const flat = [];
  (function walk(list, dx, dy) {
    for (const c of list) {
      flat.push({ ...c, rect: { ...c.rect, x: c.rect.x + dx, y: c.rect.y + dy } });
      walk(c.children, dx + c.rect.x, dy + c.rect.y);
    }
  })(controls, 0, 0);
  const byHwnd = { controls: new Map(), spinnerOf: new Map() };
  for (const c of flat) {
    byHwnd.controls.set(c.hwnd, c);
    if (c.role === 'spinner' && c.edit) byHwnd.spinnerOf.set(c.edit, c);
  }
  let index = 0;
  for (const c of flat) {
    let el = elements.get(c.hwnd);
    if (!el || el.dataset.role !== c.role) {
      if (el) el.remove();
      el = make(c, ctx);
      el.dataset.role = c.role;
      elements.set(c.hwnd, el);
    }
    seen.add(c.hwnd);
    update(el, c, ctx, flat, byHwnd);
    if (page.children[index] !== el) page.insertBefore(el, page.children[index] || null);
    ++index;
  }
  while (page.children.length > index) page.lastChild.remove();
}

function drawRollups(container, rollups, ctx) {
  const seen = new Set();
  let index = 0;
  let bottom = 0;
  let width = 0;
  for (const r of rollups) {
    const key = `rollup:${r.title}`;
    let box = elements.get(key);
    if (!box) {
      box = document.createElement('section');
      box.className = 'rollup';
      const head = document.createElement('button');
      head.className = 'rollup-title';
      const page = document.createElement('div');
      page.className = 'rollup-page';
      page.setAttribute('role', 'region');
      box.append(head, page);
      head.addEventListener('click', () => ctx.toggle(box.dataset.title, box.dataset.open !== '1'));
      elements.set(key, box);
    }
    seen.add(key);
    const [head, page] = box.children;
    box.dataset.title = r.title;
    box.dataset.open = r.open ? '1' : '';
    box.dataset.testid = `rollup:${r.title}`;
    place(box, r.rect);
    head.replaceChildren(Object.assign(document.createElement('span'), { className: 'sign', ariaHidden: 'true', textContent: r.open ? '–' : '+' }), r.title);
    head.setAttribute('aria-expanded', String(r.open));
    head.style.height = px(r.page.y);
    page.setAttribute('aria-label', r.title);
    page.hidden = !r.open;
    place(page, r.page);
    applyFont(page, r.font);
    drawControls(page, r.controls, { ...ctx, rollup: r.title }, seen);
    if (container.children[index] !== box) container.insertBefore(box, container.children[index] || null);
    ++index;
    bottom = Math.max(bottom, r.rect.y + r.rect.h);
    width = Math.max(width, r.rect.x + r.rect.w);
  }
  while (container.children.length > index) container.lastChild.remove();
  container.style.height = px(bottom);
  container.style.width = px(width);
  return seen;
}

const editorGestures = {
  click: async (ref, mayAskForMap) => {
    enqueue(async () => {
      const from = state && state.editor.shown;
      const answer = await act('click', ref);
      if (answer && answer.askedForMap && mayAskForMap) chooseMap(ref);
      // Went down through a map button: that button can replace the map.
      const to = answer && answer.state.editor.shown;
      if (to && from && to !== from) {
        mapButtonOf.set(to, { ref, place: from });
        $('replace-map').disabled = false;
      }
    });
  },
  step: (ref, steps) => coalesced(`step:${ref}`, 'step', ref, steps, true),
  type: (ref, text) => enqueue(() => act('type', ref, text)),
  color: (ref, hex) => {
    const n = parseInt(hex.slice(1), 16);
    coalesced(`color:${ref}`, 'color', ref, `${(n >> 16) & 255},${(n >> 8) & 255},${n & 255}`, false);
  },
  toggle: (title, open) => enqueue(() => act(open ? 'open' : 'close', null, title)),
};

const utilityGestures = {
  // The utility panel shows its rollups; opening and closing them is all it takes.
  click: () => showStatus('The utility panel shows the utility; its controls are read-only here.'),
  step: () => {},
  type: () => {},
  color: () => {},
  toggle: (title, open) => enqueue(async () => {
    try {
      render(await (await request('POST', '/api/utility', { rollup: title, open })).json());
    } catch (e) {
      showStatus(e.message, true);
    }
  }),
};

function render(s) {
  state = s;
  const seen = drawRollups($('rollups'), s.editor.rollups, editorGestures);
  if (s.utility) for (const k of drawRollups($('utility-rollups'), s.utility.rollups, utilityGestures)) seen.add(k);
  for (const k of [...elements.keys()]) if (!seen.has(k)) elements.delete(k);

  const file = s.file ? s.file.split('/').pop() : 'Untitled';
  $('title').textContent = s.title;
  $('file').textContent = `${file}${s.dirty ? ' (unsaved changes)' : ''}`;
  document.title = `${s.dirty ? '● ' : ''}${file} – ${s.title} – Material Editor`;
  $('revert').disabled = !s.dirty;

  const time = $('time');
  const frame = Math.trunc(s.time.ticks / s.time.ticksPerFrame);
  time.min = String(s.time.start / s.time.ticksPerFrame);
  time.max = String(s.time.end / s.time.ticksPerFrame);
  if (document.activeElement !== time || !waiting.size) time.value = String(frame);
  $('time-text').textContent = `frame ${s.time.text} · ${s.time.ticks} ticks`;
  const animate = $('animate');
  animate.setAttribute('aria-pressed', String(s.animate));
  document.body.classList.toggle('animating', s.animate);

  drawTree(s.editor);

  fillOptions($('view'), s.preview.views);
  fillOptions($('channel'), s.preview.channels);
  if (s.preview.bumpAmount !== undefined && !bumpShown) $('bump-amount').value = s.preview.bumpAmount;
  bumpShown = true;
  fillOptions($('utility-name'), s.utilities);
}

function fillOptions(select, names) {
  if (select.options.length === names.length) return;
  select.replaceChildren(...names.map((n) => new Option(n[0].toUpperCase() + n.slice(1), n)));
}

// ---- The map tree -------------------------------------------------------------

// The map button (and the place of its map) that led to a sub-map, by the
// sub-map's place: Replace map presses it with a choice.
const mapButtonOf = new Map();

// Every map of the open scene's tree, indented by depth; the one shown is
// marked, and a click shows another.
function drawTree(editor) {
  const list = $('map-tree');
  const items = editor.tree.map((n) => {
    const li = document.createElement('li');
    const b = document.createElement('button');
    b.style.paddingLeft = px(6 + 14 * n.depth);
    b.dataset.place = n.place;
    b.append(Object.assign(document.createElement('span'), { className: 'map-name', textContent: n.name }),
      Object.assign(document.createElement('span'), { className: 'map-class', textContent: n.class }));
    b.title = n.place;
    if (n.shown) b.setAttribute('aria-current', 'true');
    b.addEventListener('click', () => enqueue(() => act('open', null, n.place)));
    li.append(b);
    return li;
  });
  list.replaceChildren(...items);
  $('go-parent').disabled = !editor.tree.some((n) => n.shown && n.depth > 0);
  $('replace-map').disabled = !mapButtonOf.has(editor.shown);
  const choices = $('map-classes');
  if (choices.children.length !== editor.mapClasses.length) {
    const buttons = editor.mapClasses.filter((c) => c !== 'Bitmap').map((c) => {
      const b = document.createElement('button');
      b.textContent = c;
      b.addEventListener('click', () => takeMap(c));
      return b;
    });
    choices.replaceChildren($('map-none'), ...buttons);
  }
}

// ---- Map choice -----------------------------------------------------------------

function chooseMap(ref, place) {
  const dialog = $('map-dialog');
  dialog.dataset.ref = ref;
  dialog.dataset.place = place || '';
  $('map-error').textContent = '';
  dialog.showModal();
}

async function takeMap(choice) {
  const dialog = $('map-dialog');
  if (!choice) return;
  await enqueue(async () => {
    try {
      const body = { kind: 'map', control: dialog.dataset.ref, value: choice };
      if (dialog.dataset.place) body.place = dialog.dataset.place;
      const answer = await (await request('POST', '/api/action', body)).json();
      dialog.close();
      render(answer.state);
      showStatus('');
      requestPreview();
    } catch (e) {
      $('map-error').textContent = e.message;
    }
  });
}

// ---- Scene ----------------------------------------------------------------------

async function save(file) {
  const answer = await (await request('POST', '/api/save', file ? { file } : {})).json();
  render(answer);
  showStatus(`Saved ${answer.file}`);
}

function saveAs() {
  $('save-file').value = state && state.file ? state.file : 'scene.json';
  $('save-error').textContent = '';
  $('save-dialog').showModal();
}

function wire() {
  $('save').addEventListener('click', () => enqueue(async () => {
    if (!state.file) return saveAs();
    try { await save(); } catch (e) { showStatus(e.message, true); }
  }));
  $('save-as').addEventListener('click', saveAs);
  $('save-ok').addEventListener('click', () => enqueue(async () => {
    try {
      await save($('save-file').value);
      $('save-dialog').close();
    } catch (e) {
      $('save-error').textContent = e.message;
    }
  }));
  $('save-cancel').addEventListener('click', () => $('save-dialog').close());
  $('save-file').addEventListener('keydown', (e) => { if (e.key === 'Enter') $('save-ok').click(); });
  $('revert').addEventListener('click', () => enqueue(async () => {
    if (state.dirty && !window.confirm('Discard the unsaved changes and go back to the saved scene?')) return;
    try {
      render(await (await request('POST', '/api/revert', {})).json());
      showStatus('Reverted');
      requestPreview();
    } catch (e) { showStatus(e.message, true); }
  }));
  $('quit').addEventListener('click', () => enqueue(async () => {
    if (state.dirty && !window.confirm('The scene has unsaved changes. Quit anyway?')) return;
    try { await request('POST', '/api/quit', {}); } catch (e) { /* already stopping */ }
    state.dirty = false;
    $('stopped').hidden = false;
  }));
  document.addEventListener('keydown', (e) => {
    if ((e.ctrlKey || e.metaKey) && e.key === 's') {
      e.preventDefault();
      $('save').click();
    }
  });
  window.addEventListener('beforeunload', (e) => {
    if (state && state.dirty) {
      e.preventDefault();
      e.returnValue = '';
    }
  });

  $('map-none').addEventListener('click', () => takeMap('none'));
  $('go-parent').addEventListener('click', () => enqueue(() => act('parent')));
  $('replace-map').addEventListener('click', () => {
    const b = mapButtonOf.get(state.editor.shown);
    if (b) chooseMap(b.ref, b.place);
  });
  $('map-use-file').addEventListener('click', () => takeMap($('map-file').value.trim()));
  $('map-file').addEventListener('keydown', (e) => { if (e.key === 'Enter') $('map-use-file').click(); });
  $('map-cancel').addEventListener('click', () => $('map-dialog').close());

  $('time').addEventListener('input', () => coalesced('time', 'time', null, $('time').value, false));
  // A click lands where it is along the whole track: the browser's own
  // mapping leaves half a thumb at each end, so 25 % of 0-100 would be 23.
  $('time').addEventListener('pointerdown', (e) => {
    const time = $('time');
    const box = time.getBoundingClientRect();
    const min = Number(time.min), max = Number(time.max);
    const frame = Math.round(min + Math.min(1, Math.max(0, (e.clientX - box.left) / box.width)) * (max - min));
    if (String(frame) === time.value) return;
    e.preventDefault();
    time.focus();
    time.value = String(frame);
    time.dispatchEvent(new Event('input'));
  });
  $('animate').addEventListener('click', () => enqueue(() => act('animate', null, state.animate ? 'off' : 'on')));
  $('view').addEventListener('change', requestPreview);
  $('channel').addEventListener('change', requestPreview);
  // The amount is kept with the scene: the state that follows shows it unsaved.
  $('bump-amount').addEventListener('input', () => requestPreview().then(refresh));

  for (const tab of document.querySelectorAll('[role=tab]')) {
    tab.addEventListener('click', () => selectTab(tab));
  }
  $('utility-name').addEventListener('change', () => openUtility($('utility-name').value));
}

function selectTab(tab) {
  for (const t of document.querySelectorAll('[role=tab]')) {
    const on = t === tab;
    t.setAttribute('aria-selected', String(on));
    t.tabIndex = on ? 0 : -1;
    $(t.getAttribute('aria-controls')).hidden = !on;
  }
  if (tab.id === 'tab-utilities' && !state.utility && state.utilities.length) openUtility(state.utilities[0]);
}

function openUtility(name) {
  enqueue(async () => {
    try {
      render(await (await request('POST', '/api/utility', { name })).json());
    } catch (e) {
      showStatus(e.message, true);
    }
  });
}

wire();
refresh().then(requestPreview);
