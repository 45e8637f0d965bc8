// plughost serve --mesh: the model joins the sample slot's views and its
// preview is a picture; a server without a model refuses that view.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import path from 'node:path';
import { createRequire } from 'node:module';

const { startServer } = createRequire(import.meta.url)('./server.js');
const models = process.env.GEOMETRY_TEST_MODELS || path.join(import.meta.dirname, '../../../build/release/Host/geometry/models');

async function get(server, query) {
  const res = await fetch(`${server.origin}${query}`, { headers: { 'X-Plughost-Token': server.token } });
  return { status: res.status, type: res.headers.get('content-type'), body: Buffer.from(await res.arrayBuffer()) };
}

test('the model is a view of the slot, rendered as a picture', async () => {
  const server = await startServer(['--mesh', path.join(models, 'sphere.glb')]);
  try {
    const state = JSON.parse((await get(server, '/api/state')).body);
    assert.ok(state.preview.views.includes('mesh'), JSON.stringify(state.preview));
    const mesh = await get(server, '/api/preview?view=mesh&channel=bump&size=64');
    assert.equal(mesh.status, 200, mesh.body.toString());
    assert.equal(mesh.type, 'image/png');
    assert.equal(mesh.body.subarray(1, 4).toString(), 'PNG');
    const flat = await get(server, '/api/preview?view=flat&channel=bump&size=64');
    assert.notDeepEqual(mesh.body, flat.body);
  } finally {
    assert.equal((await server.stop()).code, 0, server.output());
  }
});

test('without a model the view is unknown, and a bad model stops serve with one line', async () => {
  const server = await startServer();
  try {
    const state = JSON.parse((await get(server, '/api/state')).body);
    assert.ok(!state.preview.views.includes('mesh'));
    const r = await get(server, '/api/preview?view=mesh');
    assert.equal(r.status, 400);
  } finally {
    assert.equal((await server.stop()).code, 0, server.output());
  }
  await assert.rejects(startServer(['--mesh', path.join(models, 'hostile', 'truncated.glb')]), /plughost: .*truncated\.glb/);
});
