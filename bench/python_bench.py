#!/usr/bin/env python3
"""What the Python package costs per query, and how its searches scale with threads.

Builds a knowledge base of single entries from the German word list (356,010 words of Debian's
wngerman, as Latin-1; key = line number) through the package, then times find(query, n=10) for
each of the workload's 2,200 seek texts, through Python and through a plain C loop over
veskorFindEntry in the same process and thread (build/lib/libpython_bench_c.so), in alternating
passes after one untimed pass. Times are the thread's CPU time, which other processes on a busy
machine disturb far less than wall-clock time; the Python overhead is the difference of the two
medians. The same comparison on a knowledge base of the first 2,000 words, where the search itself
is short, shows the overhead more precisely. Last, the queries from 1 and from 2 Python threads,
and for comparison the C loop from 1 and 2 threads (wall-clock throughput; the load average is
printed, since other work on the machine takes cores from both alike).

    PYTHONPATH=build/python /usr/bin/python3 bench/python_bench.py [--build build] [--rounds 7]
"""

from __future__ import annotations

import argparse
import ctypes
import os
import statistics
import sys
import tempfile
import threading
import time

from wordListWorkload import HERE, QUERIES, WORD_LIST, load_words


def load_queries(path: str) -> list[bytes]:
    with open(path, "rb") as f:
        return [line.rstrip(b"\n") for line in f if line.strip()]


def c_pass_function(build: str):
    library = ctypes.CDLL(os.path.join(build, "lib", "libpython_bench_c.so"))
    function = library.veskorBenchFindPass
    function.restype = ctypes.c_double
    function.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.POINTER(ctypes.c_char_p), ctypes.c_int,
                         ctypes.c_int, ctypes.POINTER(ctypes.c_long)]
    return function


def python_pass(kb, queries: list[str], n: int, clock=time.thread_time) -> tuple[float, int]:
    find = kb.find
    hits = 0
    start = clock()
    for query in queries:
        hits += len(find(query, n))
    return clock() - start, hits


def compare_passes(kb, c_pass, raw_queries, queries, n: int, rounds: int):
    """Median CPU seconds per query in C and in Python over alternating passes, and their spread."""
    from veskor import _objects

    python_pass(kb, queries, n)  # warm, untimed
    words_name = (_objects._empty_words_handle or _objects._open_empty_words()).name.encode()
    kb_name = kb._handle.name.encode()
    c_queries = (ctypes.c_char_p * len(raw_queries))(*raw_queries)
    c_times, py_times = [], []
    for _ in range(rounds):
        c_hits = ctypes.c_long(0)
        seconds = c_pass(words_name, kb_name, c_queries, len(raw_queries), n, ctypes.byref(c_hits))
        if seconds < 0:
            raise SystemExit(f"python_bench: C pass failed with status {-seconds:.0f}")
        c_times.append(seconds / len(queries))
        seconds, py_hits = python_pass(kb, queries, n)
        py_times.append(seconds / len(queries))
        if py_hits != c_hits.value:
            raise SystemExit(f"python_bench: Python found {py_hits} hits, C {c_hits.value}")
    differences = [p - c for p, c in zip(py_times, c_times)]
    return statistics.median(c_times), statistics.median(py_times), min(differences), max(differences)


def report(label: str, figures, rounds: int) -> None:
    c, py, low, high = figures
    print(f"  {label}: per query, median of {rounds} alternating passes (thread CPU time): C {c * 1e6:.1f} us, "
          f"Python {py * 1e6:.1f} us; Python adds {(py - c) * 1e6:.2f} us "
          f"(per-round differences {low * 1e6:.2f} .. {high * 1e6:.2f} us)")


def threaded_rate(work_pass, count: int, threads: int, passes: int) -> float:
    """Queries per second with each thread running its own passes over all count queries."""
    barrier = threading.Barrier(threads + 1)

    def work():
        barrier.wait()
        for _ in range(passes):
            work_pass()

    workers = [threading.Thread(target=work) for _ in range(threads)]
    for worker in workers:
        worker.start()
    barrier.wait()
    start = time.perf_counter()
    for worker in workers:
        worker.join()
    return threads * passes * count / (time.perf_counter() - start)


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(HERE, "..", "build"), help="the CMake build directory")
    parser.add_argument("--queries", default=QUERIES)
    parser.add_argument("--rounds", type=int, default=7, help="alternating C and Python passes")
    parser.add_argument("--thread-passes", type=int, default=2, help="passes per thread in the thread test")
    parser.add_argument("-n", type=int, default=10, help="hits per query")
    args, _ = parser.parse_known_args()  # make bench may pass Google Benchmark flags; they are not ours

    if not os.path.exists(WORD_LIST) or not os.path.exists(args.queries):
        print(f"python_bench: needs {WORD_LIST} (wngerman) and {args.queries}; skipped")
        return 0
    sys.path.insert(0, os.path.join(os.path.abspath(args.build), "python"))
    import veskor
    from veskor import _objects

    words = load_words()
    raw_queries = load_queries(args.queries)
    queries = [q.decode("latin-1") for q in raw_queries]
    c_pass = c_pass_function(os.path.abspath(args.build))
    print(f"python_bench: {len(words)} words, {len(queries)} queries, n={args.n}")

    with tempfile.TemporaryDirectory(prefix="veskor-python-bench-") as directory:
        small = os.path.join(directory, "small.kb")
        with veskor.create(small) as kb:
            kb.add_many(((str(i), word) for i, word in enumerate(words[:2000], 1)), skip_invalid=True)
        with veskor.open(small) as kb:
            report("first 2,000 words", compare_passes(kb, c_pass, raw_queries, queries, args.n, args.rounds),
                   args.rounds)

        path = os.path.join(directory, "words.kb")
        start = time.perf_counter()
        with veskor.create(path) as kb:
            # A few words of the list are no words to the engine (a single letter): skipped.
            kb.add_many(((str(i), word) for i, word in enumerate(words, 1)), skip_invalid=True)
            added = time.perf_counter()
            kb.save()
        built = time.perf_counter()
        with veskor.open(path) as kb:
            loaded = time.perf_counter()
            print(f"  build through add_many: {added - start:.2f} s adds + {built - added:.2f} s save; "
                  f"load {loaded - built:.2f} s")
            report("whole list", compare_passes(kb, c_pass, raw_queries, queries, args.n, args.rounds), args.rounds)

            # The same scaling of the C loop (ctypes calls it without the GIL) tells what the machine
            # allows meanwhile.
            load = os.getloadavg()[0]
            c_queries = (ctypes.c_char_p * len(raw_queries))(*raw_queries)
            words_name = (_objects._empty_words_handle or _objects._open_empty_words()).name.encode()
            kb_name = kb._handle.name.encode()

            def c_work():
                c_pass(words_name, kb_name, c_queries, len(raw_queries), args.n, ctypes.byref(ctypes.c_long(0)))

            def py_work():
                python_pass(kb, queries, args.n, time.perf_counter)

            rates = {}
            for name, work in (("Python", py_work), ("C", c_work)):
                for threads in (1, 2):
                    rates[name, threads] = threaded_rate(work, len(queries), threads, args.thread_passes)
            for name in ("Python", "C"):
                one, two = rates[name, 1], rates[name, 2]
                print(f"  {name} threads (wall clock): 1 thread {one:.0f} queries/s, 2 threads {two:.0f} queries/s: "
                      f"{two / one:.2f}x")
            print(f"  ({os.cpu_count()} cores, load average {load:.2f} before the thread test)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
