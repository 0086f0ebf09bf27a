# The commands of the README. `make test` takes a fresh machine to a green test run.
.PHONY: deps configure build build-program test demo test-narrow host-test bench bench-fuzz clean vm-stop

deps:
	@scripts/install-deps

configure: deps
	@cmake --preset win32 >/dev/null
	@cmake --preset host >/dev/null
	@cmake -S fuzz -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ >/dev/null

build: build-program
	@cmake --build build/fuzz

# The program, its tests (on both system-call tables) and the authoring tool.
build-program: configure
	@cmake --build --preset win32
	@cmake --build --preset host

# The Windows suite runs twice, on the wide and on the narrow system-call table, side by side.
test: build
	@ctest --preset host
	@ctest --test-dir build/fuzz --output-on-failure
	@ctest --preset win32

# The sample application installed into a fresh Wine prefix and removed by its uninstaller, built
# with uninstpack from examples/sample-manifest.json; prints before and after, screenshots in
# build/demo/screenshots; then the same again with the tool's German texts.
demo: build-program
	@demo/run-demo.sh

# Only the Windows suite on the narrow system-call table (make test runs it too).
test-narrow: build-program
	@ctest --preset win32-narrow

# Our program against the peer's uninstaller and the floor program, in a Wine prefix of its own;
# writes bench/RESULTS.md. Not part of `make test`. BENCH_N=1000 make bench for a quick run.
bench: deps
	@bench/bench.py

# A long fuzz run of the loader under Wine, with its rate (bench/loader_fuzz.sh COUNT SEED).
bench-fuzz: build
	@bench/loader_fuzz.sh

vm-stop:
	@scripts/vm/stop build/win32

clean:
	@rm -rf build
