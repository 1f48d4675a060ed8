// Drives the packaged showcase through WebKitWebDriver with selenium-webdriver, as an app author
// would test their app: find elements, click, type, read the title, run script, call window.ryx
// and take a screenshot. Then checks that only the driver's start may be driven: a bundle whose
// settings say AllowAutomation=0 and a start without "--automation" both refuse the session.
// Runs inside an X session with a window manager (run_webdriver_e2e.sh).
// Usage: node webdriver_e2e.js PACK RUNTIME SHOWCASE_DIR
'use strict';
const assert = require('node:assert/strict');
const { execFileSync, spawn } = require('node:child_process');
const fs = require('node:fs');
const net = require('node:net');
const os = require('node:os');
const path = require('node:path');
const { Builder, By, until } = require('selenium-webdriver');

const [pack, runtime, showcase] = process.argv.slice(2);
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'velmora-webdriver-'));

function freePort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
    server.on('error', reject);
  });
}

// Packs the showcase with its settings into WORK/NAME, under an app ID of its own (so no start
// is taken for a second instance of another), with Extra lines added.
function packShowcase(name, extra) {
  const settings = path.join(work, name + '.ini');
  const text = fs.readFileSync(path.join(showcase, 'ryx.ini'), 'utf8').replace(/^ID=.*$/m, 'ID=org.velmora.webdriver.' + name);
  fs.writeFileSync(settings, text + extra);
  const output = path.join(work, name);
  execFileSync(pack, ['--settings', settings, '--app', path.join(showcase, 'app'), '--runtime', runtime,
                      '--output', output], { stdio: 'ignore' });
  return output;
}

async function startDriver() {
  const port = await freePort();
  // The apps the driver starts get a home of their own, so no profile or instance of a real app
  // is touched.
  const home = path.join(work, 'home');
  const env = { ...process.env, XDG_DATA_HOME: path.join(home, 'data'), XDG_CONFIG_HOME: path.join(home, 'config'),
                XDG_CACHE_HOME: path.join(home, 'cache') };
  const driver = spawn('WebKitWebDriver', ['--port=' + port], { env, stdio: ['ignore', 'inherit', 'inherit'] });
  const url = `http://127.0.0.1:${port}`;
  for (let i = 0; i < 100; i++) {
    try {
      const status = await (await fetch(url + '/status')).json();
      if (status.value && status.value.ready) return { url, process: driver };
    } catch (e) {
      // not listening yet
    }
    await new Promise((r) => setTimeout(r, 100));
  }
  throw new Error('WebKitWebDriver did not come up');
}

function session(url, binary, args, browserName) {
  return new Builder()
    .usingServer(url)
    .withCapabilities({ browserName, 'webkitgtk:browserOptions': { binary, args } })
    .build();
}

async function main() {
  const app = packShowcase('showcase', '');
  const refusing = packShowcase('refusing', '\nAllowAutomation=0\n');
  const { url, process: driverProcess } = await startDriver();
  let failed = false;
  const check = async (name, fn) => {
    try {
      await fn();
      console.log('PASS ' + name);
    } catch (e) {
      failed = true;
      console.log('FAIL ' + name + ': ' + (e && e.stack ? e.stack : e));
    }
  };
  try {
    await check('the packaged showcase is driven like a browser', async () => {
      const driver = await session(url, app, ['--automation'], 'Velmora Showcase');
      try {
        await driver.wait(until.elementLocated(By.id('run-all')), 20000);
        assert.equal(await driver.getTitle(), 'Velmora Showcase');
        assert.equal(await driver.executeScript('return location.href'), 'velmora://app/index.html');

        // Type into a field and click the page's own button, which calls ryx.window.setTitle.
        const title = await driver.findElement(By.id('title'));
        await title.clear();
        await title.sendKeys('Driven by WebDriver');
        await driver.findElement(By.css('button[data-cmd="set-title"]')).click();
        await driver.wait(async () => (await driver.findElement(By.id('log')).getText()).includes('window.setTitle'), 10000);

        // The bridge from script the driver runs in the page.
        const caption = await driver.executeAsyncScript(
          'const done = arguments[arguments.length - 1]; window.ryx.window.getTitle().then(done, done);');
        assert.equal(caption, 'Driven by WebDriver');
        const hello = await driver.executeAsyncScript(
          'const done = arguments[arguments.length - 1]; window.ryx.hello().then(done, done);');
        assert.equal(hello, '2021.43');

        const png = Buffer.from(await driver.takeScreenshot(), 'base64');
        assert.equal(png.subarray(1, 4).toString(), 'PNG');
        assert.ok(png.length > 5000, `a screenshot of ${png.length} bytes`);
        fs.writeFileSync(path.join(os.tmpdir(), 'velmora-webdriver-showcase.png'), png);
      } finally {
        await driver.quit().catch(() => {}); // the failure that matters is the one above
      }
    });

    for (const [name, binary, args] of [
      ['a bundle with AllowAutomation=0 refuses the session', refusing, ['--automation']],
      ['a start without --automation refuses the session', app, []],
    ]) {
      await check(name, async () => {
        let driver;
        try {
          driver = await Promise.race([
            session(url, binary, args, 'Velmora Showcase'),
            new Promise((resolve) => setTimeout(() => resolve(null), 15000)),
          ]);
        } catch (e) {
          driver = null; // refused: what should happen
        }
        if (driver) {
          await driver.quit().catch(() => {});
          throw new Error('a session was created');
        }
      });
    }
  } finally {
    driverProcess.kill();
    try {
      execFileSync('pkill', ['-f', work], { stdio: 'ignore' }); // apps a refused driver left behind
    } catch (e) {
      // none left
    }
  }
  if (failed) process.exit(1);
}

main().catch((e) => {
  console.error(e);
  process.exit(1);
});
