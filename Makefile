# make test   build everything and run all tests (installs what is missing)
# make exe    build build/win32/uninstall.exe
.PHONY: all test exe exe64 native setup clean help

JOBS ?= 2

all: exe

help:
	@sed -n 's/^# //p' Makefile | head -n 5

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
	cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Debug >/dev/null
	cmake --build build/native -j $(JOBS)

test: exe exe64 native
	cd build/native && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf build
