// plughost serve at the HTTP level, without a browser: who may ask, what a
// bad request gets, and that the server answers on after every one of them.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import http from 'node:http';
import net from 'node:net';
import os from 'node:os';
import { createRequire } from 'node:module';

const { startServer } = createRequire(import.meta.url)('./server.js');

let server;
before(async () => { server = await startServer(); });
after(async () => assert.equal((await server.stop()).code, 0, server.output()));

// One request with exactly the headers given (Node's fetch would not send a
// foreign Host).
function send(method, path, { headers = {}, body, token = server.token } = {}) {
  const all = { Host: server.host, ...headers };
  if (token) all['X-Plughost-Token'] = token;
  if (body !== undefined) {
    all['Content-Type'] ??= 'application/json';
    all['Content-Length'] = Buffer.byteLength(body);
  }
  return new Promise((resolve, reject) => {
    const req = http.request({ host: '127.0.0.1', port: server.port, method, path, headers: all }, (res) => {
      const chunks = [];
      res.on('data', (c) => chunks.push(c));
      res.on('end', () => resolve({ status: res.statusCode, headers: res.headers, text: Buffer.concat(chunks).toString() }));
    });
    req.on('error', reject);
    if (body !== undefined) req.write(body);
    req.end();
  });
}

const action = (a, opts = {}) => send('POST', '/api/action', { body: JSON.stringify(a), ...opts });

async function stillServing() {
  const r = await send('GET', '/api/state');
  assert.equal(r.status, 200);
  return JSON.parse(r.text);
}

// A refusal: the status, one line of reason, and the server still there.
async function refused(reply, status, reason) {
  const r = await reply;
  assert.equal(r.status, status, r.text);
  assert.match(r.text, reason);
  assert.equal(r.text.trim().split('\n').length, 1, `one line: ${r.text}`);
  await stillServing();
}

test('the token: missing 401, wrong 403; from the address it becomes a cookie', async () => {
  await refused(send('GET', '/api/state', { token: null }), 401, /token/);
  await refused(send('GET', '/', { token: null }), 401, /token/);
  await refused(send('GET', '/api/state', { token: 'f'.repeat(server.token.length) }), 403, /wrong token/);
  await refused(send('GET', `/?token=${server.token.slice(1)}x`, { token: null }), 403, /wrong token/);

  const first = await send('GET', `/?token=${server.token}`, { token: null });
  assert.equal(first.status, 303);
  assert.equal(first.headers.location, '/');
  const cookie = first.headers['set-cookie'][0];
  assert.match(cookie, /HttpOnly/);
  assert.match(cookie, /SameSite=Strict/);
  const page = await send('GET', '/', { token: null, headers: { Cookie: cookie.split(';')[0] } });
  assert.equal(page.status, 200);
  assert.match(page.headers['content-type'], /text\/html/);
  assert.match(page.text, /<script src="editor.js"/);
});

test('a foreign Host or Origin: 403', async () => {
  await refused(send('GET', '/api/state', { headers: { Host: `evil.example:${server.port}` } }), 403, /Host/);
  await refused(send('GET', '/api/state', { headers: { Host: '127.0.0.1:1' } }), 403, /Host/);
  await refused(action({ kind: 'click', control: 'About:1012' }, { headers: { Origin: 'http://evil.example' } }), 403, /another site/);
  await refused(action({ kind: 'click', control: 'About:1012' }, { headers: { Origin: 'null' } }), 403, /another site/);
  const same = await action({ kind: 'open', value: 'Perturbation Parameters' }, { headers: { Origin: `http://${server.host}` } });
  assert.equal(same.status, 200, same.text);
});

test('bad requests: 400 with a reason, 413 over 1 MiB', async () => {
  await refused(action('{"kind": "spin"', { body: '{"kind": "spin"' }), 400, /bad JSON/);
  await refused(send('POST', '/api/action', { body: '[1, 2]' }), 400, /JSON object/);
  await refused(send('POST', '/api/action', { body: '{}', headers: { 'Content-Type': 'text/plain' } }), 415, /JSON/);
  await refused(action({ kind: 'explode', control: '1497' }), 400, /unknown action "explode"/);
  await refused(action({ kind: 'spin', control: 'Vede\r\nParameters:1497', value: 1 }), 400, /no rollup "Vede\\x0D\\nParameters"/);
  await refused(send('POST', '/api/action', { body: `${'['.repeat(100000)}${']'.repeat(100000)}` }), 400, /nested more than 8/);
  await refused(action({ kind: 'spin', control: 'Vede Parameters:1497', value: [[[[[[[[[1]]]]]]]]] }), 400, /nested/);
  await refused(action({ kind: 'spin', control: { id: 1 } }), 400, /"control" must be/);
  await refused(action({ kind: 'click', control: '9999' }), 400, /no control 9999/);
  await refused(action({ kind: 'spin', control: 'About:1000', value: '1' }), 400, /not a spinner/);
  await refused(action({ kind: 'spin', control: 'Vede Parameters:1497', value: -5 }), 400, /outside the range/);
  await refused(action({ kind: 'spin', control: 'Vede Parameters:1497', value: 'NaN' }), 400, /'NaN' is not a number/);
  await refused(action({ kind: 'color', control: '1456', value: '300,0,0' }), 400, /out of range for a colour/);
  await refused(action({ kind: 'time', value: '99999999999' }), 400, /bad time/);
  await refused(action({ kind: 'step', control: '1497', value: '1e9' }), 400, /not a whole number/);
  await refused(action({ kind: 'step', control: '1497', value: '2000000' }), 400, /too many steps/);
  await refused(send('GET', '/api/preview?size=5000'), 400, /size/);
  await refused(send('GET', '/api/preview?view=teapot'), 400, /view/);
  await refused(send('GET', '/api/preview?bump=much'), 400, /bump/);
  await refused(send('GET', '/api/bitmap?hwnd=12abc'), 400, /window number/);
  await refused(send('GET', '/api/bitmap?hwnd=1'), 404, /no bitmap/);
  await refused(send('POST', '/api/save', { body: '{}' }), 400, /no file yet/);
  await refused(send('POST', '/api/action', { body: JSON.stringify({ kind: 'type', control: '1491', value: 'x'.repeat(2 << 20) }) }), 413, /1 MiB/);
  await refused(send('GET', '/nothing-here'), 404, /no such address/);
  // Saves go through the host's writer: a folder in the way is refused with the reason.
  await refused(send('POST', '/api/save', { body: JSON.stringify({ file: os.tmpdir() }) }), 400, /cannot save .*folder/);

  // Garbage on the wire, and a client that hangs up half-way.
  for (const junk of ['NOT HTTP AT ALL\r\n\r\n', `POST /api/action HTTP/1.1\r\nHost: ${server.host}\r\nContent-Length: 100\r\n\r\n{`]) {
    await new Promise((resolve) => {
      const s = net.connect(server.port, '127.0.0.1', () => { s.end(junk); });
      s.on('close', resolve);
      s.on('error', resolve);
      s.resume();
    });
    await stillServing();
  }
  // A body whose length is not said up front is refused before its end.
  const head = `POST /api/action HTTP/1.1\r\nHost: ${server.host}\r\nX-Plughost-Token: ${server.token}\r\nContent-Type: application/json\r\n`;
  assert.match(await answerBefore(`${head}Transfer-Encoding: chunked\r\n\r\n5\r\n{"a":`), /^HTTP\/1.1 411 /);
  assert.match(await answerBefore(`${head}\r\n{"kind":`), /^HTTP\/1.1 411 /);
  await stillServing();
});

// Writes the start of a request on a connection of its own, never ending it,
// and answers the head of the reply.
function answerBefore(start) {
  return new Promise((resolve, reject) => {
    let got = '';
    const s = net.connect(server.port, '127.0.0.1', () => { s.write(start); });
    s.setEncoding('latin1');
    s.on('data', (d) => {
      got += d;
      if (got.includes('\r\n\r\n')) { s.destroy(); resolve(got); }
    });
    s.on('close', () => resolve(got));
    s.on('error', reject);
  });
}

test('an edit answers the host\'s read-back with a new revision, uncompressed whatever the browser offers', async () => {
  const before = await stillServing();
  // Browsers offer brotli, which at the library's setting costs more than the edit.
  const offer = { 'Accept-Encoding': 'gzip, deflate, br' };
  const r = await action({ kind: 'spin', control: 'Vede Parameters:1497', value: 12.5 }, { headers: offer });
  assert.equal(r.status, 200, r.text);
  assert.equal(r.headers['content-encoding'], undefined);
  assert.equal(Number(r.headers['content-length']), Buffer.byteLength(r.text));
  const script = await send('GET', '/editor.js', { headers: offer });
  assert.equal(script.headers['content-encoding'], undefined);
  assert.match(script.text, /plughost serve/);
  const answer = JSON.parse(r.text);
  assert.equal(answer.revision, before.revision + 1);
  const vede = answer.state.editor.rollups.find((x) => x.title === 'Vede Parameters');
  assert.equal(vede.controls.find((c) => c.id === 1497).value, 12.5);
  assert.equal(answer.state.dirty, true);
});

test('a newer preview request overtakes an older one, which answers 409', async () => {
  // How long the big picture takes depends on the machine: the pause before
  // the small request shrinks until the small one comes while the big one is
  // still being shaded, but after the server has started it.
  const outcomes = [];
  for (const pause of [200, 100, 50, 20, 5, 1]) {
    const big = send('GET', '/api/preview?size=1024&view=sphere');
    await new Promise((r) => setTimeout(r, pause));
    const small = await send('GET', '/api/preview?size=64');
    const old = await big;
    outcomes.push(`${pause} ms: big ${old.status}, small ${small.status}`);
    if (old.status === 409 && small.status === 200) {
      assert.equal(small.headers['content-type'], 'image/png');
      assert.match(old.text, /overtook/);
      return;
    }
    // Otherwise one of them finished before the other began: both pictures
    // are whole and nothing was overtaken.
    assert.ok([old.status, small.status].includes(200), outcomes.join('; '));
  }
  assert.fail(`never overtaken: ${outcomes.join('; ')}`);
});

test('clients that drip their request a byte at a time hold only their own connections', async () => {
  // Forty connections, none with a token, each sending a byte of its request
  // head every half second: more than any fixed pool of server threads.
  const drippers = [];
  for (let i = 0; i < 40; ++i) {
    const s = net.connect(server.port, '127.0.0.1');
    s.on('error', () => {});
    const head = `GET /api/state HTTP/1.1\r\nHost: ${server.host}\r\nX-Padding: ${'x'.repeat(64)}\r\n\r\n`;
    let at = 0;
    const timer = setInterval(() => { if (at < head.length) s.write(head[at++]); }, 500);
    drippers.push({ s, timer });
  }
  await new Promise((r) => setTimeout(r, 1500));
  try {
    // While they drip, the page is answered; they would take over a minute.
    const started = Date.now();
    await stillServing();
    await stillServing();
    assert.ok(Date.now() - started < 20000, 'answered while the slow clients dripped');
  } finally {
    for (const { s, timer } of drippers) {
      clearInterval(timer);
      s.destroy();
    }
  }
});
