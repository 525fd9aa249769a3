# The two entry points: `make run` and `make test`. Both install what they
# need first (scripts/bootstrap), so they work on a fresh Debian machine.
.PHONY: bootstrap build build-asan build-tsan run test test-asan test-console test-package test-thread-safety test-tsan fuzz fuzz-corpus deb clean

JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60

bootstrap:
	bash scripts/bootstrap

build: bootstrap
	cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build build -j $(JOBS)

build-asan: bootstrap
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELMIRA_SANITIZE=ON
	cmake --build build-asan -j $(JOBS)

run: build
	./build/velmira

test: build
	ctest --test-dir build --output-on-failure -j $(JOBS)
	$(MAKE) test-thread-safety
	$(MAKE) test-console
	$(MAKE) test-asan
	$(MAKE) fuzz-corpus
	$(MAKE) test-package

# The Debian package, build/velmira_<version>_<arch>.deb (CPack). The prefix
# is set again because the binary carries the path of its installed factory
# settings: a build/ configured for another prefix would package a wrong one.
deb: build
	cmake -S . -B build -DCMAKE_INSTALL_PREFIX=/usr
	cmake --build build -j $(JOBS)
	cd build && cpack -G DEB

# The package as an administrator meets it: lintian, systemd-analyze, and the
# unpacked binary's start, backup, restore and second-server refusal.
test-package: deb
	bash scripts/package-check build

# The operator console in Debian's chromium, against build/velmira; the
# screenshots of every page land in build/console-screenshots/.
test-console: build
	cd tests/console && VELMIRA_BUILD_DIR=$(CURDIR)/build node --test --test-concurrency=1 .

# The lock annotations checked by clang's -Wthread-safety, every warning an
# error: building every target in build-clang is the check.
test-thread-safety: bootstrap
	CC=clang CXX=clang++ cmake -S . -B build-clang -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELMIRA_THREAD_SAFETY=ON
	cmake --build build-clang -j $(JOBS)

test-asan: build-asan
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		ctest --test-dir build-asan --output-on-failure -j $(JOBS)

# libFuzzer targets (clang): `fuzz` explores for FUZZ_SECONDS each; the corpus
# run replays every committed input once, so a fixed crash stays fixed.
fuzz: bootstrap
	JOBS=$(JOBS) bash scripts/fuzz run $(FUZZ_SECONDS)

fuzz-corpus: bootstrap
	JOBS=$(JOBS) bash scripts/fuzz corpus

# The integration tests under ThreadSanitizer: every connection, timer and
# operator action on the real thread pool.
build-tsan: bootstrap
	cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMIRA_TSAN=ON
	cmake --build build-tsan -j $(JOBS) --target integration_tests velmira

test-tsan: build-tsan
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 ./build-tsan/tests/integration_tests

# Load benchmarks against nginx and a reference line server (bench/README.md);
# not part of `make test`.
bench: build
	cmake --build build -j $(JOBS) --target bench_programs
	bench/run build

clean:
	rm -rf build build-asan build-tsan build-fuzz build-clang
