# Entry points: make demo | make build | make test | make test-sanitize | make test-tsan | make check-threads
# | make bench
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)

.PHONY: deps build test demo test-sanitize test-tsan clean

# Debian packages the build needs; installs only what is missing.
deps:
	scripts/install-deps

build: deps
	cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)
	cmake --build build -j $(JOBS)

test: build
	ctest --test-dir build --output-on-failure -j $(JOBS)

# Builds everything, then shows the veskor tool at work on the sample data.
demo: build
	build/bin/veskor demo

test-sanitize: deps
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVESKOR_SANITIZE=address
	cmake --build build-asan -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		ctest --test-dir build-asan --output-on-failure -j $(JOBS)

# The threaded tests under ThreadSanitizer: every test whose suite name ends in "Concurrency".
test-tsan: deps
	cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVESKOR_SANITIZE=thread
	cmake --build build-tsan -j $(JOBS)
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
		ctest --test-dir build-tsan --output-on-failure -j $(JOBS) -R 'Concurrency\.' --no-tests=error

# Clang's thread-safety analysis of the lock annotations: a syntax-only pass over the sources.
.PHONY: check-threads
check-threads:
	scripts/install-deps --threads
	JOBS=$(JOBS) scripts/check-threads

clean:
	rm -rf build build-asan build-tsan

# Benchmarks: every program named *_bench in build/bin (helpEval_bench on the help pages that
# bench/helpCorpus.py converts first), then the Python package against C, then batch matching
# (veskor match, find_many, veskor.dask).
.PHONY: bench
# The packages come first, so that the build finds Xapian for the BM25 comparison.
bench:
	scripts/install-deps --bench
	$(MAKE) build
	/usr/bin/python3 bench/helpCorpus.py --out build/bench
	@set -e; for b in build/bin/*_bench; do echo "== $$b"; "$$b" $(BENCH_ARGS); done
	@echo "== bench/python_bench.py"; /usr/bin/python3 bench/python_bench.py --build build
	@echo "== bench/match_bench.py"; /usr/bin/python3 bench/match_bench.py --build build
