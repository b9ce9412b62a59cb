# make test   build everything and run all tests (installs what is missing);
#             the end-to-end suite runs the shipped file, here or in an
#             emulated machine; E2E_ARCH=win64: a quick run of the x86-64
#             build instead (not the shipped file)
# make exe    build build/win32/uninstall.exe
# make demo   the program's whole job in a throwaway Windows (Wine); options:
#             make demo ARGS="--in-use | --interactive | --keep"
# make dist   dist/uninstall.exe and its SHA-256 sum (reproducible)
# make bench  key tree removal against SHDeleteKeyA, size, stack (RUNS=N)
.PHONY: all test exe exe64 native dist demo bench setup clean help

JOBS ?= 2
E2E_ARCH ?=
export E2E_VM

all: exe

help:
	@sed -n '/^[^#]/q; s/^# //p' Makefile

setup:
	@scripts/setup

exe: setup
	cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
	cmake --build build/win32 -j $(JOBS)

# The same sources for x86-64: the end-to-end suite runs this build where the
# machine cannot execute 32-bit code.
exe64: setup
	cmake -S . -B build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
	cmake --build build/win64 -j $(JOBS)

native: setup
	cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Debug -DE2E_ARCH="$(E2E_ARCH)" >/dev/null
	cmake --build build/native -j $(JOBS)

# The end-to-end suite runs first, on its own, so that its progress shows;
# ctest then reports each of its scenarios (and reruns it if it is stale).
test: exe exe64 native
	-@E2E_ARCH="$(E2E_ARCH)" tests/e2e/run suite build/e2e
	cd build/native && ctest --output-on-failure -j $(JOBS)

# dist/uninstall.exe and its SHA-256 sum; the build is reproducible.
# Built from scratch each time, so that two runs compare two builds.
dist: setup
	rm -rf build/dist
	cmake -S . -B build/dist -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
	cmake --build build/dist --target uninstall -j $(JOBS) >/dev/null
	mkdir -p dist
	cp build/dist/uninstall.exe dist/uninstall.exe
	cd dist && sha256sum uninstall.exe > uninstall.exe.sha256
	@cat dist/uninstall.exe.sha256

demo: exe exe64
	@scripts/demo $(ARGS)

bench: exe exe64 native
	@scripts/bench

clean:
	rm -rf build
