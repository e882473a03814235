# Entry points: make demo | make build | make test | make test-sanitize | make test-tsan | make check-threads
# | make test-oom | make fuzz | make bench
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)

.PHONY: deps build test demo test-sanitize test-tsan test-oom fuzz clean

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

# Every exported operation once for each of its allocations failing, in the AddressSanitizer build
# (which also checks for leaks). Its files go to /dev/shm where there is one: the suite saves
# thousands of times, and syncing each to disk would take most of its time.
OOM_TMPDIR ?= $(shell [ -d /dev/shm ] && [ -w /dev/shm ] && echo /dev/shm || echo $${TMPDIR:-/tmp})
test-oom: deps
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVESKOR_SANITIZE=address
	cmake --build build-asan -j $(JOBS) --target oom_tests
	TMPDIR=$(OOM_TMPDIR) ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:allocator_may_return_null=1 \
		UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 build-asan/bin/oom_tests

# Fuzzing: each libFuzzer target for FUZZ_SECONDS (60) seconds, starting from its seeds and the
# regression inputs in tests/fuzz/corpus (read only) and from what earlier runs found
# (build-fuzz/corpus). A crash stops the run and leaves its input in build-fuzz/crashes/.
FUZZ_SECONDS ?= 60
FUZZ_TARGETS = fuzz_kb_file fuzz_wa_header fuzz_wa_network fuzz_wa_words fuzz_add_document fuzz_find
fuzz:
	scripts/install-deps --fuzz
	cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVESKOR_FUZZ=ON \
		-DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14
	cmake --build build-fuzz -j $(JOBS) --target fuzz_targets
	@set -e; mkdir -p build-fuzz/crashes build-fuzz/logs; for t in $(FUZZ_TARGETS); do \
		mkdir -p build-fuzz/corpus/$$t; \
		echo "== $$t: $(FUZZ_SECONDS) s (log: build-fuzz/logs/$$t.log)"; \
		if ! build-fuzz/bin/$$t -max_total_time=$(FUZZ_SECONDS) -timeout=30 -rss_limit_mb=2048 \
			-print_final_stats=1 -artifact_prefix=build-fuzz/crashes/$$t- \
			build-fuzz/corpus/$$t tests/fuzz/corpus/$$t > build-fuzz/logs/$$t.log 2>&1; then \
			tail -n 60 build-fuzz/logs/$$t.log; exit 1; \
		fi; \
		grep -E '^(Done|stat::new_units_added)' build-fuzz/logs/$$t.log; \
	done

# Clang's thread-safety analysis of the lock annotations: a syntax-only pass over the sources.
.PHONY: check-threads
check-threads:
	scripts/install-deps --threads
	JOBS=$(JOBS) scripts/check-threads

clean:
	rm -rf build build-asan build-tsan build-fuzz

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
