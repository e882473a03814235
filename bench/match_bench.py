#!/usr/bin/env python3
"""Batch matching: veskor match, find_many and veskor.dask on the German word list.

Builds a knowledge base of single entries from the German word list (356,010 words of Debian's
wngerman, as Latin-1; key = line number) and a sharded one of 4 shards of the same entries, then
runs the workload's 2,200 seek texts (n=10):

- veskor match with 1 and 2 threads: wall time of the whole run, the load alone (an empty query
  file), and the CPU time of the process, which other work on a busy machine disturbs far less;
- find_many with 1 and 2 threads, in this process (wall and process CPU time);
- veskor.dask.match on a local cluster of 1 and 2 worker processes (one thread each), on the single
  file and scatter-gather over the 4 shards: queries per second after one warm pass (which opens
  the knowledge bases on the workers), and the workers' CPU time per query.

Every result is checked against the single knowledge base's.

    PYTHONPATH=build/python /usr/bin/python3 bench/match_bench.py [--build build] [--repeat 3]
"""

from __future__ import annotations

import argparse
import logging
import os
import resource
import subprocess
import sys
import tempfile
import time

from wordListWorkload import HERE, QUERIES, WORD_LIST, load_words


def children_cpu() -> float:
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def process_cpu() -> float:
    return time.process_time()


def run_match(tool: str, kb: str, queries: str, threads: int) -> tuple[float, float, bytes]:
    """(wall seconds, CPU seconds, output) of one veskor match run."""
    cpu = children_cpu()
    start = time.perf_counter()
    result = subprocess.run([tool, "--encoding", "latin1", "match", kb, queries, "--threads", str(threads),
                             "--format", "jsonl", "--keys-only"], capture_output=True, check=True, timeout=3600)
    return time.perf_counter() - start, children_cpu() - cpu, result.stdout


def best_of(rounds: int, measure):
    """The run with the least wall time of several (a busy machine only ever adds time)."""
    return min((measure() for _ in range(rounds)), key=lambda run: run[0])


def bench_tool(tool: str, kb: str, sharded: str, queries_file: str, count: int, directory: str, rounds: int) -> None:
    empty = os.path.join(directory, "empty.txt")
    open(empty, "w").close()
    load = best_of(rounds, lambda: run_match(tool, kb, empty, 1))
    print(f"  veskor match, load alone (empty query file): {load[0]:.2f} s wall, {load[1]:.2f} s CPU")
    outputs = {}
    rates = {}
    for name, path in (("file", kb), ("4 shards", sharded)):
        for threads in (1, 2):
            wall, cpu, out = best_of(rounds, lambda: run_match(tool, path, queries_file, threads))
            outputs[name, threads] = out
            rates[name, threads] = count / (wall - load[0])
            print(f"  veskor match {name}, {threads} thread{'s' if threads > 1 else ''}: {wall:.2f} s wall "
                  f"({wall - load[0]:.2f} s after the load: {rates[name, threads]:.0f} queries/s), {cpu:.2f} s CPU "
                  f"({(cpu - load[1]) / count * 1e6:.0f} us CPU per query)")
    if len(set(outputs.values())) != 1:
        raise SystemExit("match_bench: veskor match gave different results")
    for name in ("file", "4 shards"):
        print(f"  veskor match {name}: 2 threads / 1 thread (wall, after the load) = "
              f"{rates[name, 2] / rates[name, 1]:.2f}x")


def bench_find_many(kb, queries: list[str], expected, rounds: int) -> None:
    rates = {}
    for threads in (1, 2):
        def measure():
            cpu, start = process_cpu(), time.perf_counter()
            found = kb.find_many(queries, 10, threads=threads)
            if found != expected:
                raise SystemExit("match_bench: find_many gave different results")
            return time.perf_counter() - start, process_cpu() - cpu
        wall, cpu = best_of(rounds, measure)
        rates[threads] = len(queries) / wall
        print(f"  find_many, {threads} thread{'s' if threads > 1 else ''}: {rates[threads]:.0f} queries/s wall, "
              f"{cpu / len(queries) * 1e6:.0f} us CPU per query")
    print(f"  find_many: 2 threads / 1 thread (wall) = {rates[2] / rates[1]:.2f}x")


def bench_dask(kb_path: str, sharded: str, queries: list[str], expected, repeat: int, directory: str) -> None:
    try:
        import distributed
    except ImportError:
        print("  veskor.dask: distributed is not installed; skipped")
        return
    import veskor.dask

    batch = queries * repeat
    want = expected * repeat

    def workers_cpu():
        usage = resource.getrusage(resource.RUSAGE_SELF)
        return usage.ru_utime + usage.ru_stime

    for workers in (1, 2):
        with distributed.LocalCluster(n_workers=workers, threads_per_worker=1, processes=True, host="127.0.0.1",
                                      dashboard_address=None, local_directory=directory,
                                      silence_logs=logging.ERROR) as cluster, \
                distributed.Client(cluster, timeout=300) as client:
            client.wait_for_workers(workers, timeout=300)
            for label, path, scatter in (("1 file", kb_path, False), ("4 shards, scatter-gather", sharded, True)):
                run = lambda: veskor.dask.match(batch, path, n=10, client=client, scatter=scatter, timeout=3600)
                if run() != want:  # also opens the knowledge bases on the workers
                    raise SystemExit("match_bench: veskor.dask gave different results")
                cpu = sum(client.run(workers_cpu).values())
                start = time.perf_counter()
                run()
                wall = time.perf_counter() - start
                cpu = sum(client.run(workers_cpu).values()) - cpu
                print(f"  veskor.dask {workers} worker process{'es' if workers > 1 else ''}, {label}: "
                      f"{len(batch) / wall:.0f} queries/s ({cpu / len(batch) * 1e6:.0f} us worker CPU per query)")


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(HERE, "..", "build"), help="the CMake build directory")
    parser.add_argument("--queries", default=QUERIES)
    parser.add_argument("--rounds", type=int, default=3, help="runs per figure; the fastest counts")
    parser.add_argument("--repeat", type=int, default=3, help="passes over the queries per Dask measurement")
    args, _ = parser.parse_known_args()  # make bench may pass Google Benchmark flags; they are not ours

    if not os.path.exists(WORD_LIST) or not os.path.exists(args.queries):
        print(f"match_bench: needs {WORD_LIST} (wngerman) and {args.queries}; skipped")
        return 0
    build = os.path.abspath(args.build)
    sys.path.insert(0, os.path.join(build, "python"))
    # The Dask workers are processes of their own: they find the package through the environment.
    os.environ["PYTHONPATH"] = os.pathsep.join([os.path.join(build, "python"), os.environ.get("PYTHONPATH", "")])
    import veskor

    words = load_words()
    with open(args.queries, "rb") as f:
        queries = [line.rstrip(b"\n").decode("latin-1") for line in f if line.strip()]
    print(f"match_bench: {len(words)} words, {len(queries)} queries, n=10, {os.cpu_count()} cores, "
          f"load average {os.getloadavg()[0]:.2f}")

    with tempfile.TemporaryDirectory(prefix="veskor-match-bench-") as directory:
        kb_path = os.path.join(directory, "words.kb")
        entries = [(str(i), word) for i, word in enumerate(words, 1)]
        with veskor.create(kb_path) as kb:
            kb.add_many(entries, skip_invalid=True)
        sharded = os.path.join(directory, "sharded")
        start = time.perf_counter()
        veskor.create_sharded(sharded, entries, 4, skip_invalid=True).close()
        print(f"  sharded build (4 shards, through the package): {time.perf_counter() - start:.2f} s")

        with veskor.open(kb_path) as kb:
            expected = kb.find_many(queries, 10)
            with veskor.open_sharded(sharded) as shards:
                if shards.find_many(queries, 10) != expected:
                    raise SystemExit("match_bench: the sharded knowledge base ranks differently")
            bench_find_many(kb, queries, expected, args.rounds)

        queries_file = os.path.join(directory, "queries.txt")
        with open(queries_file, "wb") as f:
            f.write(b"".join(q.encode("latin-1") + b"\n" for q in queries))
        bench_tool(os.path.join(build, "bin", "veskor"), kb_path, sharded, queries_file, len(queries), directory,
                   args.rounds)
        bench_dask(kb_path, sharded, queries, expected, args.repeat, directory)
        print(f"  (load average {os.getloadavg()[0]:.2f} at the end)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
