# make test   build everything and run all tests (installs what is missing);
#             the end-to-end suite runs the shipped file, here or in an
#             emulated machine; E2E_ARCH=win64: a quick run of the x86-64
#             build instead (not the shipped file)
# make exe    build build/win32/uninstall.exe
# make demo   the program's whole job in a throwaway Windows (Wine); options:
#             make demo ARGS="--in-use | --gallery | --shipped | --interactive | --keep"
# make dist   dist/uninstall.exe and its SHA-256 sum (reproducible), with the
#             version in VERSION and the commit; dist/check.cmd; signed with
#             SIGN_PKCS12=file [SIGN_PASS_FILE=file] or SIGN_CERT=.. SIGN_KEY=..;
#             prints the sum and the "Published:" line for CHANGELOG.md
# make wintest  dist/wintest/ and dist/wintest.zip: the end-to-end suite for
#             a throw-away Windows VM, run there by run-tests.cmd
# make bench  key tree removal against SHDeleteKeyA, here and in the emulated
#             machine, size, stack (RUNS=N RUNS_VM=N BENCH_NO_VM=1)
# E2E_VM=1    the shipped file in the emulated machine even where it runs here
.PHONY: all test exe exe64 native dist demo bench setup clean help wintest

JOBS ?= 2
E2E_ARCH ?=
export E2E_VM

# What a person wants to follow, without the tools' chatter: no make
# directory lines from the builds cmake runs; a build step's output shows,
# in full, only when it fails (V=1 shows it always).
MAKEFLAGS += --no-print-directory
ifeq ($(V),1)
quietly = $(1)
else
quietly = out=$$(mktemp); if $(1) >"$$out" 2>&1; then rm -f "$$out"; else status=$$?; cat "$$out"; rm -f "$$out"; exit $$status; fi
endif
# A second configure of a build folder does not use the toolchain file again:
# no warning about it.
CONFIGURE = cmake --no-warn-unused-cli -S .

all: exe

help:
	@sed -n '/^[^#]/q; s/^# //p' Makefile

setup:
	@scripts/setup

exe: setup
	@$(call quietly,$(CONFIGURE) -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake -DCMAKE_BUILD_TYPE=MinSizeRel)
	@$(call quietly,cmake --build build/win32 -j $(JOBS))
	@echo "built build/win32/uninstall.exe (the shipped 32-bit file) and the end-to-end driver"

# The same sources for x86-64: the end-to-end suite runs this build where the
# machine cannot execute 32-bit code.
exe64: setup
	@$(call quietly,$(CONFIGURE) -B build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=MinSizeRel)
	@$(call quietly,cmake --build build/win64 -j $(JOBS))
	@echo "built build/win64 (the x86-64 build of the same sources)"

native: setup
	@$(call quietly,$(CONFIGURE) -B build/native -DCMAKE_BUILD_TYPE=Debug -DE2E_ARCH="$(E2E_ARCH)")
	@$(call quietly,cmake --build build/native -j $(JOBS))
	@echo "built build/native (unit tests on the simulated Windows)"

# The end-to-end suite runs first, on its own, so that its progress shows;
# ctest then reports each of its scenarios (and reruns it if it is stale).
test: exe exe64 native
	-@E2E_ARCH="$(E2E_ARCH)" tests/e2e/run suite build/e2e
	@cd build/native && ctest --output-on-failure -j $(JOBS)

# The test kit for a real Windows (tests/wintest/README.txt): the shipped
# file, the driver, run-tests.cmd.
wintest: exe
	@tests/wintest/pack build/win32 $(DIST)
	@echo "wrote $(DIST)/wintest/ and $(DIST)/wintest.zip: unzip it in a throw-away Windows VM, run run-tests.cmd as an administrator"

# dist/uninstall.exe and its SHA-256 sum, and check.cmd, the check of a PC
# that goes out with it; the build is reproducible.
# Built from scratch each time, so that two runs compare two builds.  With a
# certificate (SIGN_PKCS12 or SIGN_CERT/SIGN_KEY, see scripts/sign) the file
# is signed, at the time of the commit it names (SOURCE_DATE_EPOCH
# overrides it), so that a commit of docs alone leaves the signed file as it
# was too.  Built and signed aside and moved into $(DIST) only at the end:
# a failed run leaves no uninstall.exe there, not even an earlier one.
# Prints the sum, then the line that records the release in CHANGELOG.md:
# the sum of the unsigned file, which anyone can rebuild, and the commit the
# file names (none for a file built from modified sources or no commit).
DIST ?= dist
SIGNING = $(strip $(SIGN_PKCS12)$(SIGN_CERT)$(SIGN_KEY))

dist: setup
	@rm -f $(DIST)/uninstall.exe $(DIST)/uninstall.exe.sha256 $(DIST)/check.cmd
	$(if $(SIGNING),scripts/sign --check)
	@mkdir -p build
	@set -e; work=$$(mktemp -d build/dist.XXXXXX); trap 'rm -rf "$$work"' EXIT; \
	cmake -S . -B "$$work/build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null; \
	cmake --build "$$work/build" --target uninstall -j $(JOBS) >/dev/null; \
	commit=$$(sed -n 's/^#define BUILD_COMMIT "\(.*\)"$$/\1/p' "$$work/build/build_info/build_info.h"); \
	unsigned=$$(sha256sum <"$$work/build/uninstall.exe" | cut -d' ' -f1); \
	mkdir "$$work/out"; \
	$(if $(SIGNING),when=$$(git log -1 --format=%ct "$${commit%-modified}" -- 2>/dev/null || true); \
	SOURCE_DATE_EPOCH=$${SOURCE_DATE_EPOCH:-$$when} scripts/sign "$$work/build/uninstall.exe" "$$work/out/uninstall.exe",cp "$$work/build/uninstall.exe" "$$work/out/uninstall.exe"); \
	(cd "$$work/out" && sha256sum uninstall.exe > uninstall.exe.sha256); \
	mkdir -p $(DIST); \
	mv "$$work/out/uninstall.exe.sha256" $(DIST)/; \
	mv "$$work/out/uninstall.exe" $(DIST)/ || { rm -f $(DIST)/uninstall.exe.sha256; exit 1; }; \
	cp docs/check.cmd $(DIST)/; \
	cat $(DIST)/uninstall.exe.sha256; \
	case $$commit in \
	*[!0-9a-f]*|"") echo "built from commit $$commit: not for release";; \
	*) echo "to record the release, under \"## $$(cat VERSION)\" in CHANGELOG.md:"; \
	   echo "Published: SHA-256 \`$$unsigned\` of the unsigned \`uninstall.exe\`, built from commit \`$$commit\`.";; \
	esac

demo: exe exe64
	@scripts/demo $(ARGS)

bench: exe exe64 native
	@scripts/bench

clean:
	rm -rf build
