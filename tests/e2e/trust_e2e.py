#!/usr/bin/env python3
"""End-to-end tests of the trust boundary and of hostile input, on the Linux runtime.

Every attack runs from a page served by a loopback HTTP server, the other origin a packaged app
may navigate to or embed: it must not read the disk through the app scheme, take the replies of
the app's calls, plant a download or open a planted page as an app page. Hostile messages and
bundles must leave the runtime alive and answering; a full disk keeps the old file; a crashed
web process brings the page back. Uses the harness of gui_e2e.py (same arguments, same X server).

Usage: trust_e2e.py VELMORA_PACK VELMORA_RUNTIME [CASE...]
"""
import http.server
import json
import os
import re
import signal
import struct
import subprocess
import sys
import threading
import time
import zipfile
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import gui_e2e as base  # noqa: E402  (the harness: App, Process, page, check, run)

from gui_e2e import App, Failure, check, page, run  # noqa: E402

# Only the cases of this file run.
base.CASES.clear()
case = base.case
WORK = base.WORK


class OtherOrigin:
    """A loopback web server: the other origin. It serves pages and records what pages report."""

    def __init__(self):
        self.pages = {}
        self.reports = []
        self.results = {}
        self.lock = threading.Lock()
        outer = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                path = self.path.split("?")[0]
                if path == "/report":
                    with outer.lock:
                        outer.reports.append(self.path.split("?", 1)[1] if "?" in self.path else "")
                    self.answer(b"", "text/plain")
                elif path in outer.pages:
                    self.answer(outer.pages[path].encode(), "text/html; charset=utf-8")
                else:
                    self.send_response(404)
                    self.end_headers()

            def do_POST(self):
                body = self.rfile.read(int(self.headers.get("Content-Length", "0"))).decode()
                with outer.lock:
                    outer.results[self.path] = json.loads(body)
                self.answer(b"", "text/plain")

            def answer(self, body, kind):
                self.send_response(200)
                self.send_header("Content-Type", kind)
                self.send_header("Content-Length", str(len(body)))
                self.send_header("Access-Control-Allow-Origin", "*")
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.port = self.server.server_address[1]
        self.url = "http://127.0.0.1:%d" % self.port
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def result(self, path, process, timeout=30):
        deadline = time.time() + timeout
        while time.time() < deadline:
            with self.lock:
                if path in self.results:
                    return self.results[path]
            check(process.proc.poll() is None, "the app ended early: " + process.output())
            time.sleep(0.2)
        raise Failure("the page never reported %s" % path)

    def close(self):
        self.server.shutdown()


# A remote page's harness: each step's outcome, posted to the server as JSON.
REMOTE_HARNESS = r"""
<script>
function settle(promise, ms) {
  return Promise.race([Promise.resolve().then(() => promise),
                       new Promise(r => setTimeout(() => r('TIMEOUT'), ms || 2000))]);
}
async function steps(list, where) {
  const out = {};
  for (const name in list) {
    try { out[name] = await settle(list[name]()); } catch (e) { out[name] = 'ERROR:' + e; }
  }
  await fetch(where, {method: 'POST', body: JSON.stringify(out)});
  return out;
}
function loads(element, attribute, url) {
  return new Promise(resolve => {
    const e = document.createElement(element);
    e.onload = () => resolve('loaded');
    e.onerror = () => resolve('error');
    if (element === 'link') e.rel = 'stylesheet';
    e[attribute] = url;
    (element === 'link' ? document.head : document.body).appendChild(e);
  });
}
function syncXhr(url) {
  try { const x = new XMLHttpRequest(); x.open('GET', url, false); x.send(); return x.status + ':' + x.responseText; }
  catch (e) { return 'ERROR:' + e.name; }
}
</script>
"""


def remote_page(body, script):
    return "<!doctype html><html><head><meta charset='utf-8'><title>remote</title>%s</head><body>%s<script>%s</script></body></html>" % (
        REMOTE_HARNESS, body, script)


def secrets():
    """Files elsewhere on the disk that no page from elsewhere may read."""
    folder = os.path.join(WORK, "secret-place")
    os.makedirs(folder, exist_ok=True)
    paths = {"text": os.path.join(folder, "secret.txt"), "script": os.path.join(folder, "secret.js"),
             "image": os.path.join(folder, "secret.png")}
    with open(paths["text"], "w") as f:
        f.write("TOPSECRET")
    with open(paths["script"], "w") as f:
        f.write("window.leaked = 'TOPSECRET';")
    with open(paths["image"], "wb") as f:
        f.write(base.png_bytes(4, 4, (1, 2, 3, 255)))
    return paths


def app_address(path):
    return "velmora://app" + path.replace(" ", "%20")


def load_everything(prefix, paths):
    """Steps that load the secrets and an app page in every way a page can load a resource."""
    return """{
      fetchDisk: () => fetch(%(text)s).then(r => r.text(), e => 'ERROR'),
      fetchApp: () => fetch(%(probe)s).then(r => r.text(), e => 'ERROR'),
      syncXhrDisk: () => syncXhr(%(text)s),
      syncXhrApp: () => syncXhr(%(probe)s),
      asyncXhr: () => new Promise(r => { const x = new XMLHttpRequest(); x.open('GET', %(text)s);
                                        x.onload = () => r(x.status + ':' + x.responseText); x.onerror = () => r('error');
                                        x.send(); }),
      noCors: () => fetch(%(text)s, {mode: 'no-cors'}).then(r => r.type + ':' + r.status, e => 'ERROR'),
      script: () => loads('script', 'src', %(script)s).then(s => s + ':' + (window.leaked || '')),
      image: () => loads('img', 'src', %(image)s),
      style: () => loads('link', 'href', %(text)s),
      frame: () => loads('iframe', 'src', %(probe)s),
      dataFrame: () => new Promise(r => {
        window.addEventListener('message', e => { if (e.data && e.data.dataFrame) r(e.data.dataFrame); });
        const f = document.createElement('iframe');
        f.src = 'data:text/html,' + encodeURIComponent('<script>var x=new XMLHttpRequest();' +
          'try{x.open("GET",' + JSON.stringify(%(text)s) + ',false);x.send();parent.postMessage({dataFrame:x.status+":"+x.responseText},"*")}' +
          'catch(e){parent.postMessage({dataFrame:"ERROR"},"*")}<\\/script>');
        document.body.appendChild(f);
      }),
      worker: () => new Promise(r => { try { const w = new Worker(%(script)s); w.onerror = () => r('error');
                                             setTimeout(() => r('no error'), 1000); } catch (e) { r('ERROR'); } }),
    }""" % {"text": json.dumps(app_address(paths["text"])), "script": json.dumps(app_address(paths["script"])),
            "image": json.dumps(app_address(paths["image"])), "probe": json.dumps(prefix + "probe.html")}


# ---------------------------------------------------------------------------------------------

@case
def pages_from_elsewhere_cannot_read_the_disk_or_load_app_pages():
    paths = secrets()
    other = OtherOrigin()
    probe = page("", "new Image().src = '%s/report?probe-loaded:' + encodeURIComponent(location.href);" % other.url)
    other.pages["/evil.html"] = remote_page("<p>elsewhere</p>", """
        steps(%s, '/result').then(() => {
          // Last: navigating the view itself to an app page.
          setTimeout(() => { location.href = 'velmora://app/probe.html?navigated'; }, 100);
          setTimeout(() => { new Image().src = '/report?still-elsewhere'; }, 2500);
        });""" % load_everything("velmora://app/", paths))
    app = App({"DynamicAppTitle": 1}, {"index.html": "<script>location.href = '%s/evil.html';</script>" % other.url,
                                       "probe.html": probe})
    p = app.start()
    try:
        p.window()
        r = other.result("/result", p)
        if os.environ.get("E2E_VERBOSE"):
            print("     remote page saw: %r" % r)
        leaked = {k: v for k, v in r.items() if "TOPSECRET" in json.dumps(v) or "probe" in json.dumps(v)}
        check(not leaked, "a page from elsewhere read app files: %r" % leaked)
        check(r["image"] == "error" and r["style"] == "error", "an app address loaded: %r" % r)
        check(r["syncXhrDisk"].startswith("ERROR") or r["syncXhrDisk"].startswith("403") or
              r["syncXhrDisk"].startswith("0:"), r["syncXhrDisk"])
        deadline = time.time() + 10
        while time.time() < deadline and "still-elsewhere" not in other.reports:
            time.sleep(0.2)
        check("still-elsewhere" in other.reports, "the page from elsewhere navigated the view away")
        check(not any(x.startswith("probe-loaded") for x in other.reports),
              "an app page ran inside or instead of the page from elsewhere: %r" % other.reports)
        check(p.proc.poll() is None, "the runtime ended: " + p.output())
    finally:
        p.kill()
        other.close()


@case
def the_apps_own_pages_keep_loading_their_files():
    # The same ways of loading, from an app page, for the app's own files, all work.
    other = OtherOrigin()
    probe = page("", "new Image().src = '%s/report?probe-loaded';" % other.url)
    app = App({"DynamicAppTitle": 1}, {
        "index.html": page("", """
            runSteps({
              fetch: () => fetch('data/file.txt').then(r => r.text()),
              syncXhr: () => { const x = new XMLHttpRequest(); x.open('GET', 'data/file.txt', false); x.send();
                               return x.status + ':' + x.responseText; },
              script: () => new Promise(r => { const s = document.createElement('script'); s.src = 'lib/own.js';
                                                s.onload = () => r(window.own); s.onerror = () => r('error');
                                                document.body.appendChild(s); }),
              image: () => new Promise(r => { const i = new Image(); i.onload = () => r(i.width);
                                              i.onerror = () => r('error'); i.src = 'img/dot.png'; }),
              frame: () => new Promise(r => { const f = document.createElement('iframe'); f.onload = () => r('loaded');
                                              f.src = 'probe.html'; document.body.appendChild(f); }),
              worker: () => new Promise(r => { const w = new Worker('lib/worker.js'); w.onmessage = e => r(e.data); }),
            });"""),
        "data/file.txt": "own data",
        "lib/own.js": "window.own = 'own script';",
        "lib/worker.js": "fetch('../data/file.txt').then(r => r.text()).then(t => postMessage('worker ' + t));",
        "img/dot.png": base.png_bytes(3, 3, (9, 9, 9, 255)),
        "probe.html": probe,
    })
    p = app.start()
    try:
        r = p.results(p.window())
        check(r == {"fetch": "own data", "syncXhr": "200:own data", "script": "own script", "image": 3,
                    "frame": "loaded", "worker": "worker own data"}, "app page: %r" % r)
        deadline = time.time() + 5
        while time.time() < deadline and "probe-loaded" not in other.reports:
            time.sleep(0.2)
        check("probe-loaded" in other.reports, "the app's own frame did not run")
    finally:
        p.kill()
        other.close()


def raw_request(port, head):
    """Sends a request head as it is; the status line and the body of the answer ("" when the
    server closed the connection without one)."""
    import socket
    with socket.create_connection(("127.0.0.1", port), timeout=10) as conn:
        try:
            conn.sendall(head.encode("latin-1"))
        except (BrokenPipeError, ConnectionResetError):
            pass
        data = b""
        while True:
            try:
                chunk = conn.recv(65536)
            except (ConnectionResetError, socket.timeout):
                break
            if not chunk:
                break
            data += chunk
            head_end = data.find(b"\r\n\r\n")
            if head_end >= 0:
                match = re.search(rb"(?i)content-length: *(\d+)", data[:head_end])
                if match and len(data) - head_end - 4 >= int(match.group(1)):
                    break
    status = data.split(b"\r\n", 1)[0].decode("latin-1")
    return status, data[data.find(b"\r\n\r\n") + 4:] if b"\r\n\r\n" in data else b""


@case
def the_media_route_answers_only_its_secret_and_only_app_documents_learn_it():
    other = OtherOrigin()
    try:
        other.pages["/media.html"] = remote_page(
            "<video id='r' src='velmora://app/clip.webm'></video>",
            "setTimeout(() => parent.postMessage({remoteSrc: document.getElementById('r').getAttribute('src')}, '*'), 500);")
        clip = bytes(range(256)) * 64
        files = {
            "index.html": page("<video id='v' src='clip.webm'></video><iframe src='%s/media.html'></iframe>" % other.url, """
              runSteps({
                routed: () => document.getElementById('v').src,
                remoteSrc: () => new Promise(r => window.addEventListener('message', e => r(e.data.remoteSrc))),
              });"""),
            "clip.webm": clip,
        }
        app = App({"DynamicAppTitle": 1}, files)
        p = app.start()
        try:
            r = p.results(p.window())
            # The remote document keeps its address: it never learns the route.
            check(r["remoteSrc"] == "velmora://app/clip.webm", r)
            match = re.match(r"^http://127\.0\.0\.1:(\d+)/([0-9a-f]{32})/clip\.webm$", r["routed"])
            check(match is not None, r)
            port, secret = int(match.group(1)), match.group(2)
            host = "Host: 127.0.0.1:%d\r\n" % port

            status, body = raw_request(port, "GET /%s/clip.webm HTTP/1.1\r\n%s\r\n" % (secret, host))
            check(status == "HTTP/1.1 200 OK" and body == clip, status)
            status, body = raw_request(port, "GET /%s/clip.webm HTTP/1.1\r\n%sRange: bytes=300-309\r\n\r\n" % (secret, host))
            check(status == "HTTP/1.1 206 Partial Content" and body == clip[300:310], status)
            refused = {
                "wrong secret": ("GET /%s/clip.webm HTTP/1.1\r\n%s\r\n" % ("0" * 32, host), "404"),
                "no secret": ("GET /clip.webm HTTP/1.1\r\n%s\r\n" % host, "404"),
                "a name for the address": ("GET /%s/clip.webm HTTP/1.1\r\nHost: rebound.example:%d\r\n\r\n" % (secret, port), "403"),
                "no host": ("GET /%s/clip.webm HTTP/1.0\r\n\r\n" % secret, "403"),
                "another method": ("POST /%s/clip.webm HTTP/1.1\r\n%sContent-Length: 0\r\n\r\n" % (secret, host), "405"),
                "not HTTP": ("HELLO\r\n\r\n", "400"),
            }
            for name, (head, code) in refused.items():
                status, body = raw_request(port, head)
                check(status.split(" ")[1:2] == [code] and body == b"", "%s: %s" % (name, status))
            # A head without end meets the limit: the connection closes with no file sent.
            status, body = raw_request(port, "GET /%s/clip.webm HTTP/1.1\r\n%sX-Filler: %s" % (secret, host, "x" * 40000))
            check(status == "" and body == b"", status)
            check(p.proc.poll() is None, "the runtime ended")
        finally:
            p.kill()
    finally:
        other.close()


@case
def replies_reach_only_the_document_that_called():
    other = OtherOrigin()
    # A page from elsewhere listens for whatever message reaches it after the app navigated to it
    # with a call still pending.
    other.pages["/listen.html"] = remote_page("", """
        const heard = [];
        window.chrome.webview.addEventListener('message', e => heard.push(JSON.stringify(e.data)));
        setTimeout(() => fetch('/result', {method: 'POST', body: JSON.stringify({heard: heard})}), 4000);""")
    other.pages["/spy.html"] = remote_page("", """
        const heard = [];
        window.chrome.webview.addEventListener('message', e => heard.push(JSON.stringify(e.data)));
        setTimeout(() => fetch('/spy', {method: 'POST', body: JSON.stringify({heard: heard})}), 3000);""")
    app = App({"DynamicAppTitle": 1}, {
        "index.html": page("", """
            ryx.shell.command({command: 'sleep 1.5; echo SECRET-REPLY'});
            setTimeout(() => { location.href = '%s/listen.html'; }, 200);""" % other.url),
        "frames.html": page("""
            <iframe id="own" src="frame.html"></iframe>
            <iframe src="%s/spy.html"></iframe>""" % other.url, """
            const seen = [];
            window.chrome.webview.addEventListener('message', e => seen.push(e.data.uuid));
            const fromFrame = new Promise(r => window.addEventListener('message', e => { if (e.data.frame) r(e.data.frame); }));
            const blobDoc = URL.createObjectURL(new Blob(['<script>ryx.hello().then(v => parent.postMessage({blob: v}, "*"));<\\/script>'],
                                                         {type: 'text/html'}));
            const fromBlob = new Promise(r => window.addEventListener('message', e => { if (e.data.blob) r(e.data.blob); }));
            const b = document.createElement('iframe'); b.src = blobDoc; document.body.appendChild(b);
            runSteps({
              own: () => ryx.isRuntime(),
              frame: () => fromFrame,
              blob: () => fromBlob,
              seenByTop: () => new Promise(r => setTimeout(() => r(seen.length), 500)),
            });"""),
        "frame.html": page("", "ryx.hello().then(v => parent.postMessage({frame: v}, '*'));"),
    })
    p = app.start()
    try:
        p.window()
        r = other.result("/result", p)
        check(r["heard"] == [], "a page from elsewhere received a reply meant for the app: %r" % r["heard"])
    finally:
        p.kill()
    p = app.start(app.id, "file:///frames.html")
    try:
        r = p.results(p.window())
        check(r["own"] is True and r["frame"] == "2021.43", "app documents lost their replies: %r" % r)
        check(r["blob"] == "TIMEOUT", "a blob: document used the bridge: %r" % r)
        check(r["seenByTop"] == 1, "the top document saw replies of its frames: %r" % r)
        spy = other.result("/spy", p)
        check(spy["heard"] == [], "a remote frame received the app's replies: %r" % spy["heard"])
    finally:
        p.kill()
        other.close()


def files_below(folder):
    found = []
    for root, _, names in os.walk(folder):
        found.extend(os.path.join(root, n) for n in names)
    return found


@case
def downloads_only_from_app_pages_and_only_where_the_user_says():
    home = os.path.join(WORK, "download-home")
    os.makedirs(os.path.join(home, "Downloads"))
    other = OtherOrigin()
    other.pages["/plant.html"] = remote_page("", """
        for (const [name, href] of [['planted.html', 'data:text/html,planted'],
                                    ['planted.sh', URL.createObjectURL(new Blob(['echo planted']))]]) {
          const a = document.createElement('a'); a.download = name; a.href = href; document.body.appendChild(a); a.click();
        }
        setTimeout(() => fetch('/result', {method: 'POST', body: '{}'}), 2500);""")
    app = App({"DynamicAppTitle": 1}, {
        "index.html": page("", "location.href = '%s/plant.html';" % other.url),
        "own.html": page("", """
            document.title = 'READY';
            const a = document.createElement('a'); a.download = 'report.csv'; a.href = 'data:text/csv,a;b';
            document.body.appendChild(a);
            var waiting = setInterval(() => { if (document.hasFocus()) { clearInterval(waiting); a.click(); } }, 100);"""),
    })
    env = {"HOME": home, "XDG_DOWNLOAD_DIR": os.path.join(home, "Downloads")}
    p = app.start(env=env)
    try:
        p.window()
        other.result("/result", p)
        time.sleep(1)
        check(not files_below(home), "a page from elsewhere saved files: %r" % files_below(home))
        check(len(p.windows()) == 1, "a dialog opened for a page from elsewhere")
    finally:
        p.kill()
    target = os.path.join(WORK, "saved by the user", "report.csv")
    os.makedirs(os.path.dirname(target))
    p = app.start(app.id, "file:///own.html", env=env)
    try:
        wid = p.window()
        run("xdotool", "windowactivate", "--sync", wid)
        dialog = p.window_named("Save file")
        check(dialog, "an app page's download did not ask where to save")
        check(not files_below(home), "the download was saved before the user answered")
        run("xdotool", "windowactivate", "--sync", dialog)
        time.sleep(0.3)
        run("xdotool", "key", "ctrl+a")
        run("xdotool", "type", "--delay", "30", target)
        time.sleep(0.3)
        run("xdotool", "key", "Return")
        deadline = time.time() + 10
        while time.time() < deadline and not os.path.exists(target):
            time.sleep(0.2)
        check(os.path.exists(target), "the download did not reach the chosen file")
        time.sleep(0.5)
        with open(target) as f:
            check(f.read() == "a;b", "the saved download differs")
        check(not files_below(home), "the download went elsewhere too: %r" % files_below(home))
    finally:
        p.kill()
        other.close()


def instances_of(exe):
    out = run("pgrep", "-f", "^" + re.escape(exe)).stdout.split()
    return [int(x) for x in out]


@case
def planted_pages_never_open_as_app_pages():
    planted_dir = os.path.join(WORK, "planted")
    os.makedirs(planted_dir)
    marker = os.path.join(WORK, "planted-ran")
    planted = os.path.join(planted_dir, "planted.html")
    with open(planted, "w") as f:
        f.write("<title>PLANTED</title><script>document.title='PLANTED';"
                "ryx.shell.command({command: 'touch %s'});</script>" % marker)
    other = OtherOrigin()
    other.pages["/opener.html"] = remote_page("", """
        window.open('file://%(p)s', '_blank');
        window.open('velmora://app%(p)s', '_blank');
        const a = document.createElement('a'); a.href = 'file://%(p)s'; a.target = '_blank'; document.body.appendChild(a); a.click();
        setTimeout(() => fetch('/result', {method: 'POST', body: '{}'}), 2500);""" % {"p": planted})
    app = App({"DynamicAppTitle": 1, "AllowInstances": 1}, {
        # The app's own page opening a file from elsewhere on disk is refused as well.
        "index.html": page("", """
            window.open('file://%s', '_blank');
            setTimeout(() => { location.href = '%s/opener.html'; }, 300);""" % (planted, other.url)),
    })
    p = app.start()
    try:
        p.window()
        other.result("/result", p)
        time.sleep(2)
        check(not run("xdotool", "search", "--name", "^PLANTED$").stdout.split(), "a planted page opened a window")
        check(not os.path.exists(marker), "a planted page ran a command")
        check(instances_of(app.exe) == [p.proc.pid], "another instance started: %r" % instances_of(app.exe))
    finally:
        p.kill()
        other.close()


@case
def hostile_messages_leave_the_runtime_answering():
    fifo = os.path.join(WORK, "a fifo")
    os.mkfifo(fifo)
    marker = "velmora-%d" % os.getpid()
    app = App({"DynamicAppTitle": 1}, {"index.html": page("", """
        function deep(n) { let v = 0; for (let i = 0; i < n; i++) v = [v]; return v; }
        function chain(n) { let items = [{caption: 'leaf', id: 1}];
                            for (let i = 0; i < n; i++) items = [{caption: 'level', id: 2, items: items}];
                            return JSON.stringify(items); }
        function flat(n) { const items = []; for (let i = 0; i < n; i++) items.push({caption: 'i', id: i});
                           return JSON.stringify(items); }
        function quick(call) { const t = performance.now(); return call().then(v => [v, performance.now() - t < 1000]); }
        runSteps({
          deepMessage: () => { try { window.chrome.webview.postMessage({id: 10001, uuid: 'deep', data: {x: deep(5000)}}); }
                               catch (e) {} return quick(() => ryx.hello()); },
          deepMenu: () => ryx.mainMenu.setItems({items: chain(5000)}).catch(e => 'rejected ' + e),
          wideMenu: () => ryx.mainMenu.setItems({items: flat(100000)}).catch(e => 'rejected ' + e),
          widestAllowed: () => quick(() => ryx.mainMenu.setItems({items: flat(2000)})),
          fifo: () => ryx.files.writeTextFile({filePath: %s, contents: 'x'}).catch(e => 'rejected ' + /not a regular file/.test(e)),
          endlessOutput: () => ryx.shell.command({command: 'yes endless-%s'}).catch(e => 'rejected ' + e),
          nulPath: () => ryx.files.writeTextFile({filePath: 'a\\u0000b', contents: 'x'}).catch(e => 'rejected ' + e),
          afterwards: () => quick(() => ryx.hello()),
        });""" % (json.dumps(fifo), marker))})
    p = app.start()
    try:
        r = p.results(p.window(), timeout=60)
        expected = {"deepMessage": ["2021.43", True], "deepMenu": "rejected Wrong menu items JSON",
                    "wideMenu": "rejected Wrong menu items JSON", "widestAllowed": [True, True], "fifo": "rejected true",
                    "endlessOutput": "rejected The command printed more than 32 MB and was ended",
                    "nulPath": "rejected Invalid path: it contains a NUL character", "afterwards": ["2021.43", True]}
        for key, value in expected.items():
            check(r.get(key) == value, "%s: %r" % (key, r.get(key)))
        check(not run("pgrep", "-f", "yes endless-" + marker).stdout.strip(), "the endless command still runs")
    finally:
        p.kill()


def lying_about_size(archive_path, name, size):
    """Rewrites the size an entry declares in its local header and in the central directory."""
    with open(archive_path, "r+b") as f:
        data = bytearray(f.read())
        at = data.find(b"PK\x01\x02")
        while at >= 0:
            length = struct.unpack_from("<H", data, at + 28)[0]
            if bytes(data[at + 46:at + 46 + length]) == name.encode():
                struct.pack_into("<I", data, at + 24, size)
                local = struct.unpack_from("<I", data, at + 42)[0]
                struct.pack_into("<I", data, local + 22, size)
            at = data.find(b"PK\x01\x02", at + 4)
        f.seek(0)
        f.write(data)


def rss_kib(pid):
    with open("/proc/%d/status" % pid) as f:
        return int(re.search(r"VmRSS:\s+(\d+)", f.read()).group(1))


@case
def hostile_bundles_leave_the_runtime_answering():
    # Put together by hand, as a hostile builder would: a 2 GB deflate bomb that declares its size,
    # one that declares a small size, and an entry that declares 4 GB.
    exe = os.path.join(WORK, "hostile-bundle")
    archive = os.path.join(WORK, "hostile.zip")
    index = page("", """
        const big = fetch('bomb.bin').then(r => r.arrayBuffer()).then(b => 'read ' + b.byteLength, e => 'failed');
        runSteps({
          answeredMeanwhile: () => { const t = performance.now(); return ryx.hello().then(v => [v, performance.now() - t < 1000]); },
          bomb: () => big,
          smallLie: () => fetch('lying-bomb.bin').then(r => r.arrayBuffer()).then(b => 'read ' + b.byteLength, e => 'failed'),
          hugeLie: () => fetch('huge.bin').then(r => r.arrayBuffer()).then(b => 'read ' + b.byteLength, e => 'failed'),
          afterwards: () => ryx.hello(),
        });""")
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("ryx.ini", "[App]\nID=org.velmora.hostile\nName=Hostile\nDirName=Web\nDynamicAppTitle=1\n")
        z.writestr("Web/index.html", index)
        chunk = bytes(1 << 20)
        with z.open("Web/bomb.bin", "w", force_zip64=True) as entry:
            for _ in range(2048):
                entry.write(chunk)
        with z.open("Web/lying-bomb.bin", "w") as entry:
            for _ in range(200):
                entry.write(chunk)
        z.writestr("Web/huge.bin", "small")
    lying_about_size(archive, "Web/lying-bomb.bin", 1000)
    lying_about_size(archive, "Web/huge.bin", 0xFFFFFFF0)
    with open(exe, "wb") as out:
        for part in (base.RUNTIME, archive):
            with open(part, "rb") as f:
                out.write(f.read())
    os.chmod(exe, 0o755)
    os.remove(archive)
    p = base.Process([exe])
    try:
        r = p.results(p.window(), timeout=60)
        check(r["answeredMeanwhile"] == ["2021.43", True], "the bridge stalled: %r" % r)
        for key in ("bomb", "smallLie", "hugeLie"):
            check(r[key] == "failed", "%s: %r" % (key, r[key]))
        check(r["afterwards"] == "2021.43", r)
        check(rss_kib(p.proc.pid) < 1024 * 1024, "the runtime holds %d KiB" % rss_kib(p.proc.pid))
    finally:
        p.kill()
        os.remove(exe)

    # Settings far past any sane size count as missing: a silent end.
    exe = os.path.join(WORK, "huge-settings")
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("ryx.ini", "[App]\nID=x\nName=x\nDirName=Web\n;" + "x" * (4 << 20))
        z.writestr("Web/index.html", "<title>should not show</title>")
    with open(exe, "wb") as out:
        for part in (base.RUNTIME, archive):
            with open(part, "rb") as f:
                out.write(f.read())
    os.chmod(exe, 0o755)
    p = base.Process([exe])
    try:
        check(p.wait_exit(20) == 0, "huge settings did not end the start silently")
    finally:
        p.kill()

    # An archive that cannot be opened is an error that escapes the start-up: a message box says
    # so, on Linux as on Windows, and the process ends with exit code 1 once it is closed.
    exe = os.path.join(WORK, "broken-archive")
    with open(exe, "wb") as out:
        with open(base.RUNTIME, "rb") as f:
            out.write(f.read())
        out.write(b"PK\x03\x04 this is no archive at all")
    os.chmod(exe, 0o755)
    p = base.Process([exe])
    try:
        box = p.window()
        check(p.title(box) == "Error", "the error box is titled %r" % p.title(box))
        check("cannot start" in p.output(), p.output())
        run("xdotool", "windowactivate", "--sync", box)
        run("xdotool", "key", "Return")
        check(p.wait_exit(10) == 1, "the start-up error did not end the process with exit code 1")
    finally:
        p.kill()


@case
def a_crashed_web_process_brings_the_page_back():
    app = App({"DynamicAppTitle": 1}, {"index.html": page("", """
        const started = Date.now();
        ryx.hello().then(v => { document.title = 'LOADED:' + started + ':' + v; });""")})
    p = app.start()
    try:
        wid = p.window()
        first = p.wait_title(wid, "^LOADED:")
        web = [int(x) for x in run("pgrep", "-P", str(p.proc.pid), "-f", "WebKitWebProcess").stdout.split()]
        check(web, "no web process found")
        for pid in web:
            os.kill(pid, signal.SIGKILL)
        # While the page loads again its title is empty for a moment, and so is the caption.
        deadline = time.time() + 20
        title = first
        while time.time() < deadline and (title == first or not title.startswith("LOADED:")):
            title = p.title(wid)
            time.sleep(0.2)
        check(title != first and re.match(r"^LOADED:\d+:2021\.43$", title), "the page did not come back: %r" % title)
    finally:
        p.kill()


@case
def a_full_disk_keeps_the_old_file():
    mount = os.path.join(WORK, "small disk")
    os.makedirs(mount)
    if os.geteuid() != 0 or subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", mount],
                                           capture_output=True).returncode != 0:
        print("     (skipped: no tmpfs can be mounted here)")
        return
    try:
        target = os.path.join(mount, "work.txt")
        with open(target, "w") as f:
            f.write("the user's work")
        app = App({"DynamicAppTitle": 1}, {"index.html": page("", """
            runSteps({ write: () => ryx.files.writeTextFile({filePath: %s, contents: 'x'.repeat(300000)})
                                      .catch(e => 'rejected ' + e) });""" % json.dumps(target))})
        p = app.start()
        try:
            r = p.results(p.window())
            check(r["write"].startswith("rejected ") and "No space left on device" in r["write"], r["write"])
            with open(target) as f:
                check(f.read() == "the user's work", "the old file was destroyed")
            check(os.listdir(mount) == ["work.txt"], "a partial file was left: %r" % os.listdir(mount))
        finally:
            p.kill()
    finally:
        subprocess.run(["umount", mount])


if __name__ == "__main__":
    sys.exit(base.main())
