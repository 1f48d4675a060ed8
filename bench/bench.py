#!/usr/bin/env python3
"""Paired benchmarks of the runtime against a bare GTK + WebKitGTK host doing the same work.

Runs inside an X server with a window manager (run.sh starts both). Both hosts show the same
pages (bench/pages plus generated files): the runtime from a packed app, the bare host from the
folder. Each round starts the runtime and then the bare host (A B A B ...), each first with a
fresh engine profile (start-up, idle memory, then the page's work) and then once more with the
profile it has just made (warm start-up). A figure's ratio is the median of the rounds' ratios.

Usage: bench.py PACK RUNTIME BARE_HOST [--runs N] [--short] [--out FILE]
"""
import argparse
import datetime
import json
import os
import platform
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def parse_args():
    parser = argparse.ArgumentParser()
    parser.add_argument("pack")
    parser.add_argument("runtime")
    parser.add_argument("bare_host")
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--short", action="store_true", help="small sizes, to keep the suite working")
    parser.add_argument("--out", help="write the Markdown report here")
    return parser.parse_args()


def make_pages(work, short):
    pages = os.path.join(work, "pages")
    shutil.copytree(os.path.join(HERE, "pages"), pages)
    config = {
        "idleMs": 3000,
        "hellos": 100 if short else 500,
        "burst": 1000,
        "argMegabytes": [1] if short else [8, 64],
        "smallFiles": 200,
        "smallFileBytes": 4096,
        "bigFileBytes": (4 if short else 50) * 1024 * 1024,
    }
    os.makedirs(os.path.join(pages, "files"))
    for i in range(config["smallFiles"]):
        with open(os.path.join(pages, "files", "f%03d.txt" % i), "wb") as f:
            f.write((("file %03d " % i) * 1024).encode()[: config["smallFileBytes"]])
    # Bytes that do not compress, as the media and images of real apps.
    with open(os.path.join(pages, "big.bin"), "wb") as f:
        f.write(os.urandom(config["bigFileBytes"]))
    with open(os.path.join(pages, "config.json"), "w") as f:
        json.dump(config, f)
    return pages, config


def pack_runtime(args, work, pages):
    settings = os.path.join(work, "ryx.ini")
    with open(settings, "w") as f:
        f.write("[App]\nID=org.velmora.bench\nName=bench\nDirName=app\nIndexHtml=index.html\n"
                "Width=960\nHeight=680\nDynamicAppTitle=1\n")
    app = os.path.join(work, "bench-app")
    subprocess.run([args.pack, "--settings", settings, "--app", pages, "--runtime", args.runtime, "--output", app],
                   check=True, stdout=subprocess.DEVNULL)
    return app


def window_title(pid):
    """The caption of the process's window that carries a benchmark report, or None."""
    found = subprocess.run(["xdotool", "search", "--pid", str(pid), "--name", "^(PAINTED|RESULT):"],
                           capture_output=True, text=True)
    for window in found.stdout.split():
        name = subprocess.run(["xdotool", "getwindowname", window], capture_output=True, text=True).stdout
        if name.startswith(("PAINTED:", "RESULT:")):
            return name.strip()
    return None


def wait_title(pid, prefix, timeout):
    deadline = time.time() + timeout
    while time.time() < deadline:
        title = window_title(pid)
        if title and title.startswith(prefix):
            return title
        time.sleep(0.1)
    raise RuntimeError("no %s report from process %d" % (prefix, pid))


def descendants(pid):
    children = {}
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open("/proc/%s/stat" % entry) as f:
                    ppid = int(f.read().rsplit(")", 1)[1].split()[1])
                children.setdefault(ppid, []).append(int(entry))
            except (OSError, IndexError, ValueError):
                pass
    found, todo = [], [pid]
    while todo:
        current = todo.pop()
        found.append(current)
        todo.extend(children.get(current, []))
    return found


def pss_kib(pid):
    """Proportional set size of the process and every process it started (the engine's)."""
    total = 0
    for each in descendants(pid):
        try:
            with open("/proc/%d/smaps_rollup" % each) as f:
                for line in f:
                    if line.startswith("Pss:"):
                        total += int(line.split()[1])
        except OSError:
            pass
    return total


def stop(process):
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(10)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


class Host:
    def __init__(self, name, work, command, env_for_profile):
        self.name = name
        self.work = work
        self.command = command
        self.env_for_profile = env_for_profile

    def start(self, profile):
        env = dict(os.environ)
        env.update(self.env_for_profile(profile))
        started = time.time() * 1000
        process = subprocess.Popen(self.command(profile), env=env, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL, start_new_session=True)
        return process, started

    def round(self, index, config):
        profile = os.path.join(self.work, "profile-%s-%d" % (self.name, index))
        os.makedirs(profile)
        figures = {}
        process, started = self.start(profile)
        try:
            painted = float(wait_title(process.pid, "PAINTED:", 60)[len("PAINTED:"):])
            figures["startFreshMs"] = painted - started
            time.sleep(config["idleMs"] / 1000 * 0.7)
            figures["idlePssMiB"] = pss_kib(process.pid) / 1024
            result = json.loads(wait_title(process.pid, "RESULT:", 300)[len("RESULT:"):])
            if "error" in result:
                raise RuntimeError("%s: %s" % (self.name, result["error"]))
            figures.update(result)
        finally:
            stop(process)
        process, started = self.start(profile)
        try:
            painted = float(wait_title(process.pid, "PAINTED:", 60)[len("PAINTED:"):])
            figures["startWarmMs"] = painted - started
        finally:
            stop(process)
        return figures


METRICS = [
    ("startFreshMs", "Start-up to first paint, fresh profile", "ms"),
    ("startWarmMs", "Start-up to first paint, warm profile", "ms"),
    ("idlePssMiB", "Idle memory (PSS of the host and the engine's processes)", "MiB"),
    ("roundTripUs", "Sequential round trip (hello / echo)", "µs"),
    ("burstMs", "Burst of 1000 concurrent calls", "ms"),
    ("arg1MbMs", "1 MB argument written to a file", "ms"),
    ("arg8MbMs", "8 MB argument written to a file", "ms"),
    ("arg64MbMs", "64 MB argument written to a file", "ms"),
    ("smallFilesMs", "200 files of 4 KiB fetched at once", "ms"),
    ("bigFileMs", "One large file fetched (50 MiB; 4 MiB in short mode)", "ms"),
    ("rangeMs", "1 MiB byte range from the middle of the large file", "ms"),
]


def main():
    args = parse_args()
    for name in ("pack", "runtime", "bare_host"):
        setattr(args, name, os.path.abspath(getattr(args, name)))
    work = tempfile.mkdtemp(prefix="velmora-bench-")
    try:
        pages, config = make_pages(work, args.short)
        app = pack_runtime(args, work, pages)
        runtime = Host("runtime", work, lambda profile: [app],
                       lambda profile: {"XDG_DATA_HOME": profile})
        bare = Host("bare", work, lambda profile: [args.bare_host, pages, profile, os.path.join(profile, "arg.txt")],
                    lambda profile: {})
        rounds = []
        for index in range(args.runs):
            pair = {}
            for host in (runtime, bare):
                pair[host.name] = host.round(index, config)
            rounds.append(pair)
            print("round %d: runtime %s" % (index + 1, json.dumps(pair["runtime"])), flush=True)
            print("round %d: bare    %s" % (index + 1, json.dumps(pair["bare"])), flush=True)
        report = summarize(rounds, config, args)
        print(report)
        if args.out:
            with open(args.out, "w") as f:
                f.write(report)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return 0


def summarize(rounds, config, args):
    lines = []
    cpu = "unknown"
    try:
        with open("/proc/cpuinfo") as f:
            cpu = next((l.split(":", 1)[1].strip() for l in f if l.startswith("model name")), cpu)
    except OSError:
        pass
    with open("/proc/meminfo") as f:
        mem_gib = int(f.readline().split()[1]) / 1024 / 1024
    engine = subprocess.run(["pkg-config", "--modversion", "webkit2gtk-4.1"], capture_output=True, text=True)
    lines.append("# Performance\n")
    lines.append("Made by `bench/run.sh` on %s UTC: %d rounds, each the runtime then the bare host "
                 "(GTK 3 + WebKitGTK, `bench/bare_host.c`) doing the same work in one session; a round's "
                 "ratio is runtime / bare host, the ratio shown is the median of the rounds' ratios.%s\n"
                 % (datetime.datetime.utcnow().strftime("%Y-%m-%d %H:%M"), len(rounds),
                    " Short mode: small sizes, figures not comparable." if args.short else ""))
    lines.append("Machine: %s, %d cores, %.0f GiB, %s, WebKitGTK %s, X server Xvfb.\n"
                 % (cpu, os.cpu_count(), mem_gib, platform.platform(), engine.stdout.strip() or "?"))
    lines.append("| Figure | Runtime median (min–max) | Bare host median (min–max) | Ratio |")
    lines.append("|---|---|---|---|")
    for key, label, unit in METRICS:
        ours = [r["runtime"].get(key) for r in rounds]
        theirs = [r["bare"].get(key) for r in rounds]
        if any(v is None for v in ours + theirs):
            continue
        ratios = [a / b if b > 0 else float("inf") for a, b in zip(ours, theirs)]
        lines.append("| %s | %s | %s | %.2f |" % (label, spread(ours, unit), spread(theirs, unit),
                                                    statistics.median(ratios)))
    ranges = {(r["runtime"]["rangeStatus"], r["runtime"]["rangeLength"]) for r in rounds}
    lines.append("")
    lines.append("Byte range answers of the runtime (status, bytes): %s." %
                 ", ".join("%d, %d" % each for each in sorted(ranges)))
    during = [r["runtime"]["roundTripDuringCommandUs"] for r in rounds if "roundTripDuringCommandUs" in r["runtime"]]
    if during:
        idle = [r["runtime"]["roundTripUs"] for r in rounds]
        lines.append("Round trips while `shell.command` runs a 2-second command: %s, %.2f times the idle "
                     "round trip." % (spread(during, "µs"), statistics.median(a / b for a, b in zip(during, idle))))
    return "\n".join(lines) + "\n"


def spread(values, unit):
    return "%s %s (%s–%s)" % (fmt(statistics.median(values)), unit, fmt(min(values)), fmt(max(values)))


def fmt(value):
    return "%.0f" % value if abs(value) >= 100 else "%.1f" % value


if __name__ == "__main__":
    sys.exit(main())
