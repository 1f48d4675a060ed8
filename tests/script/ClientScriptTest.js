// Tests of the bridge's client script (resources/ryx-external.js), run with Node.js against a
// stand-in for the page interface window.chrome.webview.
// Usage: node ClientScriptTest.js PATH_TO_ryx-external.js
'use strict';
const assert = require('node:assert/strict');
const fs = require('node:fs');
const test = require('node:test');
const vm = require('node:vm');

const source = fs.readFileSync(process.argv[2], 'utf8').replace(/^\uFEFF/, '');

// A fresh page with the script run in it: what it posts, the message listeners it holds, and a
// way to deliver a host reply as the engine does (a message event whose data is the reply).
function page() {
  const listeners = new Set();
  const posted = [];
  const webview = {
    addEventListener(type, listener) { if (type === 'message') listeners.add(listener); },
    removeEventListener(type, listener) { if (type === 'message') listeners.delete(listener); },
    // Kept as the host reads it: the message's JSON form (which also leaves the page's realm).
    postMessage(message) { posted.push(JSON.parse(JSON.stringify(message))); },
  };
  const global = { Math, Promise };
  global.window = global;
  global.chrome = { webview };
  vm.createContext(global);
  vm.runInContext(source, global);
  const reply = (uuid, success, result) => {
    for (const listener of [...listeners]) listener({ data: { uuid, success, result } });
  };
  return { ryx: global.ryx, posted, listeners, reply };
}

const settled = (promise) => promise.then((value) => ['resolved', value], (value) => ['rejected', value]);

test('each call posts its id, a fresh uuid and its arguments as given', () => {
  const { ryx, posted } = page();
  const args = { filePath: 'a.txt', contents: 'x' };
  ryx.files.writeTextFile(args);
  ryx.hello();
  ryx.files.fileExists();
  assert.equal(posted.length, 3);
  assert.deepEqual([posted[0].id, posted[0].data], [30003, args]);
  assert.deepEqual([posted[1].id, posted[1].data], [10001, {}]);
  // Without an argument no data is posted, so the host drops the call.
  assert.equal(posted[2].id, 30001);
  assert.equal(posted[2].data, undefined);
  for (const message of posted)
    assert.match(message.uuid, /^[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}$/);
  assert.equal(new Set(posted.map((m) => m.uuid)).size, 3);
});

test('replies settle their own call in any order, success resolving and failure rejecting', async () => {
  const { ryx, posted, reply } = page();
  const first = settled(ryx.folders.getTempDir());
  const second = settled(ryx.files.fileExists({}));
  reply(posted[1].uuid, false, 'Missing filePath');
  reply('someone-else', true, 'not ours');
  reply(posted[0].uuid, true, '/tmp/');
  assert.deepEqual(await first, ['resolved', '/tmp/']);
  assert.deepEqual(await second, ['rejected', 'Missing filePath']);
});

test('one listener serves every call, and a second reply with a settled uuid changes nothing', async () => {
  const { ryx, posted, listeners, reply } = page();
  const outcomes = [];
  const call = ryx.window.getTitle();
  call.then((value) => outcomes.push(['resolved', value]), (value) => outcomes.push(['rejected', value]));
  const burst = [];
  for (let i = 0; i < 1000; i++)
    burst.push(ryx.files.fileExists({ filePath: 'f' + i }));
  assert.equal(listeners.size, 1);
  reply(posted[0].uuid, true, 'First');
  reply(posted[0].uuid, false, 'Second');
  await call;
  await new Promise((resolve) => setImmediate(resolve));
  assert.deepEqual(outcomes, [['resolved', 'First']]);
  // The burst's replies come back in reverse order; each call gets its own.
  for (let i = 1000; i >= 1; i--)
    reply(posted[i].uuid, true, posted[i].data.filePath);
  assert.deepEqual(await Promise.all(burst), burst.map((_, i) => 'f' + i));
  assert.equal(listeners.size, 1, 'the listener stays for later calls');
});

test('hello and isRuntime work only as members; the other methods also detached', () => {
  const { ryx, posted } = page();
  for (const name of ['hello', 'isRuntime']) {
    const detached = ryx[name];
    assert.throws(() => detached(), (error) => error.name === 'TypeError', name);
  }
  const inFullscreen = ryx.app.inFullscreen;
  inFullscreen();
  assert.deepEqual(posted.map((m) => m.id), [50002]);
});

test('the default close handler asks the host to close the app', () => {
  const { ryx, posted } = page();
  ryx.events.onCloseQuery();
  assert.deepEqual(posted.map((m) => [m.id, m.data]), [[50001, {}]]);
  assert.equal(ryx.events.onMainMenuItemClick(7), undefined);
});
