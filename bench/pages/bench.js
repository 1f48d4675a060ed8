// Runs the same work in the runtime (through window.ryx) and in the bare host (through its script
// messages), and reports through the document title, which both hosts show as the caption:
// "PAINTED:<epoch ms>" after the first frame, then "RESULT:<JSON>" once the work is done.
(function () {
  'use strict';
  var inRuntime = typeof window.ryx === 'object';
  var bare = window.webkit && window.webkit.messageHandlers;

  function hello() {
    return inRuntime ? window.ryx.hello() : bare.echo.postMessage('2021.43');
  }
  function writeText(path, contents) {
    return inRuntime ? window.ryx.files.writeTextFile({ filePath: path, contents: contents })
                     : bare.write.postMessage(contents);
  }
  function sleep(ms) { return new Promise(function (r) { setTimeout(r, ms); }); }
  function now() { return performance.now(); }

  async function fetchBytes(path, init) {
    var response = await fetch(path, init);
    var buffer = await response.arrayBuffer();
    return { status: response.status, length: buffer.byteLength };
  }

  async function run() {
    var config = await (await fetch('config.json')).json();
    var out = {};
    await sleep(config.idleMs);

    // Sequential round trips, after a few to warm up.
    for (var i = 0; i < 20; i++) await hello();
    var t = now();
    for (i = 0; i < config.hellos; i++) await hello();
    out.roundTripUs = (now() - t) * 1000 / config.hellos;

    // A burst of concurrent calls.
    var calls = [];
    t = now();
    for (i = 0; i < config.burst; i++) calls.push(hello());
    await Promise.all(calls);
    out.burstMs = now() - t;

    // Large arguments, written to a file by the host.
    var target = inRuntime ? (await window.ryx.folders.getTempDir()) + '/velmora-bench-arg.txt' : '';
    for (var mb of config.argMegabytes) {
      var text = 'abcdefghijklmnopqrstuvwxyz012345'.repeat(mb * 32768);
      text.charCodeAt(text.length >> 1); // flattens the repeated string before the clock starts
      t = now();
      var ok = await writeText(target, text);
      out['arg' + mb + 'MbMs'] = ok === true ? now() - t : -1;
      text = null;
    }
    if (inRuntime)
      await window.ryx.files.deleteFile({ filePath: target });

    // Many small files at once, then one large file.
    t = now();
    var fetches = [];
    for (i = 0; i < config.smallFiles; i++)
      fetches.push(fetchBytes('files/f' + String(i).padStart(3, '0') + '.txt'));
    var small = await Promise.all(fetches);
    out.smallFilesMs = small.every(function (r) { return r.status === 200 && r.length === config.smallFileBytes; })
      ? now() - t : -1;

    t = now();
    var big = await fetchBytes('big.bin');
    out.bigFileMs = big.status === 200 && big.length === config.bigFileBytes ? now() - t : -1;

    var first = Math.floor(config.bigFileBytes / 2);
    t = now();
    var part = await fetchBytes('big.bin', { headers: { Range: 'bytes=' + first + '-' + (first + 1048575) } });
    out.rangeMs = now() - t;
    out.rangeStatus = part.status;
    out.rangeLength = part.length;

    // Calls answered while a command runs (the runtime only: the bare host has no commands).
    if (inRuntime) {
      var command = window.ryx.shell.command({ command: 'sleep 2' });
      await sleep(100);
      t = now();
      for (i = 0; i < config.hellos; i++) await hello();
      out.roundTripDuringCommandUs = (now() - t) * 1000 / config.hellos;
      await command;
    }
    document.title = 'RESULT:' + JSON.stringify(out);
  }

  requestAnimationFrame(function () {
    requestAnimationFrame(function () {
      document.title = 'PAINTED:' + (performance.timeOrigin + performance.now()).toFixed(1);
      run().catch(function (e) { document.title = 'RESULT:' + JSON.stringify({ error: String(e) }); });
    });
  });
})();
