#!/usr/bin/env python3
"""End-to-end tests of packaged apps on the Linux runtime.

Runs inside an X server (Xvfb) with a light EWMH window manager (openbox) and a session bus of
its own (dbus-run-session), started by run_gui_e2e.sh. Each case packs a small app with
velmora-pack, starts the packaged executable, drives it from outside with the X tools
(xdotool, xprop, xwininfo) and reads what its test pages report through the window title.

Usage: gui_e2e.py VELMORA_PACK VELMORA_RUNTIME [CASE...]
"""
import base64
import http.server
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import traceback
import zipfile

from e2e_images import net_wm_icons, png_bytes

PACK = os.path.abspath(sys.argv[1])
RUNTIME = os.path.abspath(sys.argv[2])
ONLY = sys.argv[3:]
WORK = tempfile.mkdtemp(prefix="velmora-e2e-")
CASES = []

# Test pages run their steps and put the outcome into the document title, which the window
# caption follows (DynamicAppTitle=1): "DONE:" and a JSON object of step results.
HARNESS = r"""
<script>
function withTimeout(promise, ms) {
  return Promise.race([promise, new Promise(function (r) { setTimeout(function () { r('TIMEOUT'); }, ms); })]);
}
function geolocation() {
  return new Promise(function (resolve) {
    navigator.geolocation.getCurrentPosition(function () { resolve('position'); }, function (e) {
      resolve(e.code === 1 ? 'denied' : e.code === 2 ? 'unavailable' : 'error ' + e.code);
    }, { timeout: 1000 });
  });
}
async function runSteps(steps) {
  var out = {};
  for (var name in steps) {
    try { out[name] = await withTimeout(Promise.resolve().then(steps[name]), 1500); }
    catch (e) { out[name] = 'REJECTED:' + e; }
  }
  document.title = 'DONE:' + JSON.stringify(out);
}
</script>
"""


def case(fn):
    CASES.append(fn)
    return fn


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def run(*args, timeout=10):
    return subprocess.run(args, capture_output=True, text=True, timeout=timeout)


class App:
    """A packaged app made from settings, files and an optional page script."""

    count = 0

    def __init__(self, settings, files, script=None, name="Test App", app_id=None, disk_files=None, pack_args=()):
        App.count += 1
        self.dir = os.path.join(WORK, "app%d" % App.count)
        os.makedirs(os.path.join(self.dir, "www"))
        self.id = app_id or "org.velmora.e2e%d" % App.count
        self.name = name
        ini = "[App]\nID=%s\nName=%s\nDirName=Web\n" % (self.id, name)
        ini += "".join("%s=%s\n" % kv for kv in settings.items())
        with open(os.path.join(self.dir, "ryx.ini"), "w", encoding="utf-8") as f:
            f.write(ini)
        for rel, content in files.items():
            path = os.path.join(self.dir, "www", rel)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(content if isinstance(content, bytes) else content.encode("utf-8"))
        args = [PACK, "--settings", os.path.join(self.dir, "ryx.ini"), "--app", os.path.join(self.dir, "www"),
                "--runtime", RUNTIME, "-o", os.path.join(self.dir, "bin", "app"), *pack_args]
        if script is not None:
            with open(os.path.join(self.dir, "extra.js"), "w") as f:
                f.write(script)
            args[1:1] = ["--script", os.path.join(self.dir, "extra.js")]
        os.makedirs(os.path.join(self.dir, "bin"))
        result = run(*args)
        check(result.returncode == 0, "packing failed: " + result.stderr)
        self.exe = os.path.join(self.dir, "bin", "app")
        for rel, content in (disk_files or {}).items():
            path = os.path.join(self.dir, "bin", rel)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w") as f:
                f.write(content)

    def start(self, *args, env=None):
        return Process([self.exe, *args], env)


class Process:
    def __init__(self, argv, env=None):
        full_env = dict(os.environ)
        full_env.update(env or {})
        self.log = open(os.path.join(WORK, "run-%d.log" % time.monotonic_ns()), "w+")
        self.proc = subprocess.Popen(argv, stdout=self.log, stderr=subprocess.STDOUT, env=full_env,
                                     stdin=subprocess.DEVNULL)

    def windows(self):
        result = run("xdotool", "search", "--onlyvisible", "--pid", str(self.proc.pid))
        return [w for w in result.stdout.split()]

    def window(self, timeout=20):
        deadline = time.time() + timeout
        while time.time() < deadline:
            check(self.proc.poll() is None, "the app ended early with code %s: %s" % (self.proc.returncode, self.output()))
            found = self.windows()
            if found:
                return found[0]
            time.sleep(0.2)
        raise Failure("no window appeared")

    def window_named(self, title, timeout=20):
        """A visible window titled exactly so, of any process, while this one runs; None when none comes."""
        deadline = time.time() + timeout
        while time.time() < deadline:
            check(self.proc.poll() is None, "the app ended early: " + self.output())
            found = run("xdotool", "search", "--onlyvisible", "--name", "^%s$" % re.escape(title)).stdout.split()
            if found:
                return found[0]
            time.sleep(0.2)
        return None

    def title(self, wid):
        return run("xdotool", "getwindowname", wid).stdout.strip()

    def wait_title(self, wid, pattern, timeout=20):
        deadline = time.time() + timeout
        title = ""
        while time.time() < deadline:
            title = self.title(wid)
            if re.search(pattern, title):
                return title
            check(self.proc.poll() is None, "the app ended early: " + self.output())
            time.sleep(0.2)
        raise Failure("title %r never matched %r" % (title, pattern))

    def results(self, wid, timeout=20):
        return json.loads(self.wait_title(wid, r"^DONE:", timeout)[len("DONE:"):])

    def wait_exit(self, timeout=10):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def alive_after(self, seconds):
        return self.wait_exit(seconds) is None

    def output(self):
        self.log.flush()
        self.log.seek(0)
        return self.log.read()[-2000:]

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()


def close_window(wid):
    """A close request as the user makes it: Alt+F4 through the window manager."""
    # Keys sent to a window directly bypass the window manager's bindings: send them to the
    # focused window instead, as a keyboard would.
    run("xdotool", "windowactivate", "--sync", wid)
    run("xdotool", "key", "alt+F4")


def net_wm_state(wid):
    return run("xprop", "-id", wid, "_NET_WM_STATE").stdout


def wait_wm_state(wid, *atoms, timeout=10):
    """Waits until the window manager reports every atom in the window's state; returns the state."""
    deadline = time.time() + timeout
    while True:
        state = net_wm_state(wid)
        if all(atom in state for atom in atoms) or time.time() >= deadline:
            return state
        time.sleep(0.1)


def client_geometry(wid):
    out = run("xwininfo", "-id", wid).stdout
    value = lambda key: int(re.search(key + r":\s+(-?\d+)", out).group(1))
    return value("Absolute upper-left X"), value("Absolute upper-left Y"), value("Width"), value("Height")


def frame_geometry(wid):
    """The window with its frame, from the extents the window manager announces."""
    x, y, w, h = client_geometry(wid)
    extents = run("xprop", "-id", wid, "_NET_FRAME_EXTENTS").stdout
    left, right, top, bottom = [int(v) for v in extents.split("=")[1].split(",")] if "=" in extents else (0, 0, 0, 0)
    return x - left, y - top, w + left + right, h + top + bottom


def wait_centred(wid, timeout=10):
    """Waits until the whole window, frame included, is centred on the 1280 x 800 screen."""
    deadline = time.time() + timeout
    while True:
        x, y, w, h = frame_geometry(wid)
        if abs(2 * x + w - 1280) <= 2 and abs(2 * y + h - 800) <= 2:
            return
        check(time.time() < deadline, "the window with its frame is not centred: %d,%d %dx%d" % (x, y, w, h))
        time.sleep(0.2)


def page(body, script=""):
    return "<!doctype html><html><head><meta charset='utf-8'><title>Loading</title>%s</head><body>%s<script>%s</script></body></html>" % (HARNESS, body, script)


# ---------------------------------------------------------------------------------------------

@case
def content_served_from_the_archive():
    files = {
        "index.html": page("<h1>content</h1>", """
          async function probe(url) {
            const r = await fetch(url);
            return r.status + ' ' + r.headers.get('content-type') + ' ' + (await r.text()).trim();
          }
          runSteps({
            css: () => probe('style/main.css'),
            spaced: () => probe('my%20page.txt'),
            letterCase: () => probe('IMG/Photo.TXT'),
            disk: () => probe('data/on-disk.txt'),
            module: () => import('./lib/mod.js').then(m => m.answer),
            missing: () => fetch('nothing-here.txt').then(r => 'status ' + r.status, e => 'failed'),
            query: () => probe('style/main.css?v=3#top'),
            unicode: () => import('./lib/été.mjs').then(m => m.season),
            wasmType: () => fetch('lib/empty.wasm').then(r => r.headers.get('content-type')),
            wasm: () => WebAssembly.compileStreaming(fetch('lib/empty.wasm?v=1')).then(m => 'compiled'),
          });"""),
        "style/main.css": "body { color: red }",
        "my page.txt": "blank in name",
        "img/photo.txt": "letter case",
        "lib/mod.js": "export const answer = 42;",
        "lib/été.mjs": "export const season = 'summer';",
        "lib/empty.wasm": b"\0asm\x01\0\0\0",
    }
    app = App({"DynamicAppTitle": 1}, files, disk_files={"data/on-disk.txt": "from disk"})
    p = app.start()
    try:
        r = p.results(p.window())
        check(r["css"] == "200 text/css; charset=utf-8 body { color: red }", r["css"])
        check(r["spaced"] == "200 text/plain; charset=utf-8 blank in name", r["spaced"])
        check(r["letterCase"] == "200 text/plain; charset=utf-8 letter case", r["letterCase"])
        check(r["disk"] == "200 text/plain; charset=utf-8 from disk", r["disk"])
        check(r["module"] == 42, r["module"])
        check(r["missing"] in ("failed", "status 404"), r["missing"])
        check(r["query"] == "200 text/css; charset=utf-8 body { color: red }", r["query"])
        check(r["unicode"] == "summer", r["unicode"])
        check(r["wasmType"] == "application/wasm", r["wasmType"])
        check(r["wasm"] == "compiled", r["wasm"])
    finally:
        p.kill()


def main_thread_wakeups(pid):
    """How often the process's UI thread has been switched out so far (each sleep in its loop counts)."""
    counts = {}
    with open("/proc/%d/task/%d/status" % (pid, pid)) as f:
        for line in f:
            if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                name, value = line.split(":")
                counts[name] = int(value)
    return sum(counts.values())


@case
def an_idle_window_sleeps():
    # Once the page has loaded and nothing happens, the UI thread waits: no animation or timer
    # keeps waking it (a hidden loading bar once repainted the window 60 times a second).
    app = App({"DynamicAppTitle": 1}, {"index.html": page("<p>idle</p>", "runSteps({ready: () => 1});")})
    p = app.start()
    try:
        p.results(p.window())
        time.sleep(1)
        before = main_thread_wakeups(p.proc.pid)
        time.sleep(2)
        wakeups = main_thread_wakeups(p.proc.pid) - before
        check(wakeups < 20, "the UI thread woke %d times in 2 idle seconds" % wakeups)
    finally:
        p.kill()


CLIP = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "examples", "showcase", "app", "media",
                    "clip.webm")


@case
def media_plays_and_seeks_and_ranges_get_their_part():
    # WebKit's media player loads no app address itself: the media elements go through the
    # loopback route, whose answers come from the same handler, byte ranges included.
    with open(CLIP, "rb") as f:
        clip = f.read()
    large = os.urandom(3 * 1024 * 1024 + 17)

    def digest(data):
        total = 0
        for byte in data:
            total = (total * 31 + byte) & 0xFFFFFFFF
        return total
    files = {
        "index.html": """<!doctype html><html><head><meta charset='utf-8'><title>Loading</title></head><body>
          <video id='v' src='media/clip.webm' muted></video>
          <audio id='a' muted><source src='media/clip.webm' type='video/webm'></audio>
          <script>
          function event(element, name, ms) {
            return new Promise(function (resolve) {
              element.addEventListener(name, function () { resolve(name); }, { once: true });
              element.addEventListener('error', function () { resolve('error ' + (element.error && element.error.code)); },
                                       { once: true });
              setTimeout(function () { resolve('TIMEOUT ' + name); }, ms);
            });
          }
          async function range(header) {
            const r = await fetch('media/clip.webm', { headers: { Range: header } });
            const body = new Uint8Array(await r.arrayBuffer());
            return r.status + ' ' + r.headers.get('content-range') + ' ' + body.length + ' ' + (body[0] || 0);
          }
          async function digest(path, init) {
            const r = await fetch(path, init);
            const bytes = new Uint8Array(await r.arrayBuffer());
            let sum = 0;
            for (let i = 0; i < bytes.length; i++) sum = (sum * 31 + bytes[i]) >>> 0;
            return r.status + ' ' + bytes.length + ' ' + sum;
          }
          async function run() {
            const out = {};
            const v = document.getElementById('v');
            // A large entry streams; its middle is reached from where an earlier read passed.
            out.large = await digest('data/large.bin');
            out.largePart = await digest('data/large.bin', { headers: { Range: 'bytes=2100000-2199999' } });
            out.part = await range('bytes=100-199');
            out.suffix = await range('bytes=-10');
            out.past = await range('bytes=999999999-');
            const whole = await fetch('media/clip.webm');
            out.whole = whole.status + ' ' + whole.headers.get('content-range') + ' ' + (await whole.arrayBuffer()).byteLength;
            const playing = event(v, 'playing', 15000);
            v.play().catch(function () {});
            out.plays = await playing;
            const seeked = event(v, 'seeked', 15000);
            v.currentTime = 4;
            out.seeks = await seeked;
            out.at = Math.floor(v.currentTime);
            out.duration = Math.round(v.duration);
            const a = document.getElementById('a');
            const loaded = event(a, 'loadedmetadata', 15000);
            a.load();
            out.sourceChild = await loaded;
            const late = document.createElement('video');
            late.src = 'media/clip.webm';
            const lateLoaded = event(late, 'loadedmetadata', 15000);
            document.body.appendChild(late);
            out.added = await lateLoaded;
            document.title = 'DONE:' + JSON.stringify(out);
          }
          run().catch(function (e) { document.title = 'DONE:' + JSON.stringify({ error: String(e) }); });
          </script></body></html>""",
        "media/clip.webm": clip,
        "data/large.bin": large,
    }
    app = App({"DynamicAppTitle": 1}, files)
    p = app.start()
    try:
        r = p.results(p.window(), timeout=90)
        check(r.get("large") == "200 %d %d" % (len(large), digest(large)), r)
        check(r.get("largePart") == "206 100000 %d" % digest(large[2100000:2200000]), r)
        check(r.get("part") == "206 bytes 100-199/%d 100 %d" % (len(clip), clip[100]), r)
        check(r.get("suffix") == "206 bytes %d-%d/%d 10 %d" % (len(clip) - 10, len(clip) - 1, len(clip), clip[-10]), r)
        check(r.get("past") == "416 bytes */%d 0 0" % len(clip), r)
        check(r.get("whole") == "200 null %d" % len(clip), r)
        check(r.get("plays") == "playing" and r.get("seeks") == "seeked" and r.get("at") == 4, r)
        check(r.get("duration") == 6, r)
        check(r.get("sourceChild") == "loadedmetadata" and r.get("added") == "loadedmetadata", r)
    finally:
        p.kill()


@case
def bridge_round_trips_and_window_commands():
    files = {"index.html": page("", """
        runSteps({
          hello: () => ryx.hello(),
          isRuntime: () => ryx.isRuntime(),
          title: () => ryx.window.getTitle(),
          style0: () => ryx.window.getStyle(),
          setOnTop: () => ryx.window.setStyle({style: 'ontop'}),
          style1: () => ryx.window.getStyle(),
          setMax: () => ryx.window.setState({state: 'maximized'}),
          state: () => ryx.window.getState(),
          fullscreen: () => ryx.app.inFullscreen(),
          together: () => Promise.all([ryx.hello(), ryx.isRuntime(), ryx.window.getStyle()]).then(a => a.join(',')),
          detached: () => { const f = ryx.app.inFullscreen; return f(); },
          noArgs: () => ryx.files.fileExists(),
          uuid: () => new Promise(resolve => {
            // Replies carry the uuid the call made.
            const seen = e => { window.chrome.webview.removeEventListener('message', seen);
              resolve(/^[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}$/.test(e.data.uuid)); };
            window.chrome.webview.addEventListener('message', seen);
            ryx.hello();
          }),
        });""")}
    app = App({}, files, name="Bridge App")
    p = app.start()
    try:
        wid = p.window()
        # Without DynamicAppTitle the caption stays the app's name; the page sets it to report.
        time.sleep(3)
        check(p.title(wid) == "Bridge App", "caption changed without DynamicAppTitle: " + p.title(wid))
        run("xdotool", "windowactivate", "--sync", wid)
    finally:
        p.kill()
    app = App({"DynamicAppTitle": 1}, files, name="Bridge App")
    p = app.start()
    try:
        wid = p.window()
        r = p.results(wid)
        expected = {"hello": "2021.43", "isRuntime": True, "title": "Loading", "style0": "normal",
                    "setOnTop": True, "style1": "ontop", "setMax": True, "state": "maximized", "fullscreen": False,
                    "together": "2021.43,true,ontop", "detached": False, "noArgs": "TIMEOUT", "uuid": True}
        for key, value in expected.items():
            check(r.get(key) == value, "%s: %r" % (key, r.get(key)))
        state = wait_wm_state(wid, "_NET_WM_STATE_ABOVE", "_NET_WM_STATE_MAXIMIZED_HORZ")
        check("_NET_WM_STATE_ABOVE" in state, "not kept above: " + state)
        check("_NET_WM_STATE_MAXIMIZED_HORZ" in state, "not maximized: " + state)
    finally:
        p.kill()


@case
def an_empty_document_title_becomes_the_caption():
    app = App({"DynamicAppTitle": 1}, {"index.html": page("", """
        document.title = 'TITLED';
        ryx.hello().then(() => setTimeout(() => { document.title = ''; }, 300));""")})
    p = app.start()
    try:
        wid = p.window()
        p.wait_title(wid, "^TITLED$")
        p.wait_title(wid, "^$")
    finally:
        p.kill()


@case
def close_with_the_default_handler_ends_the_process():
    app = App({"DynamicAppTitle": 1}, {"index.html": page("", "document.title = 'READY';")})
    p = app.start()
    wid = p.window()
    p.wait_title(wid, "^READY$")
    close_window(wid)
    code = p.wait_exit(10)
    check(code == 0, "exit code %r after the close request" % code)


@case
def close_with_a_replaced_handler_waits_for_the_page():
    app = App({"DynamicAppTitle": 1}, {"index.html": page("", """
        var asked = 0;
        ryx.events.onCloseQuery = function () {
          asked++;
          document.title = 'ASKED:' + asked;
          if (asked === 2) { ryx.app.close(); }
        };
        document.title = 'READY';""")})
    p = app.start()
    try:
        wid = p.window()
        p.wait_title(wid, "^READY$")
        close_window(wid)
        p.wait_title(wid, "^ASKED:1$")
        check(p.alive_after(1.5), "the window closed although the page did not allow it")
        close_window(wid)
        code = p.wait_exit(10)
        check(code == 0, "exit code %r after the page's app.close" % code)
    finally:
        p.kill()


@case
def single_instance_and_second_window():
    app = App({"DynamicAppTitle": 1}, {
        "index.html": page("", "document.title = 'FIRST';"),
        # A second window whose page keeps it open when asked to close, and one that lets it close.
        "stays.html": page("", "ryx.events.onCloseQuery = function () {}; document.title = 'SECOND:' + location.href;"),
        "goes.html": page("", "document.title = 'GOES';"),
    })
    first = app.start()
    others = []
    try:
        wid = first.window()
        first.wait_title(wid, "^FIRST$")
        plain = app.start()
        others.append(plain)
        check(plain.wait_exit(10) == 0, "a second plain start did not end with exit code 0")
        stays = app.start(app.id, "file:///stays.html")
        others.append(stays)
        title = stays.wait_title(stays.window(), "^SECOND:")
        check(title == "SECOND:velmora://app/stays.html", title)
        goes = app.start(app.id, "file:///goes.html")
        others.append(goes)
        goes.wait_title(goes.window(), "^GOES$")
        only_id = app.start(app.id)
        others.append(only_id)
        check(only_id.wait_exit(10) == 0, "a start with only the app ID passed the single-instance rule")
        # When the first instance ends, its second windows are asked to close: one closes, the
        # other's page keeps it open.
        first.kill()
        check(goes.wait_exit(10) == 0, "a second window outlived the instance it belongs to")
        check(stays.alive_after(1), "a second window closed although its page did not allow it")
        # The rule holds while any instance runs: the remaining second window still counts.
        late = app.start()
        others.append(late)
        check(late.wait_exit(10) == 0, "a plain start ran beside the second window after the first ended")
    finally:
        for p in [first] + others:
            p.kill()


@case
def new_window_request_starts_a_second_instance():
    app = App({"DynamicAppTitle": 1, "AllowInstances": 1}, {
        "index.html": page("", "document.title = 'OPENER'; setTimeout(() => window.open('page2.html?x=1', '_blank'), 300);"),
        "page2.html": page("", "document.title = 'OPENED';"),
    })
    p = app.start()
    try:
        p.wait_title(p.window(), "^OPENER$")
        deadline = time.time() + 20
        found = []
        while time.time() < deadline and not found:
            found = run("xdotool", "search", "--onlyvisible", "--name", "^OPENED$").stdout.split()
            time.sleep(0.3)
        check(found, "no second window showed the page")
        time.sleep(1)  # time for a window the engine might open as well
        found = run("xdotool", "search", "--onlyvisible", "--name", "^OPENED$").stdout.split()
        check(len(found) == 1, "%d windows show the page" % len(found))
        check(len(p.windows()) == 1, "the first process opened a window of its own")
        pid = run("xdotool", "getwindowpid", found[0]).stdout.strip()
        check(pid and int(pid) != p.proc.pid, "the page opened inside the first process")
        with open("/proc/%s/cmdline" % pid, "rb") as f:
            argv = f.read().split(b"\0")[:-1]
        os.kill(int(pid), 9)
        check(argv == [app.exe.encode(), app.id.encode(), b"file:///page2.html?x=1"],
              "the second instance was started as %r" % argv)
    finally:
        p.kill()


@case
def password_prompt():
    app = App({"Password": "S3cret", "DynamicAppTitle": 1}, {"index.html": page("", "document.title = 'OPENED';")},
              name="Locked App")
    p = app.start()
    try:
        prompt = p.window()
        check(p.title(prompt) == "Locked App", "prompt caption: " + p.title(prompt))
        wait_centred(prompt)
        run("xdotool", "windowactivate", "--sync", prompt)
        run("xdotool", "type", "--delay", "60", "s3cret")
        run("xdotool", "key", "Escape", "Return")
        time.sleep(1)
        check(p.proc.poll() is None and p.windows() == [prompt], "wrong password, Escape or Return changed something")
        for _ in range(6):
            run("xdotool", "key", "BackSpace")
        run("xdotool", "type", "--delay", "60", "S3cret")
        deadline = time.time() + 20
        while time.time() < deadline and not any(p.title(w) == "OPENED" for w in p.windows()):
            time.sleep(0.2)
        check(any(p.title(w) == "OPENED" for w in p.windows()), "the app did not open after the right password")
    finally:
        p.kill()
    # Closing the prompt ends the app with exit code 0; no prompt for a second window.
    p = app.start()
    prompt = p.window()
    close_window(prompt)
    check(p.wait_exit(10) == 0, "closing the prompt did not end the app with exit code 0")
    p = app.start(app.id, "file:///index.html")
    try:
        p.wait_title(p.window(), "^OPENED$")
    finally:
        p.kill()


@case
def geometry_border_state_and_order_from_the_settings():
    index = {"index.html": page("", "runSteps({full: () => ryx.app.inFullscreen()});")}
    app = App({"Width": 640, "Height": 480, "MinWidth": 500, "MinHeight": 400, "MaxWidth": 700, "MaxHeight": 600,
               "DynamicAppTitle": 1}, index)
    p = app.start()
    try:
        wid = p.window()
        p.results(wid)
        _, _, w, h = client_geometry(wid)
        check((w, h) == (640, 480), "size %dx%d" % (w, h))
        wait_centred(wid)
        run("xdotool", "windowsize", "--sync", wid, "200", "200")
        time.sleep(0.5)
        _, _, w, h = client_geometry(wid)
        check(w >= 500 and h >= 400, "shrunk below the limits: %dx%d" % (w, h))
        run("xdotool", "windowsize", wid, "1200", "900")
        time.sleep(0.5)
        _, _, w, h = client_geometry(wid)
        check(w <= 700 and h <= 600, "grew past the limits: %dx%d" % (w, h))
    finally:
        p.kill()

    app = App({"WindowState": 1, "WindowOrder": 1, "WindowBorder": 1, "DynamicAppTitle": 1}, index)
    p = app.start()
    try:
        wid = p.window()
        p.results(wid)
        state = net_wm_state(wid)
        check("MAXIMIZED" in state and "_NET_WM_STATE_ABOVE" in state, state)
    finally:
        p.kill()

    app = App({"WindowStyle": 1, "DynamicAppTitle": 1}, index)
    p = app.start()
    try:
        wid = p.window()
        r = p.results(wid)
        check(r["full"] is True, "inFullscreen: %r" % r["full"])
        hints = run("xprop", "-id", wid, "_MOTIF_WM_HINTS").stdout
        check("MAXIMIZED" in net_wm_state(wid), net_wm_state(wid))
        fields = [int(v, 0) for v in hints.split("=")[1].split(",")] if "=" in hints else []
        check(len(fields) >= 3 and fields[0] & 2 and fields[2] == 0, "window decorated: " + hints)
    finally:
        p.kill()


@case
def leaving_full_screen_gives_a_normal_window_with_the_configured_border():
    # Full screen entered from a maximized dialog-border window (fixed size), then left.
    app = App({"Width": 640, "Height": 480, "WindowBorder": 3, "DynamicAppTitle": 1}, {"index.html": page("", """
        var asked = 0;
        document.addEventListener('keydown', async e => {
          if (e.key === 'm') ryx.window.setState({state: 'maximized'});
          if (e.key === 'f') ryx.app.enterFullscreen();
          if (e.key === 'x') ryx.app.exitFullscreen();
          if (e.key === 's') {
            const state = await ryx.window.getState();
            document.title = 'STATE' + (++asked) + ':' + state + ',' + await ryx.app.inFullscreen();
          }
        });
        document.title = 'READY';""")})
    p = app.start()

    def key(name):
        run("xdotool", "windowactivate", "--sync", wid)
        run("xdotool", "key", name)

    def decorated():
        hints = run("xprop", "-id", wid, "_MOTIF_WM_HINTS").stdout
        fields = [int(v, 0) for v in hints.split("=")[1].split(",")] if "=" in hints else []
        return not (len(fields) >= 3 and fields[0] & 2 and fields[2] == 0)

    def wait_for(condition, what, timeout=10):
        deadline = time.time() + timeout
        while not condition():
            check(time.time() < deadline, what)
            time.sleep(0.1)

    try:
        wid = p.window()
        p.wait_title(wid, "^READY$")
        key("m")
        wait_for(lambda: "MAXIMIZED" in net_wm_state(wid), "the window did not maximize")
        key("f")
        wait_for(lambda: not decorated() and "MAXIMIZED" in net_wm_state(wid),
                 "full screen: %s, decorated %s" % (net_wm_state(wid).strip(), decorated()))
        key("x")
        wait_for(lambda: "MAXIMIZED" not in net_wm_state(wid) and decorated() and client_geometry(wid)[2:] == (640, 480),
                 "after full screen: %s, decorated %s, %r" % (net_wm_state(wid).strip(), decorated(), client_geometry(wid)))
        key("s")
        state = p.wait_title(wid, "^STATE1:")
        check(state == "STATE1:normal,false", state)
    finally:
        p.kill()


@case
def bundles_without_archive_or_identity():
    p = Process([RUNTIME])
    try:
        dialog = p.window()
        check(p.title(dialog) == "Error", "dialog title " + p.title(dialog))
        run("xdotool", "windowactivate", "--sync", dialog)
        run("xdotool", "key", "Return")
        check(p.wait_exit(10) == 0, "message 5 did not end with exit code 0")
    finally:
        p.kill()
    # The packer refuses settings without an ID, so this bundle is put together by hand: the
    # runtime followed by a plain ZIP archive (unencrypted entries read as well).
    exe = os.path.join(WORK, "no-identity")
    archive = os.path.join(WORK, "no-identity.zip")
    with zipfile.ZipFile(archive, "w") as z:
        z.writestr("ryx.ini", "[App]\nID=\nName=No identity\nDirName=Web\n")
        z.writestr("Web/index.html", "<title>should not show</title>")
    with open(exe, "wb") as out:
        for part in (RUNTIME, archive):
            with open(part, "rb") as f:
                out.write(f.read())
    os.chmod(exe, 0o755)
    p = Process([exe])
    try:
        code = p.wait_exit(10)
        check(code == 0, "a bundle without ID ended with %r" % code)
        check("should not show" not in p.output(), p.output())
    finally:
        p.kill()


@case
def foreign_pages_cannot_use_the_bridge():
    evil = page("<p>elsewhere</p>", """
        runSteps({
          hello: () => ryx.hello(),
          top: () => ryx.window.setStyle({style: 'ontop'}),
          geo: () => geolocation(),
        });""")
    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            body = evil.encode()
            self.send_response(200)
            self.send_header("Content-Type", "text/html; charset=utf-8")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def log_message(self, *args):
            pass

    server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    port = server.server_address[1]
    app = App({"DynamicAppTitle": 1}, {"index.html": page("", """
        runSteps({ geo: () => geolocation(), hello: () => ryx.hello() });""")})
    p = app.start()
    try:
        wid = p.window()
        r = p.results(wid)
        # Granted without asking; there is no location source here, so the position is unavailable.
        check(r == {"geo": "unavailable", "hello": "2021.43"}, "app page: %r" % r)
    finally:
        p.kill()
    redirect = App({"DynamicAppTitle": 1},
                   {"index.html": "<script>location.href = 'http://127.0.0.1:%d/evil.html';</script>" % port})
    p = redirect.start()
    try:
        wid = p.window()
        r = p.results(wid)
        check(r["hello"] == "TIMEOUT", "a foreign page got a bridge reply: %r" % r)
        check(r["top"] == "TIMEOUT", "a foreign page changed the window: %r" % r)
        check(r["geo"] == "denied", "a foreign page got a permission without asking: %r" % r)
        check("_NET_WM_STATE_ABOVE" not in net_wm_state(wid), "window kept above after a foreign call")
    finally:
        p.kill()
        server.shutdown()


@case
def file_dialogs():
    folder = os.path.join(WORK, "chosen folder")
    os.makedirs(folder)
    target = os.path.join(folder, "notes-final.txt")
    with open(target, "w") as f:
        f.write("an older version")  # saving over it must ask first
    # The calls start once the page has the focus, so the dialogs have an active window to
    # belong to. The second open names no title and gets the default one.
    app = App({"DynamicAppTitle": 1}, {"index.html": page("", """
        function report(label) { return function (r) { document.title = label + r; }; }
        function fail(e) { document.title = 'REJECTED:' + e; }
        var waiting = setInterval(function () {
          if (!document.hasFocus()) { return; }
          clearInterval(waiting);
          ryx.dialogs.saveFile({title: 'Save the notes', fileName: 'notes.txt',
                                fileTypes: 'Text files|*.txt;All files|*.*', overwritePrompt: true})
            .then(report('SAVED:'))
            .then(function () { return ryx.dialogs.openFile({title: 'Open the notes', fileTypes: 'Text files|*.txt'}); })
            .then(report('PICKED:'))
            .then(function () { return ryx.dialogs.openFile({}); })
            .then(report('OPENED:'), fail);
        }, 100);""")})
    # GTK is told to use the desktop portal, which is not there: the dialogs must still show.
    p = app.start(env={"GTK_USE_PORTAL": "1"})

    def dialog_named(title):
        found = p.window_named(title)
        if found:
            return found
        raise Failure("no dialog titled %r appeared; the page shows %r" % (title, p.title(main_wid)))

    def answer(wid, *keys, text=None):
        run("xdotool", "windowactivate", "--sync", wid)
        time.sleep(0.3)
        for key in keys:
            run("xdotool", "key", key)
            time.sleep(0.3)
        if text is not None:
            run("xdotool", "type", "--delay", "30", text)
            time.sleep(0.5)
            run("xdotool", "key", "Return")

    try:
        main_wid = p.window()
        run("xdotool", "windowactivate", "--sync", main_wid)
        dialog = dialog_named("Save the notes")
        owner = re.search(r"window id # (0x[0-9a-f]+)", run("xprop", "-id", dialog, "WM_TRANSIENT_FOR").stdout)
        check(owner and int(owner.group(1), 16) == int(main_wid), "the save dialog is not owned by the app window")
        answer(dialog, "ctrl+a", text=target)
        # The file exists: a question comes up instead of the answer.
        deadline = time.time() + 10
        question = []
        while time.time() < deadline and not question:
            question = [w for w in p.windows() if w not in (main_wid, dialog)]
            time.sleep(0.2)
        check(question, "no question before replacing an existing file")
        check(not p.title(main_wid).startswith("SAVED:"), "saved over an existing file without asking")
        answer(question[0], "alt+r")
        title = p.wait_title(main_wid, "^SAVED:")
        check(title == "SAVED:" + target, title)

        # A bare name in the open dialog is looked up in the folder of the last chosen file.
        answer(dialog_named("Open the notes"), "ctrl+l", text="notes-final.txt")
        title = p.wait_title(main_wid, "^PICKED:")
        check(title == "PICKED:" + target, title)

        answer(dialog_named("Open file"), "Escape")
        title = p.wait_title(main_wid, "^OPENED:")
        check(title == "OPENED:", "Escape answered %r" % title)
        check("CRITICAL" not in p.output(), p.output())
    finally:
        p.kill()


@case
def files_folders_and_base64_from_a_page():
    target = os.path.join(WORK, "extracted", "logo.bin")
    os.makedirs(os.path.dirname(target))
    app = App({"DynamicAppTitle": 1}, {"index.html": page("", """
        const abs = %s;
        runSteps({
          write: () => ryx.files.writeTextFile({filePath: 'out/deep/notes.txt', contents: 'a\\nb'}),
          exists: () => ryx.files.fileExists({filePath: 'out/deep/notes.txt'}),
          dirExists: () => ryx.folders.dirExists({dirPath: 'out/deep'}),
          b64: () => ryx.base64.decodeToFile({filePath: 'out/bytes.bin', contents: 'AP8QIA=='}),
          extract: () => ryx.files.extractFile({sourceFile: '/img/logo.bin', targetFile: abs}),
          notFound: () => ryx.files.extractFile({sourceFile: 'img/logo.bin', targetFile: abs}).catch(e => 'rejected ' + e),
          missing: () => ryx.files.fileExists({}).catch(e => 'rejected ' + e),
          exeDir: () => ryx.folders.getAppExecutableDir(),
          temp: () => ryx.folders.getTempDir(),
          deleteFile: () => ryx.files.deleteFile({filePath: 'out/bytes.bin'}),
          deleteDir: () => ryx.folders.deleteDir({dirPath: 'out'}),
          gone: () => ryx.folders.dirExists({dirPath: 'out'}),
        });""" % json.dumps(target)), "img/logo.bin": b"\x89PNG\x00\x01binary"})
    p = app.start(env={"TMPDIR": "/var/tmp"})
    try:
        r = p.results(p.window())
        bindir = os.path.join(app.dir, "bin") + "/"
        expected = {"write": True, "exists": True, "dirExists": True, "b64": True, "extract": True,
                    "notFound": "rejected File not found", "missing": "rejected Missing filePath",
                    "exeDir": bindir, "temp": "/var/tmp/", "deleteFile": True, "deleteDir": True, "gone": False}
        for key, value in expected.items():
            check(r.get(key) == value, "%s: %r" % (key, r.get(key)))
        with open(target, "rb") as f:
            check(f.read() == b"\x89PNG\x00\x01binary", "extracted bytes differ")
        check(not os.path.exists(os.path.join(bindir, "out")), "deleteDir left the folder")
    finally:
        p.kill()


@case
def files_read_back_and_folders_listed_from_a_page():
    # A text written by a page reads back as written (the mark dropped, CR LF kept, non-ASCII
    # intact) and byte for byte as base64; a folder lists folders first, then files; arguments
    # and bounds reach the page; a group the settings leave out answers "Command not allowed".
    app = App({"DynamicAppTitle": 1, "Commands": "files, folders ,window"}, {"index.html": page("", """
        runSteps({
          write: () => ryx.files.writeTextFile({filePath: 'data/é.txt', contents: 'Grüße €\\nzwei'}),
          read: () => ryx.files.readTextFile({filePath: 'data/é.txt'}),
          bytes: () => ryx.files.readBase64({filePath: 'data/é.txt'}),
          mkdir: () => ryx.files.writeTextFile({filePath: 'data/sub/x.txt', contents: ''}),
          list: () => ryx.folders.list({dirPath: 'data'}).then(l => l.map(e => e.name + (e.isDir ? '/' : '') + e.size)),
          notText: () => ryx.files.readTextFile({filePath: 'data/raw.bin'}).catch(e => 'rejected ' + e),
          args: () => ryx.app.getArgs(),
          setBounds: () => ryx.window.setBounds({width: 700, height: 500}),
          bounds: () => new Promise(r => setTimeout(r, 500)).then(() => ryx.window.getBounds()),
          refused: () => ryx.shell.command({command: 'touch refused'}).catch(e => 'rejected ' + e),
          hello: () => ryx.hello(),
        });"""), "img/x.txt": "x"})
    os.makedirs(os.path.join(app.dir, "bin", "data"))
    with open(os.path.join(app.dir, "bin", "data", "raw.bin"), "wb") as f:
        f.write(b"\xff\xfe not text \x80")
    p = app.start()
    try:
        r = p.results(p.window())
        check(r["write"] is True and r["read"] == "Grüße €\r\nzwei\r\n", r)
        written = open(os.path.join(app.dir, "bin", "data", "é.txt"), "rb").read()
        check(base64.b64decode(r["bytes"]) == written and written.startswith(b"\xef\xbb\xbf"), r["bytes"])
        check(r["list"] == ["sub/0", "raw.bin%d" % len(b"\xff\xfe not text \x80"), "é.txt%d" % len(written)], r["list"])
        check(str(r["notText"]).startswith("rejected The file is not UTF-8 text"), r["notText"])
        check(r["args"] == [], r["args"])
        check(r["bounds"]["width"] == 700 and r["bounds"]["height"] == 500 and r["bounds"]["state"] == "normal",
              r["bounds"])
        check(r["refused"] == "rejected Command not allowed" and r["hello"] == "2021.43", r)
        check(not os.path.exists(os.path.join(app.dir, "bin", "refused")), "a refused command ran")
    finally:
        p.kill()

    # A second app, started with arguments, hears them (the settings allow every group).
    app = App({"DynamicAppTitle": 1}, {"index.html": page("", "runSteps({args: () => ryx.app.getArgs()});")})
    p = app.start("--open", "/tmp/a file.txt")
    try:
        r = p.results(p.window())
        check(r["args"] == ["--open", "/tmp/a file.txt"], r["args"])
    finally:
        p.kill()


@case
def a_second_start_hands_its_arguments_to_the_running_app():
    # The app runs once: a second start hands its arguments to the page of the running one
    # (ryx.events.onSecondInstance) and ends with 0.
    app = App({"DynamicAppTitle": 1}, {"index.html": page("<p>first</p>", """
        ryx.events.onSecondInstance = function (args) { document.title = 'GOT:' + JSON.stringify(args); };
        document.title = 'READY';""")})
    first = app.start()
    try:
        wid = first.window()
        first.wait_title(wid, r"^READY$")
        second = app.start("/tmp/some file.txt", "--flag=é")
        check(second.wait_exit(15) == 0, "the second start did not end with 0: " + second.output())
        title = first.wait_title(wid, r"^GOT:")
        check(json.loads(title[4:]) == ["/tmp/some file.txt", "--flag=é"], title)
    finally:
        first.kill()


@case
def shell_commands_run_beside_the_window():
    # No file manager answers on this session bus, so shell.explore opens folders with the
    # desktop's default handler for folders: here a script that writes down what it was given.
    explore = os.path.join(WORK, "explore")
    missing = os.path.join(explore, "kept", "gone", "deeper.txt")
    item = os.path.join(explore, "other", "item.txt")
    os.makedirs(os.path.join(explore, "kept"))
    os.makedirs(os.path.join(explore, "other"))
    open(item, "w").close()
    data_home = os.path.join(WORK, "explore-data")
    recorder = os.path.join(explore, "record.sh")
    opened = os.path.join(explore, "opened.txt")
    with open(recorder, "w") as f:
        f.write("#!/bin/sh\nprintf '%%s\\n' \"$1\" >> %s\n" % opened)
    os.chmod(recorder, 0o755)
    os.makedirs(os.path.join(data_home, "applications"))
    with open(os.path.join(data_home, "applications", "velmora-folders.desktop"), "w") as f:
        f.write("[Desktop Entry]\nType=Application\nName=Folders\nExec=%s %%u\nMimeType=inode/directory;\n" % recorder)
    with open(os.path.join(data_home, "applications", "mimeapps.list"), "w") as f:
        f.write("[Default Applications]\ninode/directory=velmora-folders.desktop\n")
    app = App({"DynamicAppTitle": 1}, {"index.html": page("", """
        var quick = 'none';
        const slow = ryx.shell.command({command: "sleep 1; printf '%%s' 'say \\"hi\\" \\\\ done'; echo oops >&2"});
        // While the slow command runs, another call is answered.
        ryx.hello().then(v => { quick = v; });
        slow.then(out => runSteps({
          quickFirst: () => quick,
          output: () => out,
          nowhere: () => ryx.shell.command({command: 'pwd', workingDir: '/no/such/folder'}),
          workingDir: () => ryx.shell.command({command: 'pwd', workingDir: '/usr'}),
          missingCommand: () => ryx.shell.command({}).catch(e => 'rejected ' + e),
          missingFile: () => ryx.shell.execute({filePath: '/no/such/program'}).catch(e => 'rejected ' + (e.length > 0)),
          runs: () => ryx.shell.execute({filePath: '/bin/sh', arguments: "-c 'touch %s'"}),
          windows: async () => {
            // Titles come untrimmed (a document title would be trimmed by the page itself).
            await ryx.window.setTitle({title: '  padded  title  '});
            for (let i = 0; i < 12; i++) {
              const list = await ryx.shell.windows();
              if (list.includes('  padded  title  ')) return true;
              await new Promise(r => setTimeout(r, 100));
            }
            return await ryx.shell.windows();
          },
          logoff: () => ryx.system.logoff().then(v => 'accepted ' + v, e => 'refused ' + (e.length > 0)),
          exploreMissing: () => ryx.shell.explore({filePath: %s}),
          exploreItem: () => ryx.shell.explore({filePath: %s}),
        }));""" % (os.path.join(WORK, "touched"), json.dumps(missing), json.dumps(item)))}, name="Shell App")
    p = app.start(env={"DBUS_SYSTEM_BUS_ADDRESS": "unix:path=" + os.path.join(WORK, "no-system-bus"),
                       "XDG_DATA_HOME": data_home})
    try:
        r = p.results(p.window(), timeout=30)
        expected = {"quickFirst": "2021.43", "output": 'say "hi" \\ doneoops\n', "nowhere": "", "workingDir": "/usr\n",
                    "missingCommand": "rejected Missing command", "missingFile": "rejected true", "runs": True,
                    "windows": True, "logoff": "refused true", "exploreMissing": True, "exploreItem": True}
        for key, value in expected.items():
            check(r.get(key) == value, "%s: %r" % (key, r.get(key)))
        deadline = time.time() + 5
        while time.time() < deadline and not os.path.exists(os.path.join(WORK, "touched")):
            time.sleep(0.1)
        check(os.path.exists(os.path.join(WORK, "touched")), "shell.execute did not run the program")
        # The nearest folder that exists for the missing item, the item's own folder for the other.
        wanted = [os.path.join(explore, "kept"), os.path.join(explore, "other")]
        deadline = time.time() + 10
        seen = []
        while time.time() < deadline and sorted(seen) != wanted:
            time.sleep(0.1)
            seen = open(opened).read().split() if os.path.exists(opened) else []
        check(sorted(seen) == wanted, "folders opened: %r" % seen)
    finally:
        p.kill()


class Shot:
    """The pixels of a window (or of the whole screen, "root") at one moment."""

    def __init__(self, target="root"):
        path = os.path.join(WORK, "shot-%d.png" % time.monotonic_ns())
        check(run("import", "-window", str(target), path).returncode == 0, "no screenshot of " + str(target))
        ppm = subprocess.run(["convert", path, "-depth", "8", "ppm:-"], capture_output=True, timeout=20).stdout
        header = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", ppm)
        check(header is not None, "the screenshot could not be read")
        self.path = path
        self.width, self.height = int(header.group(1)), int(header.group(2))
        self.data = ppm[header.end():]

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.data[i:i + 3])

    def find(self, test, left, top, right, bottom):
        """The pixels (x, y) of the box [left, right) x [top, bottom) for which test(r, g, b) holds."""
        found = []
        for y in range(max(top, 0), min(bottom, self.height)):
            for x in range(max(left, 0), min(right, self.width)):
                if test(*self.pixel(x, y)):
                    found.append((x, y))
        return found


def near(colour, expected, tolerance=8):
    return all(abs(a - b) <= tolerance for a, b in zip(colour, expected))


def menu_key(*keys):
    """Keys to the focused window, with time for menus to open between them."""
    for key in keys:
        run("xdotool", "key", key)
        time.sleep(0.4)


@case
def main_menu_clicks():
    # A 32 x 32 red image must show at 16 x 16; the blue one belongs to a disabled item and
    # must show grey and faded.
    items = [
        {"caption": "&File", "id": 1, "items": [
            {"caption": "&Open", "id": 11, "image": "Web/red.png"},
            {"caption": "-", "id": 90},
            {"caption": "&Locked", "id": 12, "enabled": False, "image": "Web/blue.png"},
            {"caption": "&More", "id": 13, "items": [
                {"caption": "&Deep", "id": 131},
                {"caption": "&Nothing", "id": 132, "items": []},
            ]},
            {"caption": "Save && &Quit_Now", "id": 14},
        ]},
        {"caption": "&Help", "id": 2, "items": [
            {"caption": "&Unlock", "id": 21},
            {"caption": "&Rebuild", "id": 22},
        ]},
    ]
    rebuilt = [{"caption": "&Edit", "id": 3, "items": [{"caption": "Cu&t", "id": 31}]}]
    # The title shows every event so far, so a click that should not have happened shows too.
    app = App({"DynamicAppTitle": 1}, {
        "red.png": png_bytes(32, 32, (255, 0, 0, 255)),
        "blue.png": png_bytes(16, 16, (0, 0, 255, 255)),
        "index.html": page("", """
            const log = [];
            function note(entry) { log.push(entry); document.title = 'LOG:' + log.join(','); }
            ryx.events.onMainMenuItemClick = function (id) {
              note(id);
              // Answers that change the menu from inside the click.
              if (id === 21) {
                ryx.mainMenu.updateItem({id: 12, enabled: true}).then(r => note('unlocked=' + r));
              } else if (id === 22) {
                ryx.mainMenu.setItems({items: %s}).then(r => note('rebuilt=' + r));
              }
            };
            ryx.mainMenu.setItems({items: %s}).then(r => note('menu=' + r), e => note('failed=' + e));""" % (
            json.dumps(json.dumps(rebuilt)), json.dumps(json.dumps(items))))})
    p = app.start()
    log = ["menu=true"]

    def expect(*entries, quiet=0):
        log.extend(entries)
        wanted = "LOG:" + ",".join(str(entry) for entry in log)
        p.wait_title(wid, "^%s$" % re.escape(wanted), 10)
        if quiet:
            time.sleep(quiet)
            check(p.title(wid) == wanted, "%r instead of %r" % (p.title(wid), wanted))

    try:
        wid = p.window()
        expect()
        run("xdotool", "windowactivate", "--sync", wid)
        time.sleep(0.5)
        left, top, _, _ = client_geometry(wid)

        # The access key opens the File menu; the images show in it.
        menu_key("alt+f")
        shot = Shot()
        area = (left, top, left + 400, top + 300)
        red = shot.find(lambda r, g, b: r > 240 and g < 20 and b < 20, *area)
        check(red, "no item image in the open menu (screenshot %s)" % shot.path)
        xs = [x for x, _ in red]
        ys = [y for _, y in red]
        x0, x1, y0, y1 = min(xs), max(xs), min(ys), max(ys)
        # 16 x 16 logical pixels: twice that in screen pixels on a screen scaled by 2.
        side = 16 * int(os.environ.get("GDK_SCALE", "1"))
        check((x1 - x0 + 1, y1 - y0 + 1) == (side, side) and len(red) == side * side,
              "the image is %dx%d, not %dx%d" % (x1 - x0 + 1, y1 - y0 + 1, side, side))
        blue = shot.find(lambda r, g, b: b > 180 and r < 80 and g < 80 and b - r > 120, *area)
        check(not blue, "the disabled item's image is drawn in colour at %r" % blue[:3])
        # Below the enabled image, in the same column: the separator (a line), then the disabled
        # item's image, grey. Its rows are the longest run that differs from the menu background.
        column = [shot.pixel(x0 + side // 2, y) for y in range(y1 + 1, y1 + 8 * side)]
        background = max(set(column), key=column.count)
        runs, start = [], None
        for i, colour in enumerate(column + [background]):
            if colour != background and start is None:
                start = i
            elif colour == background and start is not None:
                runs.append((i - start, start))
                start = None
        length, first = max(runs) if runs else (0, 0)
        check(length >= side * 3 // 4, "no image for the disabled item below the enabled one (screenshot %s)" % shot.path)
        grey = column[first:first + length]
        check(all(max(c) - min(c) <= 24 for c in grey), "the disabled image is not grey: %r" % grey[:4])
        locked_y = y1 + 1 + first + length // 2

        # A click on the disabled item reports nothing and leaves the menu open; a click on the
        # enabled one reports its id.
        run("xdotool", "mousemove", "--sync", str(x0 + side // 2), str(locked_y), "click", "1")
        expect(quiet=1.5)
        run("xdotool", "mousemove", "--sync", str(x0 + side // 2), str(y0 + side // 2), "click", "1")
        expect(11)

        # Keyboard: access keys in the menus, a nested submenu, "&&" and "_" in a caption.
        for keys, expected in [(("alt+f", "o"), 11), (("alt+f", "m", "d"), 131), (("alt+f", "q"), 14)]:
            run("xdotool", "windowactivate", "--sync", wid)
            menu_key(*keys)
            expect(expected)
        # An item with an empty submenu opens it and raises no click; the disabled item neither.
        menu_key("alt+f", "m", "n", "Escape", "Escape", "Escape", "alt+f", "l", "Escape")
        expect(quiet=1)

        # updateItem from inside a click enables the item; the menu drawn again lets it be picked.
        menu_key("alt+h", "u")
        expect(21, "unlocked=true")
        menu_key("alt+f", "l")
        expect(12)

        # A page that answers a click with a new menu: the old one goes, the new one works.
        menu_key("alt+h", "r")
        expect(22, "rebuilt=true")
        menu_key("alt+f", "o", "Escape")
        expect(quiet=1)
        menu_key("alt+e", "t")
        expect(31)
        check(p.proc.poll() is None and "CRITICAL" not in p.output(), p.output())
    finally:
        p.kill()


@case
def theme_switch_restyles_the_menu_bar():
    # The page is green to its top edge, so the menu bar is what lies above the green.
    app = App({"DynamicAppTitle": 1}, {"index.html": page("", """
        document.documentElement.style.cssText = 'height: 100%; background: #00ff00';
        const steps = {
          1: {set: () => ryx.themes.setTheme({name: 'Windows10 Dark'}), get: () => ryx.themes.getTheme()},
          2: {set: () => ryx.themes.setTheme({name: 'Windows'}), get: () => ryx.themes.getTheme()},
          3: {set: () => ryx.themes.setTheme({name: 'windows10 dark'}), get: () => ryx.themes.getTheme(),
              unknown: () => ryx.themes.setTheme({name: 'No Such Theme'}), after: () => ryx.themes.getTheme()},
        };
        ryx.events.onMainMenuItemClick = async function (id) {
          const out = {};
          for (const name in steps[id]) { out[name] = await steps[id][name](); }
          document.title = 'STEP' + id + ':' + JSON.stringify(out);
        };
        ryx.mainMenu.setItems({items: JSON.stringify([
          {caption: '&Theme', id: 100, items: [{caption: '&Dark', id: 1}, {caption: '&System', id: 2},
                                               {caption: '&Other case', id: 3}]},
          {caption: '&View', id: 200, items: [{caption: '&Zoom', id: 201}]},
        ])}).then(r => { document.title = 'MENU:' + r; });""")})
    green = (0, 255, 0)
    dark_bar = (0x1F, 0x1F, 0x1F)

    def step(wid, key, number, expected):
        run("xdotool", "windowactivate", "--sync", wid)
        menu_key("alt+t", key)
        result = json.loads(p.wait_title(wid, "^STEP%d:" % number)[len("STEP%d:" % number):])
        check(result == expected, "step %d answered %r" % (number, result))
        time.sleep(0.5)

    def bar_colour(wid):
        shot = Shot(wid)
        x = shot.width - 10
        height = next((y for y in range(shot.height) if near(shot.pixel(x, y), green, 3)), None)
        check(height is not None and 15 <= height <= 60, "no menu bar above the page: %r" % height)
        check(near(shot.pixel(x, height + 20), green, 3), "the page content changed colour")
        return shot, height, shot.pixel(x, height // 2)

    p = app.start()
    try:
        wid = p.window()
        p.wait_title(wid, "^MENU:true$")
        time.sleep(0.5)
        _, height, system = bar_colour(wid)
        check(not near(system, dark_bar, 40), "the system menu bar is dark already: %r" % (system,))

        step(wid, "d", 1, {"set": True, "get": "Windows10 Dark"})
        shot, _, colour = bar_colour(wid)
        check(near(colour, dark_bar, 6), "the dark menu bar is %r" % (colour,))
        # The captions are light on the dark bar.
        caption = shot.find(lambda r, g, b: min(r, g, b) > 200, 0, 2, 150, height - 2)
        check(len(caption) > 20, "no light caption text on the dark menu bar (screenshot %s)" % shot.path)

        # The open menu is dark too, with the palette's highlight on the selected item.
        left, top, _, _ = client_geometry(wid)
        menu_key("alt+t")
        screen = Shot()
        area = (left, top + height, left + 300, top + height + 150)
        popup = [screen.pixel(x, y) for x, y in screen.find(lambda r, g, b: (r, g, b) != green, *area)]
        check(popup, "no menu opened")
        common = max(set(popup), key=popup.count)
        check(near(common, (0x1C, 0x1C, 0x1C), 8), "the open menu's background is %r" % (common,))
        check(sum(1 for c in popup if near(c, (0x00, 0x78, 0xD7), 8)) > 100, "no highlighted item in the open menu")
        menu_key("Escape", "Escape")

        step(wid, "s", 2, {"set": True, "get": "Windows"})
        _, _, colour = bar_colour(wid)
        check(near(colour, system, 4), "the system look did not come back: %r, was %r" % (colour, system))

        # Another letter case switches the theme but answers false; an unknown name changes nothing.
        step(wid, "o", 3, {"set": False, "get": "Windows10 Dark", "unknown": False, "after": "Windows10 Dark"})
        _, _, colour = bar_colour(wid)
        check(near(colour, dark_bar, 6), "the menu bar is %r after the other letter case" % (colour,))
        check("CRITICAL" not in p.output() and "theme style sheet" not in p.output(), p.output())
    finally:
        p.kill()


@case
def scaffold_runs_and_the_watch_loop_restarts_it():
    # The app "velmora-pack init" writes packs and runs; "run --watch" packs and starts it again
    # when a file of the app changes, and ends with the app's exit code once the app is closed.
    folder = os.path.join(WORK, "scaffold")
    made = run(PACK, "init", folder)
    check(made.returncode == 0, made.stderr)
    settings = os.path.join(folder, "ryx.ini")
    with open(settings, "a") as f:
        f.write("DynamicAppTitle=1\n")
    app_dir = os.path.join(folder, "app")
    runner = Process([PACK, "run", "--settings", settings, "--app", app_dir, "--runtime", RUNTIME, "--watch"])
    try:
        first = runner.window_named("My app")
        check(first is not None, "the scaffold's window never came: " + runner.output())
        page = os.path.join(app_dir, "index.html")
        with open(page) as f:
            text = f.read()
        with open(page, "w") as f:
            f.write(text.replace("<title>My app</title>", "<title>Edited app</title>"))
        second = runner.window_named("Edited app")
        check(second is not None, "no restart after the change: " + runner.output())
        check(not run("xdotool", "search", "--name", "^My app$").stdout.strip(), "the first app is still running")
        close_window(second)
        check(runner.wait_exit(20) == 0, "the loop did not end with the app: " + runner.output())
    finally:
        runner.kill()

    # Without --watch the exit code is the app's own: here the one of a killed app.
    runner = Process([PACK, "run", "--settings", settings, "--app", app_dir, "--runtime", RUNTIME])
    try:
        check(runner.window_named("Edited app") is not None, "the app did not start: " + runner.output())
        run("pkill", "-TERM", "-f", "velmora-run-.*/app-1")
        check(runner.wait_exit(20) == 128 + 15, "exit code %s, not the app's" % runner.proc.returncode)
    finally:
        runner.kill()


@case
def debian_package_installs_a_desktop_entry_whose_window_matches():
    # --deb writes a .deb and a .tar.gz. Installed into a folder (dpkg -x), the desktop file is
    # valid, names the program and the icon, and the program's window has the class the file's
    # StartupWMClass names and, with the package's icons in the data folders, the author's icon.
    icon = os.path.join(WORK, "desk-icon.png")
    with open(icon, "wb") as f:
        f.write(png_bytes(40, 40, (0xC0, 0x30, 0x90, 0xFF)))
    app = App({"DynamicAppTitle": 1}, {"index.html": page("<p>desk</p>", "runSteps({ready: () => 1});")},
              name="Desk Demo", app_id="org.velmora.Desk Demo",
              pack_args=("--deb", os.path.join(WORK, "desk.deb"), "--deb-icon", icon, "--deb-version", "2.3.1"))
    check(os.path.getsize(os.path.join(WORK, "desk.tar.gz")) > 100000, "no tarball beside the .deb")
    info = run("dpkg-deb", "--field", os.path.join(WORK, "desk.deb"), "Package", "Version").stdout
    check("Package: org.velmora.desk-demo" in info and "Version: 2.3.1" in info, info)
    root = os.path.join(WORK, "desk-root")
    check(run("dpkg", "-x", os.path.join(WORK, "desk.deb"), root).returncode == 0, "dpkg -x failed")
    desktop = os.path.join(root, "usr", "share", "applications", "org.velmora.Desk-Demo.desktop")
    valid = run("desktop-file-validate", desktop)
    check(valid.returncode == 0 and not valid.stdout.strip(), "desktop-file-validate: " + valid.stdout + valid.stderr)
    with open(desktop) as f:
        entry = dict(line.split("=", 1) for line in f.read().splitlines() if "=" in line)
    check(entry["Name"] == "Desk Demo" and entry["Icon"] == "org.velmora.Desk-Demo", str(entry))
    program = root + entry["Exec"]
    check(os.access(program, os.X_OK), "Exec names no program in the package: " + entry["Exec"])
    for side in (16, 32, 48, 256):
        check(os.path.exists(os.path.join(root, "usr", "share", "icons", "hicolor", "%dx%d" % (side, side), "apps",
                                          "org.velmora.Desk-Demo.png")), "no %d pixel icon" % side)

    p = Process([program], env={"XDG_DATA_DIRS": os.path.join(root, "usr", "share") + ":/usr/share"})
    try:
        wid = p.window()
        p.results(wid)
        wm_class = run("xprop", "-id", wid, "WM_CLASS").stdout
        check('"%s"' % entry["StartupWMClass"] in wm_class.partition("=")[2].split(",")[-1], wm_class)
        icons = net_wm_icons(wid)
        check(icons, "the window has no icon")
        side = max(icons)
        centre = icons[side][side // 2 * side + side // 2]
        check(centre == 0xFFC03090, "the window's %d pixel icon is not the author's: %08x" % (side, centre))
    finally:
        p.kill()


def main():
    env_dirs = {"XDG_DATA_HOME": os.path.join(WORK, "data"), "XDG_RUNTIME_DIR": os.path.join(WORK, "run")}
    for key, value in env_dirs.items():
        os.makedirs(value, mode=0o700, exist_ok=True)
        os.environ[key] = value
    os.environ["LANG"] = "C.UTF-8"
    os.environ.pop("LC_ALL", None)
    passed = failed = 0
    for fn in CASES:
        if ONLY and fn.__name__ not in ONLY:
            continue
        start = time.time()
        try:
            fn()
            passed += 1
            print("PASS %s (%.1fs)" % (fn.__name__, time.time() - start), flush=True)
        except Exception as error:  # a failing case must not stop the others
            failed += 1
            print("FAIL %s: %s" % (fn.__name__, error), flush=True)
            if not isinstance(error, Failure):
                traceback.print_exc()
            shot = os.path.join(tempfile.gettempdir(), "velmora-e2e-%s.png" % fn.__name__)
            run("import", "-window", "root", shot)
            print("     screenshot: " + shot, flush=True)
    print("%d passed, %d failed" % (passed, failed))
    shutil.rmtree(WORK, ignore_errors=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
