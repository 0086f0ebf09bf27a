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

 .text          0x00000000       0x40 src/libuninst_core.a(dropped.cpp.obj)

Linker script and memory map

                0x00400000                        __image_base__ = 0x400000
.text           0x00401000     0x1000
 .text          0x00401000      0x120 src/libuninst_core.a(file_ops.cpp.obj)
                0x00401000                ReadExact(void*, void*, unsigned long)
 .text$_ZN12LongSectionNameEv
                0x00401120       0x80 src/libuninst_core.a(file_ops.cpp.obj)
 *fill*         0x004011a0        0x4 
 .text          0x004011a4       0x60 /usr/lib/gcc/x/libmingwex.a(lib32_libmingwex_a-mbrtowc.o)
 .text          0x00401204       0x30 bench/CMakeFiles/uninst_symbols.dir/__/src/run/main.cpp.obj
.data           0x00402000      0x200
 .data          0x00402000      0x100 src/libuninst_core.a(protected_folders.cpp.obj)
.bss            0x00403000      0x800
 .bss           0x00403000      0x800 src/libuninst_core.a(memory_ops.cpp.obj)
.rsrc           0x00404000      0x400
 .rsrc          0x00404000      0x3a0 bench/CMakeFiles/x.dir/__/src/resources/uninst.rc.res
.debug_info     0x00405000      0x900
 .debug_info    0x00405000      0x900 src/libuninst_core.a(file_ops.cpp.obj)
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


class Fields(unittest.TestCase):
    def test_driver_lines(self):
        line = "run n=5000 who=ours round=2 ms=123.4 left-files=3/5000 check=FAIL"
        self.assertEqual(bench.fields(line), {"n": "5000", "who": "ours", "round": "2", "ms": "123.4",
                                              "left-files": "3/5000", "check": "FAIL"})


if __name__ == "__main__":
    unittest.main()
