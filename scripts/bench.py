#!/usr/bin/env python3
"""Runs the agent's benchmarks and prints one table; scripts/bench.sh builds
what it needs and calls this. docs/performance.md explains the figures.

  scripts/bench.py [--no-wine] [--quick]

Two worlds: the simulated desktop (the "bench" preset, Release at -O2) and the
real Windows executable under Wine (the "windows" preset). Every latency is
also given as a fraction of one full-speed USB poll (1 ms), the physical
bound on how often the phone can report at all. The programs' own output goes
to build/bench/results/, the table to standard output and
build/bench/results/table.txt.
"""

import argparse
import datetime
import json
import os
import pathlib
import platform
import statistics
import subprocess
import sys
import time

REPO = pathlib.Path(__file__).resolve().parent.parent
BENCH = REPO / "build" / "bench" / "benchmarks"
WINDOWS = REPO / "build" / "windows"
RESULTS = REPO / "build" / "bench" / "results"
AGENT_EXE = WINDOWS / "QuillonSkypePlugIn.exe"
WINE_BENCH = WINDOWS / "benchmarks" / "agent_wine_bench.exe"
VPHONE = WINDOWS / "tests" / "wine" / "virtual_phone" / "vphone.exe"
PLAYER = WINDOWS / "tests" / "wine" / "scenario_player" / "scenario_player.exe"
WINE_DIR = pathlib.Path(os.environ.get("AGENT_WINE_DIR", "/usr/lib/wine"))
PREFIX = pathlib.Path(os.environ.get("AGENT_WINEPREFIX", WINDOWS / "wineprefix"))

USB_POLL_US = 1000.0  # one full-speed USB interrupt poll

SIM = "simulated desktop"
WINE = "Wine 8"
MINGW = "MinGW-w64 build"


class Settings:
    def __init__(self, quick):
        self.quick = quick
        self.repetitions = 1 if quick else 3
        self.micro_min_time = 0.01 if quick else 0.5
        self.events = 50 if quick else 10000
        self.sim_idle_seconds = 0.5 if quick else 10
        self.startup_runs = 1 if quick else 10
        self.wine_idle_seconds = 1 if quick else 20
        self.wine_calls = 5 if quick else 200


class Failure(Exception):
    pass


# ---------------------------------------------------------------- formatting

def plain(value, digits=2):
    """`value` with `digits` significant digits, never in exponent form."""
    if value == 0:
        return "0"
    text = f"{value:.{digits}g}"
    if "e" in text:
        decimals = max(0, digits - 1 - int(f"{value:e}".split("e")[1]))
        text = f"{value:.{decimals}f}"
    return text


def duration_us(us):
    if us == 0:
        return "0"
    if us < 1:
        return f"{us * 1000:.0f} ns"
    if us < 1000:
        return f"{us:.3g} µs"
    return f"{us / 1000:.3g} ms"


def of_poll(*us):
    return " / ".join(plain(value / USB_POLL_US) for value in us)


# ---------------------------------------------------------------- simulated desktop

def run_benchmarks(program, args, out):
    command = [str(BENCH / program), f"--benchmark_out={out}", "--benchmark_out_format=json",
               *args]
    print(f"==> {' '.join(command[:1] + command[3:])}", file=sys.stderr)
    # The programs' console table goes to stderr: stdout is the table of this script.
    subprocess.run(command, check=True, stdout=sys.stderr)
    with open(out) as report:
        return json.load(report)


def runs_by_name(report):
    """Each benchmark's repetitions (not the aggregates), by name; fails on an error."""
    runs = {}
    for entry in report["benchmarks"]:
        if entry.get("error_occurred"):
            raise Failure(f"{entry['name']}: {entry.get('error_message', 'failed')}")
        if entry.get("run_type") == "aggregate":
            continue
        runs.setdefault(entry["run_name"], []).append(entry)
    return runs


def to_us(entry, key):
    scale = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}[entry["time_unit"]]
    return entry[key] * scale


def median_of(runs, key):
    return statistics.median(run[key] for run in runs)


def find(runs, name):
    for run_name, entries in runs.items():
        if run_name == name or run_name.startswith(name + "/"):
            return entries
    raise Failure(f"{name}: not in the benchmark output")


def micro_rows(settings):
    report = run_benchmarks("agent_microbenchmarks", [
        f"--benchmark_min_time={settings.micro_min_time}",
        f"--benchmark_repetitions={settings.repetitions}",
    ], RESULTS / "microbenchmarks.json")
    runs = runs_by_name(report)

    def cpu(name):
        entries = find(runs, name)
        return statistics.median(to_us(entry, "cpu_time") for entry in entries), entries

    rows = []

    def call_row(what, name, note=""):
        us, entries = cpu(name)
        allocations = median_of(entries, "allocations")
        figure = f"{duration_us(us)}, allocations: {plain(allocations, 3)}{note}"
        rows.append((what, SIM, figure, of_poll(us)))

    call_row("decode one input report", "BM_DecodeInputReport")
    for kind in ("ringing", "type_incoming", "type_outgoing", "in_progress", "finished", "missed",
                 "unrelated"):
        call_row(f"OnHostNotification: {kind.replace('_', ' ')}",
                 f"BM_OnHostNotification/{kind}")
    for case in ("phone", "other_hid_device", "not_hid"):
        call_row(f"MatchTargetPath: {case.replace('_', ' ')}", f"BM_MatchTargetPath/{case}")
    call_row("reader's step per press (decode, rules, Ring write, send)", "BM_PressDecision")

    us, entries = cpu("BM_SetIndicator")
    allocations = median_of(entries, "allocations")
    platform_us, platform_entries = cpu("BM_SetIndicatorPlatformCalls")
    platform_allocations = median_of(platform_entries, "allocations")
    opens = median_of(entries, "device_opens")
    rows.append(("LED write SetIndicator (opens the device per write)", SIM,
                 f"{duration_us(us)}, allocations: {plain(allocations, 3)} "
                 f"({plain(allocations - platform_allocations, 3)} the agent's, "
                 f"{plain(platform_allocations, 3)} the simulated platform's), "
                 f"device opens per write: {plain(opens, 3)}", of_poll(us)))
    kept_us, kept_entries = cpu("BM_LedWriteOnOpenHandle")
    rows.append(("  for comparison: the report on a handle kept open", SIM,
                 f"{duration_us(kept_us)}, allocations: "
                 f"{plain(median_of(kept_entries, 'allocations'), 3)}", of_poll(kept_us)))
    return rows


def latency_rows(settings):
    report = run_benchmarks("agent_latency_benchmarks", [
        f"--agent_events={settings.events}",
        f"--agent_idle_seconds={settings.sim_idle_seconds}",
        f"--benchmark_repetitions={settings.repetitions}",
    ], RESULTS / "latency_benchmarks.json")
    runs = runs_by_name(report)
    rows = []

    def latency_row(what, name):
        entries = find(runs, name)
        p50 = median_of(entries, "p50_us")
        p99 = median_of(entries, "p99_us")
        peak = max(entry["max_us"] for entry in entries)
        events = int(sum(entry["events"] for entry in entries))
        rows.append((what, SIM,
                     f"p50 {duration_us(p50)}, p99 {duration_us(p99)}, max {duration_us(peak)} "
                     f"({len(entries)} × {events // len(entries):,} events)",
                     of_poll(p50, p99, peak)))

    for kind, what in (("lift_answers", "lift answers"),
                       ("replace_hangs_up", "replace hangs up"),
                       ("button7_hangs_up", "Button 7 hangs up")):
        latency_row(f"press → command: {what}", f"BM_PressToCommand/{kind}")
    for kind, what in (("type_lights_ring", "call type lights Ring"),
                       ("missed_puts_ring_out", "missed call puts Ring out")):
        latency_row(f"notification → LED: {what}", f"BM_NotificationToLed/{kind}")

    for case, what in (("phone_plugged", "phone plugged in"), ("no_phone", "no phone")):
        entries = find(runs, f"BM_Idle/{case}")
        parts = []
        threads = [("window_thread", "window thread")]
        if case == "phone_plugged":
            threads.append(("reader_thread", "reader"))
        for thread, label in threads:
            wakeups = median_of(entries, f"{thread}_wakeups_per_min")
            cpu_us = median_of(entries, f"{thread}_cpu_us_per_min")
            parts.append(f"{label} {wakeups:.0f} wake-ups, {duration_us(cpu_us)} CPU")
        rss = median_of(entries, "rss_kb")
        if case == "no_phone":
            parts.append("no reader")
        rows.append((f"idle, {what} (per minute)", SIM,
                     "; ".join(parts) + f"; process RSS {rss / 1024:.1f} MiB", ""))
    return rows


# ---------------------------------------------------------------- Wine

def wine_env():
    env = dict(os.environ)
    env.update(WINEPREFIX=str(PREFIX), WINEARCH="win64", WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d")
    env.pop("DISPLAY", None)
    env.pop("WAYLAND_DISPLAY", None)
    return env


def wine_run(*args, check=True):
    """One program through the project's runner; its output once it ended."""
    result = subprocess.run([str(REPO / "scripts" / "wine-run.sh"), *map(str, args)],
                            capture_output=True, text=True)
    if check and result.returncode != 0:
        raise Failure(f"{' '.join(map(str, args))}: exit {result.returncode}: "
                      f"{result.stdout.strip()} {result.stderr.strip()}")
    return result


def processes_of_prefix(match):
    """Unix pids of this prefix's processes whose /proc entry satisfies `match`."""
    wanted = f"WINEPREFIX={PREFIX}".encode()
    found = []
    for entry in pathlib.Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            if wanted not in (entry / "environ").read_bytes().split(b"\0"):
                continue
            if match(entry):
                found.append(int(entry.name))
        except OSError:
            continue
    return found


def agent_pid():
    exe = "Z:" + str(AGENT_EXE).replace("/", "\\")
    pids = processes_of_prefix(
        lambda entry: (entry / "cmdline").read_bytes().split(b"\0")[0].decode(errors="replace")
        == exe)
    if len(pids) != 1:
        raise Failure(f"expected one agent process under Wine, found {len(pids)}")
    return pids[0]


def wineserver_pid():
    # "wineserver64" on Debian.
    pids = processes_of_prefix(
        lambda entry: (entry / "comm").read_text().startswith("wineserver"))
    return pids[0] if len(pids) == 1 else None


def status_field(path, key):
    for line in path.read_text().splitlines():
        if line.startswith(key + ":"):
            return int(line.split()[1])
    return 0


def sample_tasks(pid):
    """By thread id: (name, voluntary switches, ns on the CPU)."""
    tasks = {}
    for task in (pathlib.Path("/proc") / str(pid) / "task").iterdir():
        try:
            tasks[int(task.name)] = (
                (task / "comm").read_text().strip(),
                status_field(task / "status", "voluntary_ctxt_switches"),
                int((task / "schedstat").read_text().split()[0]))
        except OSError:
            continue
    return tasks


def task_changes(before, after, seconds):
    """By thread id: (name, wake-ups per minute, CPU µs per minute)."""
    scale = 60.0 / seconds
    changes = {}
    for tid, (name, switches, ns) in after.items():
        if tid in before:
            changes[tid] = (name, (switches - before[tid][1]) * scale,
                            (ns - before[tid][2]) / 1000 * scale)
    return changes


class HeldRun:
    """agent_wine_bench in "hold" or "standin" mode, started directly through
    wine64 so that its "ready" line can be seen while it runs."""

    def __init__(self, mode, seconds, settle_seconds):
        self.log = RESULTS / f"wine_{mode}.log"
        self.output = open(self.log, "w")
        self.process = subprocess.Popen(
            [str(WINE_DIR / "wine64"), str(WINE_BENCH), str(AGENT_EXE), mode,
             str(seconds + settle_seconds)],
            stdin=subprocess.DEVNULL, stdout=self.output, stderr=subprocess.STDOUT,
            env=wine_env())

    def wait_ready(self, timeout=60):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            text = self.log.read_text()
            if "ready" in text:
                return
            if "failed" in text or self.process.poll() is not None:
                break
            time.sleep(0.1)
        raise Failure(f"agent_wine_bench did not get ready: {self.log.read_text().strip()}")

    def finish(self, timeout=60):
        status = self.process.wait(timeout=timeout)
        self.output.close()
        if status != 0:
            raise Failure(f"agent_wine_bench: exit {status}: {self.log.read_text().strip()}")


def idle_window(mode, settings, phone):
    """Per-thread wake-ups and CPU of the agent (or none) and of the wineserver."""
    settle = 1.0  # after the agent is ready, before the window opens
    margin = 5.0  # the run outlives the window by this much
    seconds = settings.wine_idle_seconds
    run = HeldRun(mode, seconds + margin, settle)
    try:
        run.wait_ready()
        pid = agent_pid() if mode == "hold" else None
        if phone:
            wine_run(VPHONE, "wait-reader", 10000)
        time.sleep(settle)
        server = wineserver_pid()
        before = sample_tasks(pid) if pid else {}
        server_before = sample_tasks(server) if server else {}
        time.sleep(seconds)
        after = sample_tasks(pid) if pid else {}
        server_after = sample_tasks(server) if server else {}
        memory = None
        if pid:
            status = pathlib.Path("/proc") / str(pid) / "status"
            memory = (status_field(status, "VmRSS"), status_field(status, "RssAnon"))
    finally:
        run.finish()
    server_change = task_changes(server_before, server_after, seconds)
    server_total = (sum(change[1] for change in server_change.values()),
                    sum(change[2] for change in server_change.values()))
    return task_changes(before, after, seconds), pid, server_total, memory


def describe_agent_threads(changes, pid):
    parts = []
    for tid, (name, wakeups, cpu_us) in sorted(changes.items()):
        if tid == pid:
            label = "window thread"
        elif name.startswith("wine_sechost"):
            label = "Wine's device-notification thread"
        elif name.startswith("wine_"):
            label = f"Wine's {name}"
        else:
            label = "reader"
        parts.append(f"{label} {wakeups:.0f} wake-ups, {duration_us(cpu_us)} CPU")
    return "; ".join(parts)


def press_timings(stderr, what):
    """The player's --timings lines: by kind of press, (n, p50, p99, max) in ms."""
    timings = {}
    for line in stderr.splitlines():
        fields = line.split()
        if "p50=" not in line or len(fields) < 5:
            continue
        values = dict(field.split("=") for field in fields if "=" in field)
        kind = " ".join(field for field in fields if "=" not in field)
        timings[kind] = (int(values["n"]), *(float(values[key]) for key in ("p50", "p99", "max")))
    if not timings:
        raise Failure(f"{what} printed no timings: {stderr.strip()}")
    return timings


def run_player(args, stdin, log, what):
    # The driver loaded and no phone plugged in, as the player expects.
    for step in (("install",), ("wait-present", 20000), ("remove",), ("wait-absent", 20000)):
        wine_run(VPHONE, *step)
    result = subprocess.run([str(REPO / "scripts" / "wine-run.sh"), str(PLAYER), *args],
                            input=stdin, capture_output=True, text=True,
                            env=dict(os.environ, AGENT_WINE_LIVE="1"))
    (RESULTS / log).write_text(result.stderr)
    if result.returncode != 0:
        raise Failure(f"{what}: exit {result.returncode}: {result.stderr.strip()}")
    return press_timings(result.stderr, what)


def wine_press_rows(settings):
    """Press → command through Wine's HID stack: the Windows scenario player
    injects each report through the virtual phone and stamps the command's
    arrival at its call application, one clock in one process. Then the same
    presses with floor_reader.exe in the agent's place (scenario_player
    --floor), which does only what any reader must: each agent row is also
    given as a ratio to its floor."""
    calls = settings.wine_calls
    lines = ["phone plug", "app start", "start"]
    for call in range(1, calls + 1):
        lines += [f"app incoming {call}", "phone lift", "phone replace"]
    for call in range(1001, 1001 + calls):
        lines += [f"app outgoing {call}", f"app answer {call}", "phone press 7",
                  "phone release 7"]
    lines.append("quit")
    agent = run_player(["--timings", "-"], "\n".join(lines) + "\n", "wine_press_timings.log",
                       "scenario player")
    floor = run_player(["--floor", str(calls)], "", "wine_press_floor.log",
                       "scenario player --floor")
    rows = []
    for kind, (n, p50, p99, top) in agent.items():
        if kind not in floor:
            raise Failure(f"scenario player --floor: no timings for {kind}")
        floor_n, floor_p50, floor_p99, floor_top = floor[kind]
        rows.append((f"press → command through Wine's HID stack: {kind}", WINE,
                     f"p50 {p50:.2f} ms, p99 {p99:.2f} ms, max {top:.2f} ms ({n} presses); "
                     f"× floor: p50 {p50 / floor_p50:.2f}, p99 {p99 / floor_p99:.2f}",
                     of_poll(p50 * 1000, p99 * 1000)))
        rows.append((f"  floor: minimal reader, {kind}", WINE,
                     f"p50 {floor_p50:.2f} ms, p99 {floor_p99:.2f} ms, max {floor_top:.2f} ms "
                     f"({floor_n} presses)", of_poll(floor_p50 * 1000, floor_p99 * 1000)))
    return rows


def wine_rows(settings):
    rows = []
    RESULTS.mkdir(parents=True, exist_ok=True)
    subprocess.run([str(REPO / "scripts" / "wine-session.sh"), "ensure"], check=True,
                   env=wine_env())

    size = AGENT_EXE.stat().st_size
    rows.append(("Windows image QuillonSkypePlugIn.exe (stripped)", MINGW,
                 f"{size:,} bytes ({size / 1024:.0f} KiB)", ""))

    # Phone out of the prefix first: start-up and the first idle window have none.
    wine_run(VPHONE, "remove", check=False)
    wine_run(VPHONE, "wait-absent", 20000, check=False)

    result = wine_run(WINE_BENCH, AGENT_EXE, "startup", settings.startup_runs)
    (RESULTS / "wine_startup.log").write_text(result.stdout)
    runs = [dict(field.split("=") for field in line.split()[1:])
            for line in result.stdout.splitlines() if line.startswith("startup ")]
    if len(runs) != settings.startup_runs:
        raise Failure(f"start-up runs: {result.stdout.strip()}")
    discovery = sorted(float(run["discovery_ms"]) for run in runs)
    attached = sorted(float(run["attached_ms"]) for run in runs)
    rows.append(("start-up → discovery broadcast (process start included)", WINE,
                 f"min {discovery[0]:.0f} ms, median {statistics.median(discovery):.0f} ms, "
                 f"max {discovery[-1]:.0f} ms ({len(runs)} starts); attached: median "
                 f"{statistics.median(attached):.0f} ms",
                 of_poll(statistics.median(discovery) * 1000, discovery[-1] * 1000)))

    rows.extend(wine_press_rows(settings))

    _, _, baseline_server, _ = idle_window("standin", settings, phone=False)
    rows.append(("idle, no agent: the prefix's own processes (per minute)", WINE,
                 f"wineserver {baseline_server[0]:.0f} wake-ups, "
                 f"{duration_us(baseline_server[1])} CPU", ""))
    for phone, what in ((False, "no phone"), (True, "virtual phone plugged in")):
        if phone:
            wine_run(VPHONE, "install")
            wine_run(VPHONE, "wait-present", 20000)
        try:
            changes, pid, server, memory = idle_window("hold", settings, phone)
        finally:
            if phone:
                wine_run(VPHONE, "remove", check=False)
                wine_run(VPHONE, "wait-absent", 20000, check=False)
        rows.append((f"idle, {what} (per minute)", WINE,
                     describe_agent_threads(changes, pid) +
                     f"; wineserver {server[0]:.0f} wake-ups, {duration_us(server[1])} CPU"
                     f"; RSS {memory[0] / 1024:.1f} MiB, of it private {memory[1] / 1024:.1f} MiB",
                     ""))
    return rows


# ---------------------------------------------------------------- the table

def machine_lines(settings, load_before):
    cpu = "unknown CPU"
    for line in pathlib.Path("/proc/cpuinfo").read_text().splitlines():
        if line.startswith("model name"):
            cpu = line.split(":", 1)[1].strip()
            break
    commit = subprocess.run(["git", "-C", str(REPO), "describe", "--always", "--dirty"],
                            capture_output=True, text=True).stdout.strip() or "unknown"
    compiler = subprocess.run(["g++", "--version"], capture_output=True,
                              text=True).stdout.splitlines()[0]
    lines = [
        f"machine: {cpu}, {os.cpu_count()} cores, Linux {platform.release()}; "
        f"{datetime.datetime.now().astimezone():%Y-%m-%d %H:%M %Z}; commit {commit}",
        f"build: preset bench (Release, -O2, {compiler}); Windows image: preset windows "
        f"(MinGW-w64 g++ 12, Release, stripped); Wine: {wine_version()}",
        f"load average (1 min) at start {load_before:.2f}, at end {os.getloadavg()[0]:.2f}",
        f"runs: {settings.repetitions} repetition(s); micro benchmarks: CPU time per call, "
        f"median; latencies: {settings.events:,} events per repetition, median p50 and p99, "
        f"max over all; idle: {plain(settings.sim_idle_seconds)} s windows (simulated desktop) "
        f"and {settings.wine_idle_seconds} s (Wine) scaled to a minute",
    ]
    if settings.quick:
        lines.insert(0, "QUICK RUN: every benchmark ran briefly; the figures mean nothing")
    return lines


def wine_version():
    result = subprocess.run([str(WINE_DIR / "wine64"), "--version"], capture_output=True,
                            text=True)
    return result.stdout.strip() or "unknown"


def render(rows, header_lines):
    heads = ("what", "world", "figure", "÷ 1 ms USB poll")
    widths = [max(len(heads[i]), *(len(row[i]) for row in rows)) for i in range(2)]
    lines = list(header_lines) + [""]
    lines.append(f"{heads[0]:<{widths[0]}}  {heads[1]:<{widths[1]}}  {heads[3]:<22}  {heads[2]}")
    lines.append("-" * (widths[0] + widths[1] + 28 + 40))
    for what, world, figure, ratio in rows:
        lines.append(f"{what:<{widths[0]}}  {world:<{widths[1]}}  {ratio:<22}  {figure}")
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--no-wine", action="store_true", help="leave out the Wine rows")
    parser.add_argument("--quick", action="store_true",
                        help="run everything briefly (CI); the figures mean nothing")
    options = parser.parse_args()
    settings = Settings(options.quick)
    RESULTS.mkdir(parents=True, exist_ok=True)
    load_before = os.getloadavg()[0]

    rows = []
    failures = []
    for name, part in (("micro benchmarks", micro_rows), ("latency benchmarks", latency_rows)):
        try:
            rows += part(settings)
        except (Failure, subprocess.CalledProcessError) as error:
            failures.append(f"{name}: {error}")
    if options.no_wine:
        rows.append(("Windows image, start-up, idle and latency under Wine", WINE,
                     "not measured (--no-wine)", ""))
    else:
        try:
            rows += wine_rows(settings)
        except (Failure, subprocess.CalledProcessError, OSError) as error:
            failures.append(f"Wine: {error}")
        finally:
            subprocess.run([str(REPO / "scripts" / "wine-session.sh"), "stop"], env=wine_env())

    table = render(rows, machine_lines(settings, load_before))
    if failures:
        table += "\n\nFAILED:\n" + "\n".join(f"  {failure}" for failure in failures)
    (RESULTS / "table.txt").write_text(table + "\n")
    print(table)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
