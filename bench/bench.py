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
BENCH_NO_BUILD=1 (use the programs as built). `touch build/bench/bin/bench.stop` stops the
guest's side between two runs (stopping this script alone leaves it running in the guest).
"""
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
RESULTS = ROOT / "bench" / "RESULTS.md"
WINE_RUN = ROOT / "scripts" / "wine-run"
# Runs in the guest as a unix program: the source tree has the same path there.
MAKE_INSTALLATION = ROOT / "bench" / "make_installation.sh"
TOOL = "i686-w64-mingw32-"

FILES_PER_FOLDER = 50  # bench/layout.h
FILES_PER_KEY = 10
BENCH_KEY = r"Software\BenchApp"

TARGET_PROGRAM_PART = 40 * 1024


def numbers(name, default):
    text = os.environ.get(name, default)
    return [int(x) for x in re.split(r"[\s,]+", text.strip()) if x]


def log(text):
    print(text, flush=True)


def guest_path(path):
    """The path under which the guest's Wine sees a host path (Z: maps the host's /)."""
    return "Z:" + str(path).replace("/", "\\")


def build():
    subprocess.run(["cmake", "-S", str(ROOT), "-B", str(BUILD), "-G", "Ninja",
                    "--toolchain", str(ROOT / "cmake" / "toolchain-mingw32.cmake"),
                    "-DCMAKE_BUILD_TYPE=MinSizeRel", "-DUNINST_BENCH=ON"],
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", str(BUILD), "--target",
                    "uninst", "uninst_symbols", "bench_driver", "load_bench", "floor"], check=True)


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
        if archive.startswith("libuninst_core"):
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
    lines = proc.stdout.splitlines()
    for line in lines:
        if line.startswith("error"):
            log("  " + line)
    if proc.returncode != 0:
        log(f"  {Path(program).name} ended with {proc.returncode}: {proc.stderr.strip()[-500:]}")
    return lines, proc.returncode


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


# ---- report ----

def ratio(a, b):
    return a / b if a is not None and b else None


def fmt_ratio(value, limit, below=True):
    if value is None:
        return "n/a", "n/a"
    met = value <= limit if below else value >= limit
    return f"{value:.2f}", "met" if met else "**missed**"


def main():
    started = time.monotonic()
    sizes = numbers("BENCH_N", "1000 5000 20000")
    rounds = numbers("BENCH_ROUNDS", "3")[0]
    load_sizes = numbers("BENCH_LOAD_N", "10000 100000")
    if not os.environ.get("BENCH_NO_BUILD"):
        log("building in build/bench ...")
        build()

    stop = BIN / "bench.stop"
    if stop.exists():
        stop.unlink()
    ours = BIN / "uninst.exe"
    our_size = ours.stat().st_size
    our_imports = imports(ours)
    breakdown = size_breakdown(BIN / "uninst_symbols.map")
    symbols = largest_symbols(BIN / "uninst_symbols.exe")

    log("writing the peer's uninstallers ...")
    setups = {n: make_nsis(n) for n in [0] + sizes}

    work = "C:\\bench-" + time.strftime("%Y%m%d-%H%M%S")
    problems, runs = [], []
    peer_export = NSIS_DIR / "uninstall-0.exe"
    if peer_export.exists():
        peer_export.unlink()

    loads = []

    def write_partial(stage):
        RESULTS.write_text(render(our_size, our_imports, breakdown, symbols, None, sizes, load_sizes, rounds,
                                  runs, loads, problems + [f"INCOMPLETE: the bench is still running ({stage})"],
                                  time.monotonic() - started))

    log(f"empty silent runs ({rounds} rounds) ...")
    got, complete = removal_runs(work, 0, rounds, [("ours", ours), ("nsis", setups[0])], export=peer_export)
    runs += got
    if not complete:
        problems.append("the empty runs did not all complete")
    write_partial("empty runs done")
    for n in sizes:
        log(f"removal of {n} files ({rounds} rounds) ...")
        got, complete = removal_runs(work, n, rounds,
                                     [("ours", ours), ("nsis", setups[n]), ("floor", BIN / "floor.exe")])
        runs += got
        if not complete:
            problems.append(f"the removal runs of N = {n} did not all complete")
        write_partial(f"removal of N = {n} done")

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

    peer_part = program_part(peer_export) if peer_export.exists() else None
    elapsed = time.monotonic() - started
    report = render(our_size, our_imports, breakdown, symbols, peer_part, sizes, load_sizes, rounds,
                    runs, loads, problems, elapsed)
    RESULTS.write_text(report)
    print()
    print(report)
    if problems:
        print("BENCH FAILED: " + str(len(problems)) + " problem(s); the times above are not comparable "
              "while a contestant leaves what it should remove.", file=sys.stderr)
        return 1
    return 0


def render(our_size, our_imports, breakdown, symbols, peer_part, sizes, load_sizes, rounds,
           runs, loads, problems, elapsed):
    out = ["# Benchmark results", ""]
    out.append(f"Made by `make bench` on {time.strftime('%Y-%m-%d %H:%M')}; Wine in the test machine, "
               f"times measured inside the guest (process start to end, QueryPerformanceCounter), "
               f"median of {rounds} interleaved runs each. The whole bench took {elapsed / 60:.1f} minutes.")
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


if __name__ == "__main__":
    sys.exit(main())
