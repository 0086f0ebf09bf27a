#!/usr/bin/env python3
"""The side-by-side benchmark behind `make bench`: our program against the peer's uninstaller
and our floor program, in a Wine prefix of its own (build folder build/bench).

Builds the programs, measures our program part's size and imports, writes and compiles the
peer's scripts, then lets the in-guest driver (bench/driver.cpp) and loader bench
(bench/load_bench.cpp) time every run inside the guest and check what each run left. Prints
the table and writes it to bench/RESULTS.md. Exits 1 when any run's afterwards-check failed
or a run could not be made, so a bench that removes nothing cannot pass for a fast one.

Environment: BENCH_N (blank- or comma-separated file counts, default "1000 5000 20000"),
BENCH_ROUNDS (runs per contestant, default 3), BENCH_LOAD_N (default "10000 100000"),
BENCH_TRACE_N (the two sizes of the traced runs that count wineserver requests, default "100 300"),
BENCH_WHO (the contestants, default "ours nsis floor"; "ours" alone for the growth at large N),
BENCH_RESULTS (the report's file, default bench/RESULTS.md),
BENCH_NO_BUILD=1 (use the programs as built). `touch build/bench/bin/bench.stop` stops the
guest's side between two runs (stopping this script alone leaves it running in the guest).
"""
import gzip
import json
import os
import re
import statistics
import struct
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
BUILD = ROOT / "build" / "bench"
BIN = BUILD / "bin"
NSIS_DIR = BUILD / "nsis"
RESULTS = Path(os.environ.get("BENCH_RESULTS") or ROOT / "bench" / "RESULTS.md")
RAW = BUILD / "results.json"  # every figure of the last complete bench, as measured
WINE_RUN = ROOT / "scripts" / "wine-run"
# Runs in the guest as a unix program: the source tree has the same path there.
MAKE_INSTALLATION = ROOT / "bench" / "make_installation.sh"
TOOL = "i686-w64-mingw32-"

FILES_PER_FOLDER = 50  # bench/layout.h
FILES_PER_KEY = 10
BENCH_KEY = r"Software\BenchApp"

TARGET_PROGRAM_PART = 40 * 1024
SOURCE = ("", [])


def numbers(name, default):
    text = os.environ.get(name, default)
    return [int(x) for x in re.split(r"[\s,]+", text.strip()) if x]


def log(text):
    print(text, flush=True)


def guest_path(path):
    """The path under which the guest's Wine sees a host path (Z: maps the host's /)."""
    return "Z:" + str(path).replace("/", "\\")


def build():
    # keep_desktop.exe beside the driver makes scripts/wine-run hold Wine's desktop up between
    # the driver's runs: under load a driver whose first windows all failed could not start.
    subprocess.run(["cmake", "-S", str(ROOT), "-B", str(BUILD), "-G", "Ninja",
                    "--toolchain", str(ROOT / "cmake" / "toolchain-mingw32.cmake"),
                    "-DCMAKE_BUILD_TYPE=MinSizeRel", "-DUNINST_BENCH=ON"],
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", str(BUILD), "--target",
                    "uninst", "uninst_symbols", "bench_driver", "load_bench", "floor", "keep_desktop"], check=True)


# ---- size and imports ----

def imports(exe):
    """{dll: [function, ...]} from objdump's import tables."""
    out = subprocess.run([TOOL + "objdump", "-p", str(exe)], check=True, capture_output=True, text=True).stdout
    table, dll = {}, None
    for line in out.splitlines():
        m = re.match(r"\s*DLL Name: (\S+)", line)
        if m:
            dll = m.group(1).lower()
            table[dll] = []
            continue
        m = re.match(r"\s+[0-9a-f]+\s+\d+\s+(\S+)$", line)
        if dll and m:
            table[dll].append(m.group(1))
        elif dll and not line.strip():
            dll = None
    return table


def program_part(exe):
    """Bytes up to the end of the last section's raw data: what precedes any appended data."""
    data = Path(exe).read_bytes()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    sections, optional = struct.unpack_from("<xxHxxxxxxxxxxxxH", data, pe + 4)
    first = pe + 24 + optional
    end = 0
    for i in range(sections):
        size, pointer = struct.unpack_from("<II", data, first + 40 * i + 16)
        if size:
            end = max(end, pointer + size)
    return end


def owner(path):
    """A short name for what an input section came from: our source file, or a library."""
    m = re.search(r"([^/()]+)\(([^()]+)\)$", path)
    if m:
        archive, member = m.groups()
        if archive.startswith("libuninst_"):
            return "src: " + member.replace(".obj", "")
        return "lib: " + archive
    name = path.rsplit("/", 1)[-1]
    if name.endswith(".rc.res"):
        return "resources (icon, dialogs, manifest)"
    if name.endswith(".cpp.obj"):
        return "src: " + name.replace(".obj", "")
    return "runtime: " + name


def size_breakdown(map_file):
    """Bytes per contributor over the loaded sections (.bss excluded: it takes no file space)."""
    sizes = {}
    section, pending = None, False
    in_map = False
    for line in Path(map_file).read_text(errors="replace").splitlines():
        if line.startswith("Linker script and memory map"):
            in_map = True
            continue
        if not in_map:
            continue
        m = re.match(r"^(\.\S+)", line)
        if m:
            section = m.group(1)
            continue
        if not section or section == ".bss" or re.match(r"\.(z?debug|stab)", section):
            continue
        m = re.match(r"^ (\S+)\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$", line)
        if not m:
            m2 = re.match(r"^\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$", line)
            if pending and m2:
                m = (None,) + m2.groups()
            pending = bool(re.match(r"^ \S+$", line))
            if not m:
                continue
        else:
            m = m.groups()
            pending = False
        size, path = int(m[2], 16), m[3].strip()
        if size and not path.startswith("*"):
            key = owner(path)
            sizes[key] = sizes.get(key, 0) + size
    return sorted(sizes.items(), key=lambda kv: -kv[1])


def largest_symbols(exe, count=15):
    out = subprocess.run([TOOL + "nm", "--size-sort", "-S", "-C", str(exe)],
                         check=True, capture_output=True, text=True).stdout.splitlines()
    rows = []
    for line in reversed(out):
        parts = line.split(None, 3)
        if len(parts) == 4 and parts[2].lower() in "tdrb":
            rows.append((int(parts[1], 16), parts[2], parts[3]))
        if len(rows) == count:
            break
    return rows


# ---- the peer ----

def nsis_script(n, out_exe):
    """The peer's installer for an installation of n files: it only writes its uninstaller,
    whose section undoes the installation record by record, as our data do."""
    lines = [
        "Unicode true",
        'Name "BenchApp"',
        f'OutFile "{out_exe}"',
        "RequestExecutionLevel user",
        "SilentInstall silent",
        "SilentUnInstall silent",
        r'InstallDir "C:\BenchApp"',
        "Section",
        '  SetOutPath "$INSTDIR"',
        r'  WriteUninstaller "$INSTDIR\uninstall.exe"',
        "SectionEnd",
        'Section "Uninstall"',
    ]
    folders = (n + FILES_PER_FOLDER - 1) // FILES_PER_FOLDER
    for folder in reversed(range(folders)):
        first = folder * FILES_PER_FOLDER
        for file in reversed(range(first, min(n, first + FILES_PER_FOLDER))):
            lines.append(rf'  Delete "$INSTDIR\d{folder:04d}\f{file:06d}.dat"')
        lines.append(rf'  RMDir "$INSTDIR\d{folder:04d}"')
    for key in range(n // FILES_PER_KEY):
        lines.append(rf'  DeleteRegKey HKCU "{BENCH_KEY}\k{key:05d}"')
    lines.append("SectionEnd")
    return "\n".join(lines) + "\n"


def make_nsis(n):
    NSIS_DIR.mkdir(parents=True, exist_ok=True)
    script, setup = NSIS_DIR / f"bench-{n}.nsi", NSIS_DIR / f"setup-{n}.exe"
    script.write_text(nsis_script(n, setup))
    subprocess.run(["makensis", "-V1", str(script)], check=True)
    return setup


# ---- runs in the guest ----

def wine_run(program, *args):
    env = dict(os.environ, UNINST_WINE_TIMEOUT="14400")
    proc = subprocess.run([str(WINE_RUN), str(program), *map(str, args)], env=env,
                          capture_output=True, text=True, errors="replace")
    return output_lines(proc, Path(program).name), proc.returncode


def output_lines(proc, what):
    """The finished process's output lines; its error lines and a failure are logged."""
    lines = proc.stdout.splitlines()
    for line in lines:
        if line.startswith("error"):
            log("  " + line)
    if proc.returncode != 0:
        log(f"  {what} ended with {proc.returncode}: {proc.stderr.strip()[-500:]}")
    return lines


def fields(line):
    return dict(part.split("=", 1) for part in line.split()[1:] if "=" in part)


def removal_runs(work, n, rounds, contestants, export=None):
    args = [work, n, rounds, f"make-installation={MAKE_INSTALLATION}"]
    args += [f"{name}={guest_path(path)}" for name, path in contestants]
    if export:
        args.append(f"export-nsis={guest_path(export)}")
    lines, rc = wine_run(BIN / "bench_driver.exe", *args)
    runs = [fields(l) for l in lines if l.startswith("run ")]
    for r in runs:
        log(f"  n={n:>6} {r['who']:<5} round {r['round']}: {float(r['ms']):9.1f} ms  check {r['check']}"
            + ("" if r["check"] == "ok" else
               f"  (left files {r['left-files']}, folders {r['left-folders']}, keys {r['left-keys']};"
               f" lost sentinels {r['lost-sentinels']}; exit {r['exit']}, timeout {r['timeout']})"))
    complete = rc == 0 and len(runs) == rounds * len(contestants)
    return runs, complete


def median_ms(runs, who, n):
    values = [float(r["ms"]) for r in runs if r["who"] == who and int(r["n"]) == n]
    return statistics.median(values) if values else None


# ---- wineserver requests ----

TRACE_LINE = re.compile(r"^([0-9a-f]{4,8}): (.*)$")
REQUEST = re.compile(r"^(\w+)\( ")
REPLY = re.compile(r"^(\w+)\(\) = ")
NEW_THREAD_TID = re.compile(r"\btid=([0-9a-f]+)")
PROCESS_FIELD = re.compile(r"\bprocess=([0-9a-f]+)")
CURRENT_PROCESS = "ffffffff"


def count_requests(lines, run_tids):
    """Requests per run from a wineserver trace (WINEDEBUG=+server): for each first-thread id in
    run_tids (the driver's runs, in order), {"own": {request: count}, "children": {...}}.

    A run owns its first thread from that thread's init_first_thread on, the threads it creates
    in its own process, and (as children) the processes it starts with theirs. The server reuses
    thread ids, so every new_thread reply gives the id a new owner: the creator's run, or none.
    Tracing starts within the request that turned it on, so a thread whose first traced line is a
    reply is counted one request for it."""
    runs = [{"own": {}, "children": {}} for _ in run_tids]
    wanted = [int(t, 16) for t in run_tids]
    owner = {}          # tid -> (run index, "own" or "children")
    next_run = 0
    pending_process = {}  # tid -> the process field of its pending new_thread request
    seen = set()
    last_request = {}
    for line in lines:
        m = TRACE_LINE.match(line)
        if not m:
            continue
        tid, text = int(m.group(1), 16), m.group(2)
        request, reply = REQUEST.match(text), REPLY.match(text)
        name = (request or reply).group(1) if (request or reply) else None
        # A thread starts with its init_first_thread request, or with the reply where the request
        # came before the tracing.
        starts = name == "init_first_thread" and (request or last_request.get(tid) != name)
        if request:
            last_request[tid] = name
        if starts:
            if next_run < len(wanted) and tid == wanted[next_run]:
                owner[tid] = (next_run, "own")
                next_run += 1
            elif owner.get(tid, (None, None))[1] != "children":
                owner.pop(tid, None)
        first_line = tid not in seen
        seen.add(tid)
        if request and name == "new_thread":
            field = PROCESS_FIELD.search(text)
            pending_process[tid] = field.group(1) if field else CURRENT_PROCESS
        if reply and name == "new_thread":
            created = NEW_THREAD_TID.search(text)
            if created:
                new_tid = int(created.group(1), 16)
                if tid in owner:
                    index, kind = owner[tid]
                    same_process = pending_process.get(tid, CURRENT_PROCESS) == CURRENT_PROCESS
                    owner[new_tid] = (index, kind if same_process else "children")
                else:
                    owner.pop(new_tid, None)
        if tid in owner and (request or (reply and first_line)):
            index, kind = owner[tid]
            counts = runs[index][kind]
            counts[name] = counts.get(name, 0) + 1
    return runs


def per_record(small, large, n_small, n_large):
    """{request: requests per file record}: the growth between two sizes, so what a run costs
    whatever its size (process start, DLL loading) does not count."""
    names = set(small) | set(large)
    rates = {name: (large.get(name, 0) - small.get(name, 0)) / (n_large - n_small) for name in names}
    return {name: rate for name, rate in rates.items() if abs(rate) >= 0.005}


def trace_runs(work, n, contestants, trace):
    """One run per contestant with the wineserver's trace on (a server of its own, whose standard
    error is the trace; the contestants' WINEDEBUG turns the tracing on). Returns the run lines
    and the trace's lines."""
    args = [work, n, 1, f"make-installation={MAKE_INSTALLATION}"]
    args += [f"{name}={guest_path(path)}" for name, path in contestants] + ["child-debug=+server"]
    proc = subprocess.run(["bash", str(ROOT / "bench" / "trace_requests.sh"), str(trace),
                           str(BIN / "bench_driver.exe"), *map(str, args)],
                          capture_output=True, text=True, errors="replace")
    lines = output_lines(proc, "the traced runs")
    runs = [fields(l) for l in lines if l.startswith("run ")]
    if proc.returncode != 0 or len(runs) != len(contestants) or not Path(trace).exists():
        return runs, None
    with gzip.open(trace, "rt", errors="replace") as f:
        return runs, count_requests(f, [r["tid"] for r in runs])


# ---- report ----

def ratio(a, b):
    return a / b if a is not None and b else None


def fmt_ratio(value, limit, below=True):
    if value is None:
        return "n/a", "n/a"
    met = value <= limit if below else value >= limit
    return f"{value:.2f}", "met" if met else "**missed**"


def source_state():
    """The commit measured, and whether the programs' sources (ours, the driver, the floor)
    differed from it when they were built."""
    head = subprocess.run(["git", "-C", str(ROOT), "log", "-1", "--format=%h %s"],
                          capture_output=True, text=True).stdout.strip()
    dirty = subprocess.run(["git", "-C", str(ROOT), "status", "--porcelain", "--", "src", "CMakeLists.txt",
                            "bench/*.cpp", "bench/*.h", "bench/*.sh"],
                           capture_output=True, text=True).stdout.split("\n")
    dirty = [line[3:] for line in dirty if line.strip()]
    return head, dirty


LOADS = []  # (stage, the host's 1-minute load average): the test machine's CPUs are the host's


def note_load(stage):
    LOADS.append((stage, os.getloadavg()[0]))


def sitting_loads():
    """LOADS with each start after the first named as the start of its sitting."""
    out, starts = [], 0
    for stage, load in LOADS:
        if stage == "start":
            starts += 1
            stage = "start" if starts == 1 else f"start of sitting {starts}"
        out.append((stage, load))
    return out


def keep_complete(runs, n, expected):
    """(True, runs) when the runs hold all `expected` runs of size n, else (False, the runs
    without those of size n): a stage is kept whole or made again whole, never mixed."""
    if sum(int(r["n"]) == n for r in runs) == expected:
        return True, runs
    return False, [r for r in runs if int(r["n"]) != n]


def main():
    started = time.monotonic()
    note_load("start")
    sizes = numbers("BENCH_N", "1000 5000 20000")
    rounds = numbers("BENCH_ROUNDS", "3")[0]
    load_sizes = numbers("BENCH_LOAD_N", "10000 100000")
    trace_sizes = numbers("BENCH_TRACE_N", "100 300")[:2]
    who = os.environ.get("BENCH_WHO", "ours nsis floor").split()
    # Resuming: keep the last bench's complete stages and run only the others, with the programs
    # as they were built then (a rebuild would measure another program).
    raw = json.loads(RAW.read_text()) if os.environ.get("BENCH_RESUME") and RAW.exists() else None
    global SOURCE, LOADS
    if raw:
        sizes = sorted(set(raw["sizes"]) | set(sizes))
        started -= raw["elapsed"]
        LOADS = [tuple(x) for x in raw["host_load"]] + LOADS
        log("resuming the bench of " + time.strftime("%Y-%m-%d %H:%M", time.localtime(RAW.stat().st_mtime)))
    # Read before the build: the state of the tree that the build compiles.
    SOURCE = tuple(raw["source"]) if raw else source_state()
    if not raw and not os.environ.get("BENCH_NO_BUILD"):
        log("building in build/bench ...")
        build()
    sittings = raw.get("sittings", 1) + 1 if raw else 1

    stop = BIN / "bench.stop"
    if stop.exists():
        stop.unlink()
    ours = BIN / "uninst.exe"
    our_size = ours.stat().st_size
    our_imports = imports(ours)
    breakdown = size_breakdown(BIN / "uninst_symbols.map")
    symbols = largest_symbols(BIN / "uninst_symbols.exe")

    log("writing the peer's uninstallers ...")
    setups = {n: make_nsis(n) for n in sorted(set([0] + sizes + trace_sizes))} if "nsis" in who else {}

    work = "C:\\bench-" + time.strftime("%Y%m%d-%H%M%S")
    problems, runs = [], list(raw["runs"]) if raw else []
    peer_export = NSIS_DIR / "uninstall-0.exe"
    if peer_export.exists() and not raw:
        peer_export.unlink()

    loads = list(raw["loads"]) if raw else []
    requests = {int(n): c for n, c in raw["requests"].items()} if raw else {}  # n -> {who: {"own": .., "children": ..}}

    def done(n, contestants):
        nonlocal runs
        complete, runs = keep_complete(runs, n, rounds * contestants)
        if complete:
            log(f"N = {n}: kept from the bench resumed")
        return complete

    def write_partial(stage):
        RESULTS.write_text(render(our_size, our_imports, breakdown, symbols, None, sizes, load_sizes, rounds,
                                  runs, loads, problems + [f"INCOMPLETE: the bench is still running ({stage})"],
                                  time.monotonic() - started, requests, trace_sizes))

    programs = {"ours": ours, "floor": BIN / "floor.exe"}
    contestants = lambda n, names=who: [(name, programs.get(name) or setups[n]) for name in names]
    empty = contestants(0, [name for name in who if name != "floor"])
    if not done(0, len(empty)):
        log(f"empty silent runs ({rounds} rounds) ...")
        got, complete = removal_runs(work, 0, rounds, empty, export=peer_export if "nsis" in who else None)
        runs += got
        if not complete:
            problems.append("the empty runs did not all complete")
        write_partial("empty runs done")
    for n in trace_sizes if len(trace_sizes) == 2 else []:
        if n in requests:
            continue
        log(f"wineserver requests at N = {n} (one traced run each) ...")
        got, counted = trace_runs(work + "-trace", n, contestants(n), BUILD / f"trace-{n}.log.gz")
        if counted is None or any(r["check"] != "ok" for r in got):
            problems.append(f"the traced runs of N = {n} did not all complete clean")
        else:
            requests[n] = {r["who"]: c for r, c in zip(got, counted)}
            for who, c in requests[n].items():
                log(f"  n={n:>6} {who:<5} {sum(c['own'].values())} requests"
                    f" (+ {sum(c['children'].values())} in processes it started)")
    write_partial("request counts done")
    for n in sizes:
        if done(n, len(who)):
            continue
        log(f"removal of {n} files ({rounds} rounds) ...")
        got, complete = removal_runs(work, n, rounds, contestants(n))
        runs += got
        if not complete:
            problems.append(f"the removal runs of N = {n} did not all complete")
        note_load(f"after N = {n}")
        write_partial(f"removal of N = {n} done")

    if len(loads) != max(rounds, 3) * len(load_sizes) or any(l["check"] != "ok" for l in loads):
        log(f"loading the uninstall data ({rounds} rounds) ...")
        lines, rc = wine_run(BIN / "load_bench.exe", work + "\\load", max(rounds, 3), *load_sizes)
        loads = [fields(l) for l in lines if l.startswith("load ")]
        if rc != 0 or len(loads) != max(rounds, 3) * len(load_sizes):
            problems.append("the loader bench did not complete")
    for l in loads:
        if l["check"] != "ok":
            problems.append(f"loading {l['n']} records failed or read {l['records']} records")

    failed = [r for r in runs if r["check"] != "ok"]
    for r in failed:
        problems.append(f"{r['who']}, N = {r['n']}, round {r['round']}: afterwards-check FAILED: left files "
                        f"{r['left-files']}, folders {r['left-folders']}, keys {r['left-keys']}; lost sentinels "
                        f"{r['lost-sentinels']}; exit code {r['exit']}, timed out {r['timeout']}")

    note_load("end")
    peer_part = program_part(peer_export) if peer_export.exists() else None
    elapsed = time.monotonic() - started
    report = render(our_size, our_imports, breakdown, symbols, peer_part, sizes, load_sizes, rounds,
                    runs, loads, problems, elapsed, requests, trace_sizes, sittings=sittings)
    RESULTS.write_text(report)
    RAW.write_text(json.dumps({"our_size": our_size, "imports": our_imports, "breakdown": breakdown,
                               "symbols": symbols, "peer_part": peer_part, "sizes": sizes, "load_sizes": load_sizes,
                               "rounds": rounds, "runs": runs, "loads": loads, "problems": problems,
                               "elapsed": elapsed, "requests": requests, "trace_sizes": trace_sizes,
                               "source": SOURCE, "host_load": LOADS, "sittings": sittings}, indent=1))
    print()
    print(report)
    if problems:
        print("BENCH FAILED: " + str(len(problems)) + " problem(s); the times above are not comparable "
              "while a contestant leaves what it should remove.", file=sys.stderr)
        return 1
    return 0


WHO = (("ours", "ours"), ("nsis", "peer"), ("floor", "floor"))


def spread_warnings(runs, limit=1.5):
    """"who at N = n: slowest / fastest" for each contestant and size whose runs spread past limit."""
    out = []
    for n in sorted({int(r["n"]) for r in runs}):
        for who, label in WHO:
            values = [float(r["ms"]) for r in runs if r["who"] == who and int(r["n"]) == n]
            if len(values) > 1 and min(values) > 0 and max(values) / min(values) > limit:
                out.append(f"{label} at N = {n}: {max(values) / min(values):.1f}")
    return out


def render_requests(requests, trace_sizes, timed_sizes=()):
    """The wineserver requests section: totals per run, and per file record by request."""
    if len(requests) != 2:
        return []
    small, large = sorted(requests)
    out = ["## Wineserver requests", "",
           f"One traced run per contestant at N = {small} and N = {large} (WINEDEBUG=+server, counted "
           "by thread: the contestant's own process, and apart the processes it starts). Unlike the "
           "times these do not depend on the machine's load. Per file record: the growth from "
           f"N = {small} to N = {large}, divided by {large - small}, so it includes each file's share "
           "of the folders (1/50) and keys (1/10) and leaves out what a run costs whatever its size.", "",
           "| | " + " | ".join(label for _, label in WHO) + " |", "|---|---|---|---|"]
    have = lambda n, who: requests[n].get(who, {"own": {}, "children": {}})
    total = lambda n, who, kind="own": sum(have(n, who)[kind].values())
    ran = {who: who in requests[small] and who in requests[large] for who, _ in WHO}
    shown = lambda who, text: text if ran[who] else "-"  # not a contestant of this bench (BENCH_WHO)
    for n in (small, large):
        out.append(f"| requests, N = {n} | " + " | ".join(shown(who, str(total(n, who))) for who, _ in WHO) + " |")
        out.append(f"| in processes it started, N = {n} | "
                   + " | ".join(shown(who, str(total(n, who, "children"))) for who, _ in WHO) + " |")
    rates = {who: per_record(have(small, who)["own"], have(large, who)["own"], small, large) for who, _ in WHO}
    slope = {who: (total(large, who) - total(small, who)) / (large - small) for who, _ in WHO}
    out.append("| **requests per file record** | "
               + " | ".join(shown(who, f"**{slope[who]:.2f}**") for who, _ in WHO) + " |")
    out.append("")
    for n in timed_sizes:
        at = {who: total(large, who) + slope[who] * (n - large) for who, _ in WHO}
        if not (ran["nsis"] and ran["floor"]):
            out.append(f"Extrapolated to N = {n}: ours {at['ours']:.0f} requests.")
            out.append("")
            continue
        out.append(f"Extrapolated to N = {n}: ours {at['ours']:.0f}, peer {at['nsis']:.0f}, floor {at['floor']:.0f} "
                   f"requests; ours / peer {at['ours'] / at['nsis']:.2f}, ours / floor {at['ours'] / at['floor']:.2f} "
                   "(what the time ratios would be if every request cost the same and nothing else did).")
        out.append("")
    names = sorted(set().union(*rates.values()), key=lambda name: (-rates["ours"].get(name, 0), name))
    out += ["Per file record, by request:", "", "| request | " + " | ".join(l for _, l in WHO)
            + " | ours - floor |", "|---|---|---|---|---|"]
    for name in names:
        cells = [rates[who].get(name, 0.0) for who, _ in WHO]
        out.append(f"| {name} | " + " | ".join(shown(who, f"{c:.2f}") for (who, _), c in zip(WHO, cells))
                   + f" | {shown('floor', f'{cells[0] - cells[2]:+.2f}')} |")
    out.append("")
    return out


def render(our_size, our_imports, breakdown, symbols, peer_part, sizes, load_sizes, rounds,
           runs, loads, problems, elapsed, requests=None, trace_sizes=(), made=None, sittings=1):
    out = ["# Benchmark results", ""]
    out.append(f"Made by `make bench` on {made or time.strftime('%Y-%m-%d %H:%M')}; Wine in the test machine, "
               f"times measured inside the guest (process start to end, QueryPerformanceCounter), "
               f"median of {rounds} interleaved runs each. The whole bench took {elapsed / 60:.1f} minutes"
               + (f", in {sittings} sittings (BENCH_RESUME=1 kept the complete stages of the one before)."
                  if sittings > 1 else "."))
    out.append("")
    head, dirty = SOURCE
    out.append(f"Measured: commit {head}" + (f", with uncommitted changes to {', '.join(dirty)}" if dirty else "")
               + ". Load of the host, whose 2 cores also run the test machine (1-minute average; the bench "
               "alone keeps about 2 busy): " + ", ".join(f"{stage} {load:.1f}" for stage, load in sitting_loads()) + ".")
    out.append("")
    if problems:
        out += ["## PROBLEMS: these results do not count", ""]
        out += [f"- {p}" for p in problems]
        out.append("")

    ms = lambda who, n: median_ms(runs, who, n)
    out += ["## Targets", "", "| Target | Measured | Limit | |", "|---|---|---|---|"]
    value, verdict = fmt_ratio(our_size / TARGET_PROGRAM_PART, 1.0)
    out.append(f"| program part | {our_size} bytes ({our_size / 1024:.1f} KiB) | 40 KiB | {verdict} |")
    system_dlls = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll", "ole32.dll",
                   "comctl32.dll", "comdlg32.dll", "msvcrt.dll", "version.dll", "uxtheme.dll", "oleaut32.dll"}
    others = sorted(set(our_imports) - system_dlls)
    out.append(f"| imports only system DLLs | {', '.join(others) if others else 'yes'} | | "
               f"{'met' if not others else '**missed**'} |")
    n5 = 5000 if 5000 in sizes else (sizes[len(sizes) // 2] if sizes else None)
    if n5 is not None:
        value, verdict = fmt_ratio(ratio(ms("ours", n5), ms("nsis", n5)), 0.5)
        out.append(f"| removal N = {n5}: ours / peer | {value} | 0.50 | {verdict} |")
        value, verdict = fmt_ratio(ratio(ms("ours", n5), ms("floor", n5)), 1.25)
        out.append(f"| removal N = {n5}: ours / floor | {value} | 1.25 | {verdict} |")
    for small in sizes:
        if 4 * small in sizes:
            value, verdict = fmt_ratio(ratio(ms("ours", 4 * small), ms("ours", small)), 4.4)
            out.append(f"| growth: ours N = {4 * small} / N = {small} | {value} | 4.40 | {verdict} |")
    if n5 is not None and 4 * n5 not in sizes:
        out.append(f"| growth: ours N = {4 * n5} / N = {n5} | not run | 4.40 | not measured |")
    load_ms = {n: statistics.median([float(l["ms"]) for l in loads if int(l["n"]) == n])
               for n in load_sizes if any(int(l["n"]) == n for l in loads)}
    if len(load_ms) >= 2:
        small, large = min(load_ms), max(load_ms)
        limit = 1.1 * large / small
        value, verdict = fmt_ratio(ratio(load_ms[large], load_ms[small]), limit)
        out.append(f"| growth: loading {large} / {small} records | {value} | {limit:.2f} | {verdict} |")
    value, verdict = fmt_ratio(ratio(ms("ours", 0), ms("nsis", 0)), 1.0)
    out.append(f"| empty silent run: ours / peer | {value} | 1.00 | {verdict} |")
    out.append("")
    out.append("The progress pump (at most 101 pumps a run) is not measured here: silent runs have no "
               "progress window. The window tests check it.")
    out.append("")

    out += ["## Removal (ms, median)", "",
            "| N | files / folders / keys | ours | peer | floor | ours / peer | ours / floor | peer / floor | checks |",
            "|---|---|---|---|---|---|---|---|---|"]
    for n in [0] + sizes:
        mine, peer, floor = ms("ours", n), ms("nsis", n), ms("floor", n)
        checks = [r["check"] for r in runs if int(r["n"]) == n]
        bad = checks.count("FAIL")
        cell = lambda v: f"{v:.0f}" if v is not None else "-"
        rcell = lambda v: f"{v:.2f}" if v is not None else "-"
        out.append(f"| {n} | {n} / {(n + FILES_PER_FOLDER - 1) // FILES_PER_FOLDER} / {n // FILES_PER_KEY} | "
                   f"{cell(mine)} | {cell(peer)} | {cell(floor)} | {rcell(ratio(mine, peer))} | "
                   f"{rcell(ratio(mine, floor))} | {rcell(ratio(peer, floor))} | "
                   f"{'**no runs**' if not checks else 'all ok' if not bad else f'**{bad} of {len(checks)} FAILED**'} |")
    out.append("")
    out.append("N = 0 is the empty silent run (no records; the floor has nothing to do there). Every run "
               "gets a fresh installation on the guest's disk; the check afterwards counts what is left of "
               "the recorded files, folders and keys, and that five unrecorded sentinels (a file and a "
               "folder with a file inside the installation, a value of and a key beside the recorded keys) "
               "are still there.")
    out.append("")
    if runs:
        out += ["Single runs (ms):", ""]
        for n in [0] + sizes:
            for who in ("ours", "nsis", "floor"):
                values = [f"{float(r['ms']):.0f}" for r in runs if r["who"] == who and int(r["n"]) == n]
                if values:
                    out.append(f"- N = {n}, {who}: {', '.join(values)}")
        out.append("")
        wide = spread_warnings(runs)
        if wide:
            out += ["Runs whose slowest took more than 1.5 times their fastest (the load of the machine changed "
                    "under them; their medians, and ratios made of them, are weak; the request counts below "
                    "are not affected): " + "; ".join(wide) + ".", ""]

    out += render_requests(requests or {}, trace_sizes, [n for n in sizes if n > max(trace_sizes or [0])])

    out += ["## Loading the uninstall data", "", "| file records | ms (median) | ReadFile calls | calls per record |",
            "|---|---|---|---|"]
    for n in load_sizes:
        mine = [l for l in loads if int(l["n"]) == n]
        if mine:
            reads = int(mine[0]["reads"])
            out.append(f"| {n} | {statistics.median(float(l['ms']) for l in mine):.1f} | {reads} | {reads / n:.2f} |")
    out.append("")

    out += ["## Program part", ""]
    out.append(f"Ours: `build/bench/bin/uninst.exe`, {our_size} bytes."
               + (f" The peer's uninstaller program part (its file up to its appended data): {peer_part} bytes."
                  if peer_part else ""))
    out.append("")
    out += ["Imports:", ""]
    for dll, names in our_imports.items():
        out.append(f"- {dll} ({len(names)}): {', '.join(names)}")
    out.append("")
    out += ["What takes the space (loaded sections of the unstripped link, by contributor, bytes):", "",
            "| contributor | bytes |", "|---|---|"]
    for name, size in breakdown[:25]:
        out.append(f"| {name} | {size} |")
    out.append("")
    out += ["Largest symbols (`nm --size-sort`):", "", "| bytes | kind | symbol |", "|---|---|---|"]
    for size, kind, name in symbols:
        out.append(f"| {size} | {kind} | `{name}` |")
    out.append("")
    return "\n".join(out)


def render_again():
    """RESULTS.md once more from build/bench/results.json, the figures of the last complete bench:
    for a change of the report's form without hours of runs (`bench.py --render`)."""
    global SOURCE, LOADS
    raw = json.loads(RAW.read_text())
    SOURCE, LOADS = tuple(raw["source"]), [tuple(x) for x in raw["host_load"]]
    requests = {int(n): counts for n, counts in raw["requests"].items()}
    RESULTS.write_text(render(raw["our_size"], raw["imports"], raw["breakdown"], raw["symbols"], raw["peer_part"],
                              raw["sizes"], raw["load_sizes"], raw["rounds"], raw["runs"], raw["loads"],
                              raw["problems"], raw["elapsed"], requests, raw["trace_sizes"],
                              time.strftime("%Y-%m-%d %H:%M", time.localtime(RAW.stat().st_mtime)),
                              raw.get("sittings", 1)))
    return 0


if __name__ == "__main__":
    sys.exit(render_again() if sys.argv[1:] == ["--render"] else main())
