#!/usr/bin/env python3
"""Tests of the bench's host side: the peer's script, the readers of the linker map, the
import table and the PE headers, and the verdicts of the report. Run: python3 bench/test_bench.py
(kept out of `make test`, like the bench itself)."""
import re
import struct
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import bench  # noqa: E402


class PeerScript(unittest.TestCase):
    def test_each_record_once_files_before_their_folder_keys_last(self):
        cases = [(0, 0, 0, 0), (49, 49, 1, 4), (50, 50, 1, 5), (51, 51, 2, 5), (120, 120, 3, 12)]
        for n, files, folders, keys in cases:
            with self.subTest(n=n):
                lines = bench.nsis_script(n, "/tmp/setup.exe").splitlines()
                deletes = [l for l in lines if l.strip().startswith("Delete ")]
                rmdirs = [l for l in lines if l.strip().startswith("RMDir ")]
                regkeys = [l for l in lines if l.strip().startswith("DeleteRegKey ")]
                self.assertEqual((len(deletes), len(rmdirs), len(regkeys)), (files, folders, keys))
                self.assertEqual(len(set(deletes)), files)
                for folder_line in rmdirs:
                    folder = re.search(r"(d\d{4})", folder_line).group(1)
                    last_file = max(i for i, l in enumerate(lines) if f"\\{folder}\\" in l)
                    self.assertLess(last_file, lines.index(folder_line), folder)
                if regkeys:
                    self.assertGreater(lines.index(regkeys[0]), lines.index(rmdirs[-1]))

    def test_names_follow_the_driver_layout(self):
        # bench/layout.h: folder i / 50 as d%04u, file as f%06u.dat, key as k%05u below BenchApp.
        text = bench.nsis_script(101, "x.exe")
        self.assertIn(r'Delete "$INSTDIR\d0002\f000100.dat"', text)
        self.assertIn(r'Delete "$INSTDIR\d0000\f000049.dat"', text)
        self.assertIn(r'Delete "$INSTDIR\d0001\f000050.dat"', text)
        self.assertIn(r'DeleteRegKey HKCU "Software\BenchApp\k00009"', text)
        self.assertNotIn("k00010", text)

    def test_the_uninstaller_runs_silently_and_writes_where_asked(self):
        text = bench.nsis_script(1, "/b/setup-1.exe")
        for line in ("SilentUnInstall silent", 'OutFile "/b/setup-1.exe"', "Unicode true",
                     r'WriteUninstaller "$INSTDIR\uninstall.exe"'):
            self.assertIn(line, text)


def make_pe(sections, overlay=b""):
    """A minimal PE image: headers, the given (raw size, raw pointer) sections, then overlay."""
    pe = 0x80
    optional = 0xE0
    table = pe + 24 + optional
    end = max([p + s for s, p in sections] + [table + 40 * len(sections)])
    data = bytearray(end)
    data[0:2] = b"MZ"
    struct.pack_into("<I", data, 0x3C, pe)
    data[pe:pe + 4] = b"PE\0\0"
    struct.pack_into("<HH", data, pe + 4, 0x14C, len(sections))
    struct.pack_into("<H", data, pe + 20, optional)
    for i, (size, pointer) in enumerate(sections):
        struct.pack_into("<II", data, table + 40 * i + 16, size, pointer)
    return bytes(data) + overlay


class ProgramPart(unittest.TestCase):
    def test_ends_at_the_last_raw_section_whatever_follows(self):
        cases = [
            ("no overlay", [(0x200, 0x400), (0x400, 0x600)], b"", 0xA00),
            ("appended data", [(0x200, 0x400), (0x400, 0x600)], b"\x12\x34" * 100, 0xA00),
            ("sections out of order", [(0x400, 0x600), (0x200, 0x400)], b"data", 0xA00),
            ("empty last section", [(0x200, 0x400), (0, 0x800)], b"data", 0x600),
        ]
        for name, sections, overlay, expected in cases:
            with self.subTest(name), tempfile.TemporaryDirectory() as tmp:
                path = Path(tmp) / "a.exe"
                path.write_bytes(make_pe(sections, overlay))
                self.assertEqual(bench.program_part(path), expected)


MAP = """\
Discarded input sections

 .text          0x00000000       0x40 src/libuninst_removal.a(dropped.cpp.obj)

Linker script and memory map

                0x00400000                        __image_base__ = 0x400000
.text           0x00401000     0x1000
 .text          0x00401000      0x120 src/libuninst_data.a(file_ops.cpp.obj)
                0x00401000                ReadExact(void*, void*, unsigned long)
 .text$_ZN12LongSectionNameEv
                0x00401120       0x80 src/libuninst_data.a(file_ops.cpp.obj)
 *fill*         0x004011a0        0x4 
 .text          0x004011a4       0x60 /usr/lib/gcc/x/libmingwex.a(lib32_libmingwex_a-mbrtowc.o)
 .text          0x00401204       0x30 bench/CMakeFiles/uninst_symbols.dir/__/src/run/main.cpp.obj
.data           0x00402000      0x200
 .data          0x00402000      0x100 src/libuninst_folders.a(protected_folders.cpp.obj)
.bss            0x00403000      0x800
 .bss           0x00403000      0x800 src/libuninst_data.a(memory_ops.cpp.obj)
.rsrc           0x00404000      0x400
 .rsrc          0x00404000      0x3a0 bench/CMakeFiles/x.dir/__/src/resources/uninst.rc.res
.debug_info     0x00405000      0x900
 .debug_info    0x00405000      0x900 src/libuninst_data.a(file_ops.cpp.obj)
"""


class SizeBreakdown(unittest.TestCase):
    def test_sums_loaded_sections_by_contributor(self):
        with tempfile.TemporaryDirectory() as tmp:
            path = Path(tmp) / "a.map"
            path.write_text(MAP)
            sizes = dict(bench.size_breakdown(path))
        self.assertEqual(sizes, {
            "src: file_ops.cpp": 0x120 + 0x80,  # both line forms; .debug_info not counted
            "lib: libmingwex.a": 0x60,
            "src: main.cpp": 0x30,
            "src: protected_folders.cpp": 0x100,
            "resources (icon, dialogs, manifest)": 0x3a0,
        })  # no fill, nothing discarded, no .bss

    def test_largest_first(self):
        with tempfile.TemporaryDirectory() as tmp:
            path = Path(tmp) / "a.map"
            path.write_text(MAP)
            sizes = [size for _, size in bench.size_breakdown(path)]
        self.assertEqual(sizes, sorted(sizes, reverse=True))


OBJDUMP = """\
The Import Tables (interpreted .idata section contents)
 vma:            Hint    Time      Forward  DLL       First
\tDLL Name: KERNEL32.dll
\tvma:  Hint/Ord Member-Name Bound-To
\t71a0\t  123  CloseHandle
\t71b0\t  200  CreateFileW

\tDLL Name: ADVAPI32.dll
\tvma:  Hint/Ord Member-Name Bound-To
\t71d0\t 1589  RegDeleteKeyW

There is an export table
\t[   0] +base[   1] 0000 SomethingElse
"""


class Imports(unittest.TestCase):
    def test_functions_by_dll_and_nothing_after_the_tables(self):
        class Done:
            stdout = OBJDUMP
        saved = bench.subprocess.run
        bench.subprocess.run = lambda *a, **k: Done()
        try:
            table = bench.imports("x.exe")
        finally:
            bench.subprocess.run = saved
        self.assertEqual(table, {"kernel32.dll": ["CloseHandle", "CreateFileW"], "advapi32.dll": ["RegDeleteKeyW"]})


def run(who, n, ms, check="ok", round_=0):
    return {"who": who, "n": str(n), "ms": str(ms), "check": check, "round": str(round_),
            "left-files": "0/0", "left-folders": "0/0", "left-keys": "0/0", "lost-sentinels": "0/5",
            "exit": "0", "timeout": "0"}


class Report(unittest.TestCase):
    def render(self, runs, loads=(), problems=(), size=30000, imports=None, sizes=(5000, 20000)):
        return bench.render(size, imports or {"kernel32.dll": ["CreateFileW"]}, [], [], 90112, list(sizes),
                            [10000, 100000], 3, list(runs), list(loads), list(problems), 60)

    def verdict(self, text, label):
        row = next(l for l in text.splitlines() if l.startswith(f"| {label}"))
        return [c.strip() for c in row.split("|")[1:-1]]

    def test_ratio_verdicts_at_and_past_the_limits(self):
        runs = [run("ours", 5000, 500), run("nsis", 5000, 1000), run("floor", 5000, 400),
                run("ours", 20000, 2201), run("ours", 0, 100), run("nsis", 0, 99)]
        text = self.render(runs)
        self.assertEqual(self.verdict(text, "removal N = 5000: ours / peer")[1:], ["0.50", "0.50", "met"])
        self.assertEqual(self.verdict(text, "removal N = 5000: ours / floor")[1:], ["1.25", "1.25", "met"])
        self.assertEqual(self.verdict(text, "growth: ours")[3], "**missed**")  # 4.402 > 4.4
        self.assertEqual(self.verdict(text, "empty silent run")[3], "**missed**")

    def test_growth_only_between_sizes_four_times_apart(self):
        runs = [run("ours", 250, 100), run("ours", 1000, 440), run("ours", 5000, 3000)]
        text = self.render(runs, sizes=(250, 1000, 5000))
        self.assertEqual(self.verdict(text, "growth: ours N = 1000 / N = 250")[1:], ["4.40", "4.40", "met"])
        self.assertNotIn("N = 5000 / N = 1000", text)

    def test_growth_to_a_size_not_run_is_named_not_measured(self):
        text = self.render([run("ours", 1000, 100), run("ours", 5000, 600)], sizes=(1000, 5000))
        self.assertEqual(self.verdict(text, "growth: ours N = 20000 / N = 5000")[1:],
                         ["not run", "4.40", "not measured"])
        self.assertNotIn("not run", self.render([run("ours", 5000, 600), run("ours", 20000, 2000)]))

    def test_runs_spread_by_the_load_are_named(self):
        runs = [run("ours", 5000, v, round_=i) for i, v in enumerate((100, 150, 120))]
        runs += [run("floor", 5000, v, round_=i) for i, v in enumerate((100, 151, 120))]
        runs += [run("nsis", 5000, 400)]
        self.assertEqual(bench.spread_warnings(runs), ["floor at N = 5000: 1.5"])
        self.assertIn("floor at N = 5000: 1.5.", self.render(runs))
        self.assertNotIn("more than 1.5 times", self.render(runs[:3]))

    def test_medians_not_means(self):
        runs = [run("ours", 5000, v, round_=i) for i, v in enumerate((100, 900, 200))]
        runs += [run("nsis", 5000, 400)]
        self.assertEqual(self.verdict(self.render(runs), "removal N = 5000: ours / peer")[1], "0.50")

    def test_missing_contestant_is_not_a_verdict(self):
        text = self.render([run("ours", 5000, 500)])
        self.assertEqual(self.verdict(text, "removal N = 5000: ours / peer")[1:], ["n/a", "0.50", "n/a"])

    def test_load_growth_limit_scales_with_the_sizes(self):
        loads = [{"n": "10000", "ms": "10", "reads": "50000"}, {"n": "100000", "ms": "111", "reads": "500000"}]
        row = self.verdict(self.render([], loads=loads), "growth: loading")
        self.assertEqual(row[1:], ["11.10", "11.00", "**missed**"])
        self.assertIn("| 100000 | 111.0 | 500000 | 5.00 |", self.render([], loads=loads))

    def test_program_part_and_foreign_imports(self):
        text = self.render([], size=40 * 1024 + 1, imports={"kernel32.dll": [], "libstdc++-6.dll": []})
        self.assertEqual(self.verdict(text, "program part")[3], "**missed**")
        self.assertEqual(self.verdict(text, "imports only system DLLs")[1:], ["libstdc++-6.dll", "", "**missed**"])
        self.assertEqual(self.verdict(self.render([], size=40 * 1024), "program part")[3], "met")

    def test_a_failed_check_is_shown_where_the_times_are(self):
        runs = [run("ours", 5000, 10, check="FAIL"), run("nsis", 5000, 1000), run("floor", 5000, 400)]
        text = self.render(runs, problems=["ours, N = 5000, round 0: afterwards-check FAILED"])
        self.assertIn("## PROBLEMS: these results do not count", text)
        row = next(l for l in text.splitlines() if l.startswith("| 5000 |"))
        self.assertIn("**1 of 3 FAILED**", row)
        self.assertLess(text.index("PROBLEMS"), text.index("## Targets"))
        row = next(l for l in text.splitlines() if l.startswith("| 20000 |"))
        self.assertIn("**no runs**", row)

# Lines as Wine 8's wineserver writes them (shortened). The driver is thread 0024; run A's first
# thread 0128 is traced from within its init_first_thread, run B's (0134) from its request on.
TRACE = """\
0128: init_first_thread() = 0 { pid=0124, tid=0128, server_start=1dd863efba97456 (-57.3), session_id=00000001 }
0128: open_mapping( access=000f001f, attributes=00000000, rootdir=0000, name=L"x" )
0128: open_mapping() = 0 { handle=0018 }
0128: *fd* 0018 -> 19
0128: new_thread( process=ffffffff, access=001fffff, flags=00000000, request_fd=-1, objattr={} )
0128: new_thread() = 0 { tid=0130, handle=0050 }
0130: init_thread( unix_tid=12, teb=00380000, entry=7bc600e0, reply_fd=30, wait_fd=31 )
0130: close_handle( handle=0050 )
0128: new_process( token=0000, debug=0000, parent_process=0000, flags=00000000, socket_fd=20 )
0128: new_process() = 0 { info=008c, pid=0140, handle=0090 }
0128: new_thread( process=0090, access=001fffff, flags=00000001, request_fd=-1, objattr={} )
0128: new_thread() = 0 { tid=0144, handle=0094 }
0144: init_first_thread( unix_pid=99, unix_tid=99, debug_level=0, teb=00380000, peb=00390000 )
0144: init_first_thread() = 0 { pid=0140, tid=0144 }
0144: delete_file( handle=0010 )
0128: terminate_process( handle=ffffffff, exit_code=0 )
0128: *killed* exit_code=0
0130: *killed* exit_code=0
0024: *wakeup* signaled=0
0024: open_key( parent=0028, access=00020019, attributes=00000040, name=L"Software\\BenchApp\\k00000" )
0024: new_process( token=0000, debug=0000, parent_process=0000, flags=00000000, socket_fd=22 )
0024: new_thread( process=0094, access=001fffff, flags=00000001, request_fd=-1, objattr={} )
0024: new_thread() = 0 { tid=0130, handle=0098 }
0130: init_first_thread( unix_pid=7, unix_tid=7, debug_level=0, teb=00380000, peb=00390000 )
0130: close_handle( handle=0010 )
0024: new_thread( process=0098, access=001fffff, flags=00000001, request_fd=-1, objattr={} )
0024: new_thread() = 0 { tid=0134, handle=009c }
0134: init_first_thread( unix_pid=8, unix_tid=8, debug_level=1, teb=00380000, peb=00390000 )
0134: init_first_thread() = 0 { pid=0138, tid=0134 }
0134: create_file( access=c0100080, sharing=00000000, create=1, options=00000060, attrs=00000080 )
0134: create_file() = 0 { handle=0078 }
0134: close_handle( handle=0078 )
0134: get_startup_info( )
"""


class RequestCounts(unittest.TestCase):
    def test_each_run_gets_its_threads_requests_and_apart_its_childrens(self):
        a, b = bench.count_requests(TRACE.splitlines(keepends=True), ["0128", "0134"])
        # 0128's init_first_thread counts once though only its reply was traced; replies and
        # the server's own notes (*fd*, *killed*) are no requests.
        self.assertEqual(a["own"], {"init_first_thread": 1, "open_mapping": 1, "new_thread": 2, "init_thread": 1,
                                    "new_process": 1, "terminate_process": 1, "close_handle": 1})
        self.assertEqual(a["children"], {"init_first_thread": 1, "delete_file": 1})
        # 0130 came back as another process of the driver's: neither run's. B's init is traced
        # with its request and reply: one request.
        self.assertEqual(b["own"], {"init_first_thread": 1, "create_file": 1, "close_handle": 1,
                                    "get_startup_info": 1})
        self.assertEqual(b["children"], {})

    def test_a_run_begins_at_its_first_threads_start_not_at_an_earlier_thread_of_that_id(self):
        lines = ["0134: close_handle( handle=0010 )",
                 "0134: init_first_thread( unix_pid=8, unix_tid=8, debug_level=1 )",
                 "0134: close_handle( handle=0020 )"]
        (run,) = bench.count_requests(lines, ["0134"])
        self.assertEqual(run["own"], {"init_first_thread": 1, "close_handle": 1})

    def test_a_run_that_never_started_counts_nothing(self):
        runs = bench.count_requests(TRACE.splitlines(), ["0128", "0999", "0134"])
        self.assertEqual(runs[1], {"own": {}, "children": {}})
        self.assertEqual(sum(runs[2]["own"].values()), 0)  # the order of runs is kept


class PerRecord(unittest.TestCase):
    def test_growth_per_record_without_what_every_run_costs(self):
        small = {"create_file": 2300, "map_view": 40, "open_key": 300}
        large = {"create_file": 6300, "map_view": 40, "open_key": 500, "delete_key": 20}
        self.assertEqual(bench.per_record(small, large, 100, 300),
                         {"create_file": 20.0, "open_key": 1.0, "delete_key": 0.1})

    def test_the_section_shows_totals_rates_and_the_excess_over_the_floor(self):
        counts = lambda own, started=None: {"own": own, "children": started or {}}
        requests = {100: {"ours": counts({"a": 150, "b": 7}), "nsis": counts({"a": 90}),
                          "floor": counts({"a": 50}, {"c": 12})},
                    300: {"ours": counts({"a": 450, "b": 7, "c": 400}), "nsis": counts({"a": 250}),
                          "floor": counts({"a": 150}, {"c": 12})}}
        text = "\n".join(bench.render_requests(requests, [100, 300]))
        self.assertIn("| **requests per file record** | **3.50** | **0.80** | **0.50** |", text)
        self.assertIn("| in processes it started, N = 300 | 0 | 0 | 12 |", text)
        rows = [l for l in text.splitlines() if l.startswith("| c |") or l.startswith("| a |")]
        self.assertEqual(rows, ["| c | 2.00 | 0.00 | 0.00 | +2.00 |", "| a | 1.50 | 0.80 | 0.50 | +1.00 |"])
        self.assertEqual(bench.render_requests({100: requests[100]}, [100, 300]), [])
        text = "\n".join(bench.render_requests(requests, [100, 300], [1000]))
        # From N = 300 on: ours 857 + 3.5 * 700, peer 250 + 0.8 * 700, floor 150 + 0.5 * 700.
        self.assertIn("Extrapolated to N = 1000: ours 3307, peer 810, floor 500 requests; "
                      "ours / peer 4.08, ours / floor 6.61", text)


class MakeInstallation(unittest.TestCase):
    """bench/make_installation.sh makes what the driver made through Wine (bench/layout.h)."""
    SCRIPT = Path(__file__).resolve().parent / "make_installation.sh"

    def make(self, tmp, n, app="app"):
        done = Path(tmp) / "done"
        rc = bench.subprocess.run(["bash", str(self.SCRIPT), str(Path(tmp) / app), str(n), str(done)],
                                  capture_output=True).returncode
        return rc, done.read_text().strip()

    def test_files_folders_and_bytes(self):
        content = bytes(ord("a") + i % 26 for i in range(1024))
        for n, folders, last in [(0, [], None), (1, ["d0000"], "d0000/f000000.dat"),
                                 (50, ["d0000"], "d0000/f000049.dat"),
                                 (51, ["d0000", "d0001"], "d0001/f000050.dat")]:
            with self.subTest(n=n), tempfile.TemporaryDirectory() as tmp:
                self.assertEqual(self.make(tmp, n), (0, "ok"))
                app = Path(tmp) / "app"
                self.assertEqual(sorted(p.name for p in app.iterdir()), folders)
                files = sorted(p for p in app.rglob("*") if p.is_file())
                self.assertEqual(len(files), n)
                self.assertTrue(all(p.read_bytes() == content for p in files))
                if last:
                    self.assertEqual(files[-1].relative_to(app).as_posix(), last)
                self.assertEqual(sorted(p.name for p in Path(tmp).iterdir()), ["app", "done"])

    def test_refuses_to_make_over_an_existing_installation_or_a_bad_count(self):
        with tempfile.TemporaryDirectory() as tmp:
            (Path(tmp) / "app").mkdir()
            rc, said = self.make(tmp, 3)
            self.assertNotEqual(rc, 0)
            self.assertTrue(said.startswith("fail cannot create"), said)
            self.assertEqual(list((Path(tmp) / "app").iterdir()), [])
            rc, said = self.make(tmp, "3x", app="other")
            self.assertNotEqual(rc, 0)
            self.assertTrue(said.startswith("fail the file count"), said)
            self.assertFalse((Path(tmp) / "other").exists())


class Resume(unittest.TestCase):
    def test_a_stage_is_kept_whole_or_made_again_whole(self):
        runs = [run("ours", 0, 1), run("nsis", 0, 1), run("ours", 1000, 5), run("nsis", 1000, 9),
                run("floor", 1000, 4), run("ours", 5000, 20)]
        self.assertEqual(bench.keep_complete(runs, 1000, 3), (True, runs))
        complete, left = bench.keep_complete(runs, 5000, 3)
        self.assertFalse(complete)
        self.assertEqual(left, runs[:5])
        self.assertEqual(bench.keep_complete(runs, 20000, 3), (False, runs))
        self.assertEqual(bench.keep_complete([], 0, 0), (True, []))

    def test_each_sittings_start_is_named(self):
        saved = bench.LOADS
        try:
            bench.LOADS = [("start", 9.0), ("after N = 1000", 5.0), ("start", 4.0), ("end", 3.0)]
            self.assertEqual([stage for stage, _ in bench.sitting_loads()],
                             ["start", "after N = 1000", "start of sitting 2", "end"])
        finally:
            bench.LOADS = saved


class Fields(unittest.TestCase):
    def test_driver_lines(self):
        line = "run n=5000 who=ours round=2 ms=123.4 left-files=3/5000 check=FAIL"
        self.assertEqual(bench.fields(line), {"n": "5000", "who": "ours", "round": "2", "ms": "123.4",
                                              "left-files": "3/5000", "check": "FAIL"})


if __name__ == "__main__":
    unittest.main()
