// Two clients edit at once, 100 edits each: every edit applies exactly once,
// each client's in its own order, and the saved scene equals the one that
// plughost edit builds from the same edits in the order the server applied
// them. A save queues behind another command's hold on the scene file.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import http from 'node:http';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { execFileSync, spawn } from 'node:child_process';
import { once } from 'node:events';
import { createRequire } from 'node:module';

const { startServer, plughost } = createRequire(import.meta.url)('./server.js');

// A client on a connection of its own: POSTs JSON, one at a time.
function client(server) {
  const agent = new http.Agent({ keepAlive: true, maxSockets: 1 });
  return (body, where = '/api/action') => new Promise((resolve, reject) => {
    const text = JSON.stringify(body);
    const req = http.request({
      host: '127.0.0.1', port: server.port, method: 'POST', path: where, agent,
      headers: { 'X-Plughost-Token': server.token, 'Content-Type': 'application/json', 'Content-Length': Buffer.byteLength(text) },
    }, (res) => {
      const chunks = [];
      res.on('data', (c) => chunks.push(c));
      res.on('end', () => resolve({ status: res.statusCode, text: Buffer.concat(chunks).toString() }));
    });
    req.on('error', reject);
    req.end(text);
  });
}

// Runs `body(server, scene, dir)` with a server editing a new scene in a
// folder of its own, then stops the server and removes the folder.
async function onNewScene(body) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'editor-load-'));
  const scene = path.join(dir, 'scene.json');
  execFileSync(plughost, ['scene', 'new', scene, '--class', 'Vede']);
  const server = await startServer([scene]);
  try {
    await body(server, scene, dir);
  } finally {
    assert.equal((await server.stop()).code, 0, server.output());
    fs.rmSync(dir, { recursive: true, force: true });
  }
}

test('200 edits from two clients at once: in order, none lost, the same scene as plughost edit builds', () => onNewScene(async (server, scene, dir) => {
  // Both clients move the same spinner, one to values, one by steps, so the
  // result depends on the order; the second also picks colours.
  const edits = [
    Array.from({ length: 100 }, (_, i) => ({ kind: 'spin', control: 'Vede Parameters:1497', value: String(1 + i * 0.5) })),
    Array.from({ length: 100 }, (_, i) => (i % 2
      ? { kind: 'color', control: 'Vede Parameters:1456', value: `${i},${2 * i},${255 - i}` }
      : { kind: 'step', control: 'Vede Parameters:1497', value: String((i % 7) - 3) })),
  ];
  const applied = await Promise.all(edits.map(async (list) => {
    const send = client(server);
    const out = [];
    for (const edit of list) {
      const r = await send(edit);
      assert.equal(r.status, 200, r.text);
      out.push({ ...edit, revision: JSON.parse(r.text).revision });
    }
    return out;
  }));

  for (const list of applied) {
    for (let i = 1; i < list.length; ++i) assert.ok(list[i].revision > list[i - 1].revision, 'a client\'s edits apply in its order');
  }
  const all = applied.flat().sort((a, b) => a.revision - b.revision);
  assert.deepEqual(all.map((e) => e.revision), Array.from({ length: 200 }, (_, i) => i + 1));

  const served = path.join(dir, 'served.json');
  const saved = await client(server)({ file: served }, '/api/save');
  assert.equal(saved.status, 200, saved.text);

  const replayed = path.join(dir, 'replayed.json');
  const args = all.flatMap((e) => [`--${e.kind}`, `${e.control}=${e.value}`]);
  execFileSync(plughost, ['edit', scene, ...args, '-o', replayed], { stdio: 'ignore' });
  assert.equal(fs.readFileSync(served, 'utf8'), fs.readFileSync(replayed, 'utf8'));
}));

test('a save waits for a command that holds the scene file, as plughost scene set does, then lands whole', () => onNewScene(async (server, scene) => {
  // Holds the file's lock for a second without changing it: the save
  // answers only after the holder let go.
  const holder = spawn('flock', [scene, 'sh', '-c', 'echo held; sleep 1']);
  let released = false;
  const done = once(holder, 'exit').then(() => { released = true; });
  await once(holder.stdout, 'data');
  const send = client(server);
  assert.equal((await send({ kind: 'spin', control: 'Vede Parameters:1497', value: '9' })).status, 200);
  const saved = await send({}, '/api/save');
  assert.equal(released, true, 'the save did not wait for the lock');
  assert.equal(saved.status, 200, saved.text);
  assert.equal(JSON.parse(saved.text).dirty, false);
  await done;
  assert.match(fs.readFileSync(scene, 'utf8'), /"format": "quorl-scene"/);
}));

test('a save over a file changed on disk since it was read or saved is refused with the reason; after Revert it saves', () => onNewScene(async (server, scene) => {
  const send = client(server);
  execFileSync(plughost, ['scene', 'rename', scene, 'From the shell']);
  const theirs = fs.readFileSync(scene, 'utf8');
  assert.equal((await send({ kind: 'spin', control: 'Vede Parameters:1497', value: '9' })).status, 200);
  const refused = await send({}, '/api/save');
  assert.equal(refused.status, 409, refused.text);
  assert.match(refused.text, /changed on disk since it was opened or last saved/);
  assert.equal(fs.readFileSync(scene, 'utf8'), theirs);
  assert.equal((await send({}, '/api/revert')).status, 200);
  assert.equal((await send({}, '/api/save')).status, 200);
  assert.match(fs.readFileSync(scene, 'utf8'), /From the shell/);
  // Saved here, the file is this editor's again: the next save lands.
  assert.equal((await send({ kind: 'spin', control: 'Vede Parameters:1497', value: '5' })).status, 200);
  assert.equal((await send({}, '/api/save')).status, 200);
}));
