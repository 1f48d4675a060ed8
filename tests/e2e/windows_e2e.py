#!/usr/bin/env python3
"""End-to-end tests of packaged apps on the Windows runtime, under wine.

Runs inside an X server with openbox and a warm wine server, started by run_windows_e2e.sh. Each
case packs a small app for Windows (the cross-built runtime, with the engine test double as the
WebView2 loader library), starts it with wine, and then plays the page and the engine through
the double's command file while it reads what the runtime did from the double's transcript.
Native windows are checked with xdotool (by title) and with velmora-inspect.exe, a Win32
inspector run in the same prefix.

Usage: windows_e2e.py VELMORA_PACK RUNTIME_EXE ENGINE_DOUBLE_DLL INSPECTOR_EXE [CASE...]
"""
import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback

from e2e_images import ico_bytes, net_wm_icons, png_bytes

PACK, RUNTIME, DOUBLE, INSPECTOR = (os.path.abspath(p) for p in sys.argv[1:5])
INSTALLER = os.path.join(os.path.dirname(DOUBLE), "WebView2Installer.exe")  # the installer double
ONLY = sys.argv[5:]
WORK = tempfile.mkdtemp(prefix="velmora-win-e2e-")
RUN = "%06x" % random.randrange(1 << 24)  # app IDs of this run: the prefix keeps each app's data folder
CASES = []
CLIENT_SCRIPT = open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "resources",
                                  "ryx-external.js"), encoding="utf-8", newline="").read()


def case(fn):
    CASES.append(fn)
    return fn


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def run(*args, timeout=30):
    return subprocess.run(args, capture_output=True, text=True, timeout=timeout)


def windows_path(path):
    """The path as a program under wine sees it (drive Z: is the root of the Unix file system)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def until(what, condition, timeout=20, interval=0.1):
    """Waits until condition() gives something true and returns it."""
    deadline = time.time() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.time() >= deadline:
            raise Failure("timed out waiting for " + what)
        time.sleep(interval)


def inspect(*args):
    result = run("wine", INSPECTOR, *args)
    try:
        answer = json.loads(result.stdout)
    except ValueError:
        raise Failure("the inspector answered %r (%s)" % (result.stdout, result.stderr[-300:]))
    check("error" not in answer, "the inspector: %r" % answer)
    return answer


def window_info(title):
    """What the inspector tells of the top-level window titled so."""
    return inspect("info", "title=" + title)["window"]


def client_size(info):
    return info["clientRect"]["width"], info["clientRect"]["height"]


def window_titled(title, timeout=20):
    """The X window of a visible window titled exactly so."""
    return until("a window titled %r" % title,
                 lambda: run("xdotool", "search", "--onlyvisible", "--name", "^%s$" % re.escape(title)).stdout.split(),
                 timeout)[0]


def no_window_titled(title):
    return not run("xdotool", "search", "--onlyvisible", "--name", "^%s$" % re.escape(title)).stdout.split()


def keys(wid, *names):
    run("xdotool", "windowactivate", "--sync", wid)
    for name in names:
        run("xdotool", "key", "--clearmodifiers", name)


def type_text(wid, text):
    run("xdotool", "windowactivate", "--sync", wid)
    run("xdotool", "type", "--delay", "60", text)


class Engine:
    """The engine double's folder for one started app: transcripts in, commands out."""

    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="engine-", dir=WORK)

    def pids(self):
        return sorted(int(name.split(".")[0]) for name in os.listdir(self.dir) if name.endswith(".transcript.jsonl"))

    def events(self, pid=None):
        found = []
        for each in self.pids() if pid is None else [pid]:
            path = os.path.join(self.dir, "%d.transcript.jsonl" % each)
            if not os.path.exists(path):
                continue
            with open(path, encoding="utf-8") as f:
                for line in f:
                    if line.endswith("\n"):
                        found.append(json.loads(line))
        return found

    def of(self, kind, pid=None):
        return [e for e in self.events(pid) if e.get("event") == kind]

    def wait(self, kind, test=lambda e: True, pid=None, timeout=20):
        return until("a %r event" % kind, lambda: next((e for e in self.of(kind, pid) if test(e)), None), timeout)

    def main_pid(self, timeout=20):
        return until("the engine to be loaded", lambda: self.pids(), timeout)[0]

    def command(self, pid, **fields):
        with open(os.path.join(self.dir, "%d.commands.jsonl" % pid), "a", encoding="utf-8") as f:
            f.write(json.dumps(fields) + "\n")

    def post(self, pid, message, source=None, string=None):
        """Posts a message as the page: an object or a JSON text; a str is posted as a string."""
        fields = {"do": "post"}
        if isinstance(message, str) and string is None:
            fields["json"] = json.dumps(message)
            fields["string"] = message
        else:
            fields["json"] = message if isinstance(message, str) else json.dumps(message)
        if source is not None:
            fields["source"] = source
        self.command(pid, **fields)

    def replies(self, pid):
        return [e["json"] for e in self.of("post-json", pid)]

    def reply(self, pid, uuid, timeout=20):
        """The reply to the call with uuid, as the JSON text the runtime posted."""
        return until("the reply to %r" % uuid,
                     lambda: next((r for r in self.replies(pid) if json.loads(r).get("uuid") == uuid), None), timeout)


class App:
    """A packaged Windows app made from settings and files."""

    count = 0

    def __init__(self, settings, files, script=None, name=None, disk_files=None, installer=None, brand=()):
        App.count += 1
        self.dir = os.path.join(WORK, "app%d" % App.count)
        os.makedirs(os.path.join(self.dir, "www"))
        self.id = "org.velmora.win%s.%d" % (RUN, App.count)
        self.name = name or "Win App %d" % App.count
        ini = "[App]\nID=%s\nName=%s\nDirName=Web\n" % (self.id, self.name)
        ini += "".join("%s=%s\n" % kv for kv in settings.items())
        with open(os.path.join(self.dir, "ryx.ini"), "w", encoding="utf-8") as f:
            f.write(ini)
        for rel, content in files.items():
            path = os.path.join(self.dir, "www", rel)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(content if isinstance(content, bytes) else content.encode("utf-8"))
        os.makedirs(os.path.join(self.dir, "bin"))
        self.exe = os.path.join(self.dir, "bin", "app.exe")
        args = [PACK, "--settings", os.path.join(self.dir, "ryx.ini"), "--app", os.path.join(self.dir, "www"),
                "--runtime", RUNTIME, "--loader", DOUBLE, "-o", self.exe]
        if installer:
            args[1:1] = ["--installer", installer]
        args[1:1] = list(brand)
        if script is not None:
            with open(os.path.join(self.dir, "extra.js"), "w", encoding="utf-8") as f:
                f.write(script)
            args[1:1] = ["--script", os.path.join(self.dir, "extra.js")]
        result = run(*args)
        check(result.returncode == 0, "packing failed: " + result.stderr)
        for rel, content in (disk_files or {}).items():
            path = os.path.join(self.dir, "bin", rel)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w", encoding="utf-8") as f:
                f.write(content)

    def start(self, *args, env=None, engine=None):
        return Process([self.exe, *args], engine or Engine(), env)


class Process:
    def __init__(self, argv, engine, env=None):
        self.engine = engine
        full_env = dict(os.environ)
        full_env["VELMORA_DOUBLE_DIR"] = windows_path(engine.dir)
        full_env.update(env or {})
        self.log = open(os.path.join(WORK, "run-%d.log" % time.monotonic_ns()), "w+")
        self.proc = subprocess.Popen(["wine", *argv], stdout=self.log, stderr=subprocess.STDOUT, env=full_env,
                                     stdin=subprocess.DEVNULL, start_new_session=True)

    def wait_exit(self, timeout=15):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def output(self):
        self.log.flush()
        self.log.seek(0)
        return self.log.read()[-2000:]

    def kill(self):
        if self.proc.poll() is None:
            try:
                os.killpg(self.proc.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            self.proc.wait()


def page(body="", title=None, links=""):
    head = "<title>%s</title>" % title if title else ""
    return "<!DOCTYPE html><html><head><meta charset='utf-8'>%s%s</head><body>%s</body></html>" % (head, links, body)


def started(app, *args, env=None):
    """Starts the app and waits until the engine has navigated; the process and its engine pid."""
    p = app.start(*args, env=env)
    pid = p.engine.main_pid(30)
    p.engine.wait("navigation-completed", pid=pid, timeout=30)
    return p, pid


def call(engine, pid, uuid, command, data=None, source=None):
    engine.post(pid, {"id": command, "uuid": uuid, "data": data or {}}, source=source)


def result_of(reply_json):
    reply = json.loads(reply_json)
    return reply["success"], reply["result"]


# ---------------------------------------------------------------- cases


@case
def start_up_settings_script_and_start_page():
    app = App({}, {"index.html": page('<img src="logo.png">')}, script="  window.appScript = 1;\n")
    p, pid = started(app)
    try:
        e = p.engine
        settings = {s["name"]: s["value"] for s in e.of("setting", pid)}
        check(settings == {"IsScriptEnabled": True, "IsStatusBarEnabled": False, "IsZoomControlEnabled": False,
                           "IsWebMessageEnabled": True, "IsBuiltInErrorPageEnabled": True, "AreDevToolsEnabled": False,
                           "AreDefaultContextMenusEnabled": False}, "settings: %r" % settings)
        scripts = [s["script"] for s in e.of("script-added", pid)]
        expected = ("\r" + CLIENT_SCRIPT +
                    "\rwindow.addEventListener(\"dragover\", function(e){e.preventDefault();},false);"
                    "\rwindow.addEventListener(\"drop\", function(e){e.preventDefault();}, false);"
                    "\r  window.appScript = 1;\n")
        check(scripts == [expected], "document-created scripts: %r" % [s[:80] for s in scripts])
        filters = [(f["uri"], f["context"]) for f in e.of("filter-added", pid)]
        check(filters == [("*", 0)], "filters: %r" % filters)
        navigations = [n["uri"] for n in e.of("navigate", pid)]
        check(navigations == ["file:///index.html"], "navigations: %r" % navigations)
        # The engine's environment, as the process hands it on; the library came from the data folder.
        variables = e.wait("environment-requested", pid=pid)["variables"]
        module = e.wait("loaded", pid=pid)["module"]
        folder = module[:-len("WebView2LoaderWin64.dll")]
        check(module.endswith("\\AppData\\Local\\%s\\Win64\\WebView2LoaderWin64.dll" % app.id), module)
        check(variables == {"WEBVIEW2_USER_DATA_FOLDER": folder,
                            "WEBVIEW2_ADDITIONAL_BROWSER_ARGUMENTS": "--disable-logging --disable-features="
                            "RendererCodeIntegrity --enable-features=msSpeechRecognition",
                            "WEBVIEW2_BROWSER_EXECUTABLE_FOLDER": None, "WEBVIEW2_RELEASE_CHANNEL_PREFERENCE": None},
              "engine environment: %r" % variables)
        # The page has the keyboard focus once the window is active.
        e.wait("focus", pid=pid)
        # The main window has the app's name, the default size, centred with its frame.
        info = window_info(app.name)
        check(client_size(info) == (800, 600), "client %r" % info["clientRect"])
        rect = info["rect"]
        check(abs(rect["left"] + rect["right"] - 1280) <= 2 and abs(rect["top"] + rect["bottom"] - 800) <= 2,
              "not centred: %r" % rect)
    finally:
        p.kill()
    # A library left in the data folder by an earlier run is used as it is, never replaced.
    unix_module = os.path.join(os.environ["WINEPREFIX"], "drive_c",
                               module[3:].replace("\\", "/")) if module.lower().startswith("c:\\") else None
    check(unix_module and os.path.exists(unix_module), "no library at %r" % unix_module)
    with open(unix_module, "ab") as f:
        f.write(b"kept")
    q, _ = started(app)
    q.kill()
    with open(unix_module, "rb") as f:
        check(f.read().endswith(b"kept"), "the library in the data folder was replaced")


@case
def content_from_the_archive_the_program_folder_and_absolute_paths():
    outside = os.path.join(WORK, "outside dir")
    os.makedirs(outside, exist_ok=True)
    with open(os.path.join(outside, "pic.png"), "wb") as f:
        f.write(b"ABSOLUTE")
    # As the engine asks for it: the blank escaped.
    absolute = "file:///" + windows_path(os.path.join(outside, "pic.png")).replace("\\", "/").replace(" ", "%20")
    app = App({}, {"index.html": page('<img src="rc_images/logo.png">'),
                   "rc_images/logo.png": b"PNGDATA", "my page.html": "spaced"},
              disk_files={"data/config.json": '{"on":true}'})
    p, pid = started(app)
    try:
        e = p.engine

        def answer(uri):
            found = [r for r in e.of("response", pid) if r["uri"] == uri]
            return found[-1] if found else None

        index = until("the start page's response", lambda: answer("file:///index.html"))
        check((index["status"], index["reason"], index["headers"]) == (200, "OK", "Content-Type: text/html; charset=utf-8"),
              "index: %r" % index)
        logo = until("the image's response", lambda: answer("file:///rc_images/logo.png"))
        check((logo["status"], logo["headers"], logo.get("body")) == (200, "Content-Type: image/x-png", "PNGDATA"),
              "logo: %r" % logo)
        e.command(pid, do="request", uri="file:///my%20page.html")
        spaced = until("the spaced page's response", lambda: answer("file:///my%20page.html"))
        check(spaced.get("body") == "spaced", "my%%20page.html: %r" % spaced)
        e.command(pid, do="request", uri="file:///data/config.json")
        disk = until("the disk file's response", lambda: answer("file:///data/config.json"))
        check(disk.get("body") == '{"on":true}' and disk["status"] == 200, "program folder: %r" % disk)
        e.command(pid, do="request", uri=absolute)
        far = until("the absolute path's response", lambda: answer(absolute))
        check(far.get("body") == "ABSOLUTE" and "Content-Security-Policy: sandbox" in far["headers"], "absolute: %r" % far)
        e.command(pid, do="request", uri="file:///nowhere.html")
        until("no response for a missing file",
              lambda: [r for r in e.of("no-response", pid) if r["uri"] == "file:///nowhere.html"])
    finally:
        p.kill()


@case
def bridge_round_trips():
    data_file = "data.txt"
    app = App({}, {"index.html": page()}, disk_files={data_file: "x"})
    p, pid = started(app)
    try:
        e = p.engine
        call(e, pid, "u1", 10001)
        check(e.reply(pid, "u1") == '{"uuid": "u1", "success": true, "result": "2021.43"}', e.reply(pid, "u1"))
        call(e, pid, "u2", 30001, {"filePath": data_file})
        check(e.reply(pid, "u2") == '{"uuid": "u2", "success": true, "result": true}', e.reply(pid, "u2"))
        call(e, pid, "u3", 30001, {})
        check(e.reply(pid, "u3") == '{"uuid": "u3", "success": false, "result": "Missing filePath"}',
              e.reply(pid, "u3"))
        # No reply: a message that is not JSON, and a message from a document that is not the app's.
        e.command(pid, do="post", json='{"id":10001,"uuid":"bad"')
        call(e, pid, "foreign", 10001, source="https://example.com/")
        call(e, pid, "after", 10001)
        e.reply(pid, "after")
        uuids = [json.loads(r)["uuid"] for r in e.replies(pid)]
        check(uuids == ["u1", "u2", "u3", "after"], "replies: %r" % uuids)
    finally:
        p.kill()


@case
def window_commands_change_the_win32_window():
    app = App({"Width": 640, "Height": 480, "WindowBorder": 3}, {"index.html": page()})
    p, pid = started(app)
    try:
        e = p.engine

        def info():
            return window_info(app.name)

        WS_CAPTION, WS_THICKFRAME, WS_EX_TOPMOST = 0x00C00000, 0x00040000, 0x8
        first = info()
        check(first["style"] & WS_CAPTION and not first["style"] & WS_THICKFRAME, "dialog border: %x" % first["style"])
        call(e, pid, "s1", 60002, {"style": "ontop"})
        e.reply(pid, "s1")
        check(info()["topmost"], "not kept on top")
        call(e, pid, "s2", 60004, {"state": "maximized"})
        e.reply(pid, "s2")
        until("the window to maximize", lambda: info()["zoomed"])
        call(e, pid, "s3", 50003)  # full screen: no frame, maximized
        call(e, pid, "s4", 50002)
        check(result_of(e.reply(pid, "s4")) == (True, True), e.reply(pid, "s4"))
        # wine applies the new frame and the maximized state one after the other.
        until("full screen: no frame, maximized", lambda: not info()["style"] & WS_CAPTION and info()["zoomed"])
        call(e, pid, "s5", 50004)
        call(e, pid, "s6", 60003)
        check(result_of(e.reply(pid, "s6")) == (True, "normal"), e.reply(pid, "s6"))
        back = until("the window to be normal again", lambda: (lambda i: i if not i["zoomed"] else None)(info()))
        check(back["style"] & WS_CAPTION and not back["style"] & WS_THICKFRAME, "border after: %x" % back["style"])
        check(client_size(back) == (640, 480), "size after: %r" % back["clientRect"])
        call(e, pid, "s7", 60006, {"title": "Renamed window"})
        e.reply(pid, "s7")
        window_titled("Renamed window")
        check(window_info("Renamed window")["topmost"], "stay-on-top lost")
        check(first["exStyle"] & WS_EX_TOPMOST == 0, "on top from the start")
    finally:
        p.kill()


@case
def only_app_documents_get_replies_permissions_content_and_windows():
    app = App({}, {"index.html": page(), "page2.html": page()})
    p, pid = started(app)
    try:
        e = p.engine

        def status_of(uri, count):
            """The status of the count-th response for uri."""
            return until("response %d for %s" % (count, uri), lambda: (lambda answers: answers[count - 1]["status"] if len(
                answers) >= count else None)([r for r in e.of("response", pid) if r["uri"] == uri]))

        # Permissions: granted to the app's page without asking, the engine's default for others.
        e.command(pid, do="permission", uri="file:///index.html", kind=2)
        e.command(pid, do="permission", uri="https://example.com/", kind=2)
        granted = until("two permission answers", lambda: (lambda a: a if len(a) == 2 else None)(e.of("permission", pid)))
        check([g["state"] for g in granted] == [1, 0], "permission states: %r" % granted)
        # Another web origin asking for app content is refused.
        e.command(pid, do="request", uri="file:///page2.html", headers={"Origin": "https://evil.example"})
        check(status_of("file:///page2.html", 1) == 403, "a foreign origin got app content")
        # A reply waits for a command line; meanwhile the view goes to another site, which must
        # never see it.
        call(e, pid, "late", 70003, {"command": "ping -n 2 127.0.0.1 >nul & echo secret"})
        e.command(pid, do="navigate", uri="https://example.com/")
        e.wait("navigation-completed", lambda n: n["uri"] == "https://example.com/", pid=pid)
        time.sleep(2.5)  # the command has ended by now; its reply must have been dropped
        check("late" not in [json.loads(r)["uuid"] for r in e.replies(pid)], "the other site got the reply")
        # The site's own calls, requests and windows get nothing.
        call(e, pid, "site", 10001, source="https://example.com/")
        e.command(pid, do="request", uri="file:///index.html")
        check(status_of("file:///index.html", 2) == 403, "the site loaded app content")
        e.command(pid, do="new-window", uri="file:///page2.html")
        refused = e.wait("new-window", pid=pid)
        check(refused["handled"] is True, "the engine was left to open an app page: %r" % refused)
        time.sleep(1)
        check(e.pids() == [pid], "the site started a second window: %r" % e.pids())
        check("site" not in [json.loads(r)["uuid"] for r in e.replies(pid)], "the site's call was answered")
    finally:
        p.kill()


@case
def a_failed_engine_process_brings_the_page_back():
    app = App({}, {"index.html": page()})
    p, pid = started(app)
    try:
        e = p.engine
        # A helper process of the engine: nothing happens; the page process: the page loads again;
        # the browser process: the engine is made again and the page loads in it.
        e.command(pid, do="process-failed", kind=6)
        e.command(pid, do="process-failed", kind=1)
        until("the page to load again", lambda: len(e.of("navigate", pid)) == 2)
        e.command(pid, do="process-failed", kind=0)
        until("a second engine", lambda: len(e.of("environment-requested", pid)) == 2)
        until("the page in the new engine", lambda: len(e.of("navigate", pid)) == 3)
        check([n["uri"] for n in e.of("navigate", pid)] == ["file:///index.html"] * 3, "navigations")
        check(len(e.of("script-added", pid)) == 2, "the new engine lacks the document script")
        call(e, pid, "again", 10001)
        check(result_of(e.reply(pid, "again")) == (True, "2021.43"), "the bridge after the new engine")
    finally:
        p.kill()


@case
def close_protocol_asks_the_page_and_exits_with_zero():
    app = App({}, {"index.html": page()})
    p, pid = started(app)
    try:
        e = p.engine
        inspect("sysclose", "title=" + app.name)
        e.wait("execute-script", lambda s: s["script"] == "ryx.events.onCloseQuery();", pid=pid)
        check(p.wait_exit(1) is None, "closed without the page's consent")
        call(e, pid, "c", 50001)
        check(p.wait_exit(20) == 0, "exit code %r" % p.proc.returncode)
        check(not [r for r in e.replies(pid) if json.loads(r)["uuid"] == "c"], "50001 was answered")
    finally:
        p.kill()


@case
def single_instance_and_the_second_window_start():
    app = App({"Password": "s3cret"}, {"index.html": page(), "page2.html": page()})
    first = app.start()
    others = []
    try:
        type_text(window_titled(app.name), "s3cret")
        pid = first.engine.main_pid(30)
        first.engine.wait("navigation-completed", pid=pid, timeout=30)
        # The two-argument start skips the password and shows the address it was given.
        second = app.start(app.id, "file:///page2.html")
        others.append(second)
        spid = second.engine.main_pid(30)
        second.engine.wait("navigate", lambda n: n["uri"] == "file:///page2.html", pid=spid)
        check(second.proc.poll() is None, "the second window's process ended")
        # A plain start asks for the password, then ends at once, unseen, with exit code 0.
        plain = app.start()
        others.append(plain)
        ppid = plain.engine.main_pid(30)
        prompt = until("the plain start's prompt",
                       lambda: [w["hwnd"] for w in inspect("list", "pid=%d" % ppid, "visible")["windows"]
                                if w["title"] == app.name])[0]
        inspect("type", str(prompt), "text=s3cret")
        check(plain.wait_exit(20) == 0, "a second plain start did not end with exit code 0")
        check(not plain.engine.of("environment-created"), "the plain start made an engine environment")
    finally:
        for p in [first] + others:
            p.kill()


@case
def a_new_window_request_starts_a_second_process():
    app = App({}, {"index.html": page(), "page2.html": page()})
    p, pid = started(app)
    try:
        e = p.engine
        e.command(pid, do="new-window", uri="file:///page2.html")
        handled = e.wait("new-window", pid=pid)
        check(handled["handled"] is True, "new window not handled: %r" % handled)
        second = until("a second process", lambda: [x for x in e.pids() if x != pid])[0]
        loaded = e.wait("loaded", pid=second)
        check(loaded["commandLine"].endswith(' "%s" "file:///page2.html"' % app.id), loaded["commandLine"])
        e.wait("navigate", lambda n: n["uri"] == "file:///page2.html", pid=second)
        e.command(pid, do="new-window", uri="https://example.com/")
        other = e.wait("new-window", lambda w: w["uri"] == "https://example.com/", pid=pid)
        check(other["handled"] is False, "an https window was taken over: %r" % other)
    finally:
        run("wine", INSPECTOR, "sysclose", "title=" + app.name)
        p.kill()
        subprocess.run(["pkill", "-f", app.exe])


@case
def password_prompt_typed_escape_and_close():
    app = App({"Password": "s3cret"}, {"index.html": page()})
    p = app.start()
    try:
        prompt = window_titled(app.name)
        check(client_size(window_info(app.name)) == (308, 71), "prompt %r" % window_info(app.name)["clientRect"])
        type_text(prompt, "S3CRET")
        keys(prompt, "Escape", "Return")
        time.sleep(0.5)  # nothing may happen: no window, no exit
        check(p.proc.poll() is None and not p.engine.of("navigate"), "a wrong password, Escape or Return changed something")
        keys(prompt, *["BackSpace"] * 6)
        type_text(prompt, "s3cret")
        p.engine.wait("navigate", lambda n: n["uri"] == "file:///index.html", timeout=30)
    finally:
        p.kill()
    q = app.start()
    try:
        prompt = window_titled(app.name)
        keys(prompt, "alt+F4")
        check(q.wait_exit(20) == 0, "closing the prompt: exit code %r" % q.proc.returncode)
        check(not q.engine.of("environment-created"), "the engine was started after the prompt was closed")
    finally:
        q.kill()


def busy_windows():
    return [w for w in inspect("list", "visible")["windows"] if w["class"] == "VelmoraBusy"]


def window_shot(rect):
    """The screen's pixels in a rectangle of the inspector, as PPM bytes."""
    geometry = "%dx%d+%d+%d" % (rect["width"], rect["height"], rect["left"], rect["top"])
    return subprocess.run(["import", "-window", "root", "-crop", geometry, "ppm:-"], capture_output=True).stdout


@case
def a_missing_engine_is_installed_behind_the_busy_window_and_the_app_restarts():
    app = App({"InstallIndicatorType": 1}, {"index.html": page()}, installer=INSTALLER)
    engine = Engine()
    env = {"VELMORA_DOUBLE_VERSION": "installed-by-installer", "VELMORA_INSTALLER_DELAY_MS": "4000"}
    p = app.start(env=env, engine=engine)
    try:
        window_titled("Confirm")
        inspect("press", "title=Confirm", "button=Accept")
        busy = until("the busy window", busy_windows)[0]
        check((busy["clientRect"]["width"], busy["clientRect"]["height"]) == (80, 80), "busy window %r" % busy)
        check(busy["style"] & 0xFFFF0000 == 0x80000000 | 0x10000000 | 0x02000000 | 0x04000000,
              "not a plain pop-up: %x" % busy["style"])
        check(busy["exStyle"] & 0x80, "the busy window has a taskbar button")
        rect = busy["rect"]
        check(abs(rect["left"] + rect["right"] - 1280) <= 2 and abs(rect["top"] + rect["bottom"] - 800) <= 2,
              "not centred: %r" % rect)
        # Alt+F4 (as the window manager sends it) does nothing; the indicator animates.
        inspect("sysclose", str(busy["hwnd"]))
        first = window_shot(rect)
        time.sleep(0.3)
        check(busy_windows(), "the busy window closed")
        check(window_shot(rect) != first, "the busy indicator does not move")
        # The installer ran once, silently, and the app started afresh: a second process reaches
        # its page, and this one ends with exit code 0.
        check(p.wait_exit(30) == 0, "exit code %r" % p.proc.returncode)
        with open(os.path.join(engine.dir, "installer.jsonl"), encoding="utf-8") as f:
            runs = [json.loads(line) for line in f if line.strip()]
        started_runs = [r for r in runs if r["event"] == "started"]
        check(len(started_runs) == 1 and started_runs[0]["arguments"] == ["/silent", "/install"], "runs %r" % runs)
        second = until("the restarted app", lambda: [x for x in engine.pids() if engine.of("navigate", x)])[0]
        # Started without arguments: nothing follows the program's path on its command line.
        line = engine.wait("loaded", pid=second)["commandLine"].strip()
        rest = line[line.index('"', 1) + 1:] if line.startswith('"') else line.partition(" ")[2]
        check(rest.strip() == "", "the restart got arguments: %r" % line)
        window_titled(app.name)
        data = os.path.join(os.environ["WINEPREFIX"], "drive_c", "users", os.environ.get("USER", "root"),
                            "AppData", "Local", app.id)
        check(not os.path.exists(os.path.join(data, "WebView2Installer.exe")), "the installer was left behind")
    finally:
        p.kill()
        subprocess.run(["pkill", "-f", app.exe])


@case
def a_declined_or_failed_installation_ends_with_its_message():
    for answer, result, message in (("Cancel", "install", "This application cannot continue and will be closed now."),
                                    ("Accept", "fail", "You cancel the installation of Microsoft WebView2 runtime, "
                                                       "This application cannot continue and will be closed now.")):
        app = App({}, {"index.html": page()}, installer=INSTALLER)
        env = {"VELMORA_DOUBLE_VERSION": "installed-by-installer", "VELMORA_INSTALLER_DELAY_MS": "200",
               "VELMORA_INSTALLER_RESULT": result, "LC_ALL": "C.UTF-8"}
        p = app.start(env=env)
        try:
            window_titled("Confirm")
            inspect("press", "title=Confirm", "button=" + answer)
            window_titled("Error")
            texts = [c["text"] for c in inspect("children", "title=Error")["children"]]
            check(message in texts, "%r not in %r" % (message, texts))
            inspect("press", "title=Error", "button=Accept")
            check(p.wait_exit(20) == 0, "exit code %r" % p.proc.returncode)
            data = os.path.join(os.environ["WINEPREFIX"], "drive_c", "users", os.environ.get("USER", "root"),
                                "AppData", "Local", app.id)
            check(not os.path.exists(data), "the data folder was kept after %s" % answer)
        finally:
            p.kill()


def screen_pixels(left, top, width, height):
    """The screen's pixels in a rectangle, as rows of (r, g, b)."""
    data = subprocess.run(["import", "-window", "root", "-crop", "%dx%d+%d+%d" % (width, height, left, top),
                           "-depth", "8", "rgb:-"], capture_output=True).stdout
    return [[tuple(data[(y * width + x) * 3:(y * width + x) * 3 + 3]) for x in range(width)] for y in range(height)]


@case
def the_menu_with_images_reaches_the_page_and_follows_the_theme():
    items = [
        {"caption": "&File", "id": 1, "items": [
            {"caption": "&Open", "id": 11, "image": "Web/red.png"},
            {"caption": "-", "id": 90},
            {"caption": "&Locked", "id": 12, "enabled": False, "image": "Web/blue.png"},
            {"caption": "Save && &Quit", "id": 14},
        ]},
        {"caption": "&Help", "id": 2, "items": [{"caption": "&About", "id": 21}]},
    ]
    app = App({}, {"index.html": page(), "red.png": png_bytes(32, 32, (255, 0, 0, 255)),
                   "blue.png": png_bytes(16, 16, (0, 0, 255, 255))})
    p, pid = started(app)
    try:
        e = p.engine
        call(e, pid, "m", 12001, {"items": json.dumps(items)})
        check(result_of(e.reply(pid, "m")) == (True, True), e.reply(pid, "m"))
        wid = window_titled(app.name)
        info = window_info(app.name)
        client = info["clientRect"]
        # The bar sits between the caption and the client area; its right end shows its colour.
        bar_y = client["top"] - 6
        system_bar = screen_pixels(client["left"] + client["width"] - 20, bar_y, 1, 1)[0][0]

        def clicks():
            return [s["script"] for s in e.of("execute-script", pid) if s["script"].startswith("ryx.events.onMainMenuItemClick(")]

        # The access keys open the menu and pick the item; the 32-pixel image shows at 16 x 16.
        keys(wid, "alt+f")
        shot = screen_pixels(client["left"], client["top"] - 30, 300, 150)
        red = [(x, y) for y, row in enumerate(shot) for x, c in enumerate(row) if c[0] > 240 and c[1] < 20 and c[2] < 20]
        check(red, "no menu image in the open menu")
        width = max(x for x, _ in red) - min(x for x, _ in red) + 1
        height = max(y for _, y in red) - min(y for _, y in red) + 1
        check((width, height) == (16, 16) and len(red) == 256, "the image is %dx%d (%d pixels)" % (width, height, len(red)))
        check(not [c for row in shot for c in row if c[2] > 200 and c[0] < 60 and c[1] < 60], "the disabled image is blue")
        keys(wid, "o")
        until("the click of Open", lambda: clicks() == ["ryx.events.onMainMenuItemClick(11);"])
        # A disabled item's key does nothing; another item of the menu is reached by its key.
        keys(wid, "alt+f", "l", "Escape", "Escape")
        keys(wid, "alt+h", "a")
        until("the click of About", lambda: clicks()[-1:] == ["ryx.events.onMainMenuItemClick(21);"])
        check(clicks() == ["ryx.events.onMainMenuItemClick(11);", "ryx.events.onMainMenuItemClick(21);"],
              "clicks: %r" % clicks())

        # A dark theme paints the bar; the system look brings the first pixels back.
        call(e, pid, "t1", 80003, {"name": "Windows10 Dark"})
        check(result_of(e.reply(pid, "t1")) == (True, True), e.reply(pid, "t1"))
        dark = until("the dark bar", lambda: (lambda c: c if c == (0x1F, 0x1F, 0x1F) else None)(
            screen_pixels(client["left"] + client["width"] - 20, bar_y, 1, 1)[0][0]))
        check(dark != system_bar, "the system bar was dark already")
        call(e, pid, "t2", 80003, {"name": "Windows"})
        e.reply(pid, "t2")
        until("the system bar again", lambda: screen_pixels(client["left"] + client["width"] - 20, bar_y, 1, 1)[0][0]
              == system_bar)
    finally:
        p.kill()


@case
def start_up_messages_in_english_and_german():
    bare = os.path.join(WORK, "bare.exe")
    shutil.copyfile(RUNTIME, bare)
    app = App({"EdgeInstaller": 0}, {"index.html": page()})
    for env, texts in (({"LC_ALL": "C.UTF-8", "LANG": "C.UTF-8"}, ("Error", "This is not a valid Windows application.",
                        "The Microsoft WebView2 runtime is required to run this application. This application cannot "
                        "continue and will be closed now.", "Accept")),
                       ({"LC_ALL": "de_DE.UTF-8", "LANG": "de_DE.UTF-8"}, ("Error", "Dies ist keine gültige Windows-Anwendung.",
                        "Die Microsoft WebView2-Laufzeit ist erforderlich, um diese Anwendung auszuführen. Diese "
                        "Anwendung kann nicht fortgesetzt werden und wird jetzt geschlossen.", "Akzeptieren"))):
        title, no_archive, no_engine, accept = texts
        for argv, message, extra in (([bare], no_archive, {}), ([app.exe], no_engine, {"VELMORA_DOUBLE_VERSION": "none"})):
            full = dict(env)
            full.update(extra)
            p = Process(argv, Engine(), full)
            try:
                window_titled(title)
                children = inspect("children", "title=" + title)["children"]
                texts_seen = [c["text"] for c in children]
                check(message in texts_seen, "%r not in %r" % (message, texts_seen))
                buttons = [c for c in children if c["class"].lower() == "button"]
                check([b["text"] for b in buttons] == [accept] and buttons[0]["default"], "buttons %r" % buttons)
                inspect("press", "title=" + title, "button=" + accept)
                check(p.wait_exit(20) == 0, "exit code %r" % p.proc.returncode)
            finally:
                p.kill()


@case
def file_dialogs_answered_by_typing_and_by_escape():
    app = App({}, {"index.html": page()})
    target = os.path.join(WORK, "chosen file.txt")
    with open(target, "w") as f:
        f.write("x")
    p, pid = started(app)
    try:
        e = p.engine
        call(e, pid, "o1", 20001, {"title": "Pick one"})
        dialog = window_titled("Pick one")
        # While the dialog is up, other calls are answered.
        call(e, pid, "meanwhile", 10001)
        e.reply(pid, "meanwhile")
        type_text(dialog, windows_path(target))
        keys(dialog, "Return")
        check(result_of(e.reply(pid, "o1")) == (True, windows_path(target)), e.reply(pid, "o1"))
        call(e, pid, "o2", 20002, {"title": "Save it"})
        dialog = window_titled("Save it")
        keys(dialog, "Escape")
        check(result_of(e.reply(pid, "o2")) == (True, ""), e.reply(pid, "o2"))
    finally:
        p.kill()


@case
def a_branded_bundle_runs_with_its_own_icon_and_version_texts():
    icon = os.path.join(WORK, "brand.ico")
    with open(icon, "wb") as f:
        f.write(ico_bytes(32, (0x20, 0xA0, 0x50, 0xFF)))
    app = App({}, {"index.html": page()},
              brand=["--icon", icon, "--version", "ProductName=Branded Demo", "--version", "FileVersion=2.1.0.3"])
    with open(app.exe, "rb") as f:
        content = f.read()
    # The version texts as the system stores them: UTF-16 and ended by a zero.
    for key, value in (("ProductName", "Branded Demo"), ("FileVersion", "2.1.0.3")):
        check(value.encode("utf-16-le") + b"\0\0" in content, "no %s %r in the bundle" % (key, value))
    # The archive is still found after branding: the app starts and reaches its page, and its
    # window carries the new icon.
    p, pid = started(app)
    try:
        wid = window_titled(app.name)
        icons = until("the window's icons", lambda: net_wm_icons(wid))
        side = max(icons)
        pixels = icons[side]
        centre = pixels[(side // 2) * side + side // 2]
        check(centre == 0xFF20A050, "the window's icon is %08x at its centre, not the app's" % centre)
    finally:
        p.kill()


@case
def a_command_line_runs_while_other_calls_are_answered():
    app = App({}, {"index.html": page()})
    p, pid = started(app)
    try:
        e = p.engine
        call(e, pid, "slow", 70003, {"command": "ping -n 3 127.0.0.1 >nul & echo done"})
        call(e, pid, "quick", 10001)
        e.reply(pid, "quick")
        check("slow" not in [json.loads(r)["uuid"] for r in e.replies(pid)], "the command answered before hello")
        success, output = result_of(e.reply(pid, "slow", timeout=30))
        check(success and output.strip() == "done", "command output %r" % output)
    finally:
        p.kill()


def main():
    os.environ["LANG"] = os.environ.get("LANG", "C.UTF-8")
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
            shot = os.path.join(tempfile.gettempdir(), "velmora-win-e2e-%s.png" % fn.__name__)
            run("import", "-window", "root", shot)
            print("     screenshot: " + shot, flush=True)
    print("%d passed, %d failed" % (passed, failed))
    shutil.rmtree(WORK, ignore_errors=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
