// How soon the editor's sample slot shows an edit: from sending the edit to
// holding the new 256 x 256 picture, as the page does it (the action, then
// the preview request), over 50 edits of a spinner. Prints the medians of
// the whole, of the edit alone and of the picture alone, and the machine's
// load while it ran (others' work on the same cores slows the render).
//
//   node bench/editor_latency.mjs [path/to/plughost]
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { createRequire } from 'node:module';

const here = path.dirname(fileURLToPath(import.meta.url));
process.env.PLUGHOST ??= process.argv[2] ?? path.join(here, '../build/release/bin/plughost');
const { startServer } = createRequire(import.meta.url)('../Host/web/tests/server.js');

const server = await startServer();
const agent = new http.Agent({ keepAlive: true, maxSockets: 1 });
function send(method, where, body) {
  return new Promise((resolve, reject) => {
    const text = body === undefined ? '' : JSON.stringify(body);
    const req = http.request({
      host: '127.0.0.1', port: server.port, method, path: where, agent,
      headers: { 'X-Plughost-Token': server.token, 'Content-Type': 'application/json', 'Content-Length': Buffer.byteLength(text) },
    }, (res) => {
      res.resume();
      res.on('end', () => (res.statusCode === 200 ? resolve() : reject(new Error(`${where}: HTTP ${res.statusCode}`))));
    });
    req.on('error', reject);
    req.end(text);
  });
}

const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)];
const preview = '/api/preview?size=256&view=flat&channel=color';
try {
  for (let i = 0; i < 5; ++i) await send('GET', preview);  // warm up
  const load = os.loadavg()[0];
  const whole = [], edit = [], picture = [];
  for (let i = 0; i < 50; ++i) {
    const t0 = performance.now();
    await send('POST', '/api/action', { kind: 'spin', control: 'Vede Parameters:1497', value: String(5 + i * 0.25) });
    const t1 = performance.now();
    await send('GET', preview);
    const t2 = performance.now();
    whole.push(t2 - t0);
    edit.push(t1 - t0);
    picture.push(t2 - t1);
  }
  const ms = (v) => `${v.toFixed(1)} ms`;
  console.log(`editor preview, 256x256 flat colour, median of 50 edits: ${ms(median(whole))} ` +
              `(edit ${ms(median(edit))}, picture ${ms(median(picture))}); ` +
              `${os.cpus().length} cores, load average ${load.toFixed(2)} before, ${os.loadavg()[0].toFixed(2)} after`);
} finally {
  await server.stop();
}
