# The two entry points: `make run` and `make test`. Both install what they
# need first (scripts/bootstrap), so they work on a fresh Debian machine.
.PHONY: bootstrap build build-asan run test test-asan clean

JOBS ?= $(shell nproc)

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
	$(MAKE) test-asan

test-asan: build-asan
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		ctest --test-dir build-asan --output-on-failure -j $(JOBS)

clean:
	rm -rf build build-asan
