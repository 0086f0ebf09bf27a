# The commands of the README. `make test` takes a fresh machine to a green test run.
.PHONY: deps configure build test host-test clean vm-stop

deps:
	@scripts/install-deps

configure: deps
	@cmake --preset win32 >/dev/null
	@cmake --preset host >/dev/null

build: configure
	@cmake --build --preset win32
	@cmake --build --preset host

test: build
	@ctest --preset host
	@ctest --preset win32

vm-stop:
	@scripts/vm/stop build/win32

clean:
	@rm -rf build
