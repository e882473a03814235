"""Threads: parallel searches beside changes, errors kept per thread, connections of ended threads."""

import threading

import pytest
from conftest import sample_entries, word

import veskor


def run_threads(targets, timeout=120):
    """Runs the functions in threads of their own; raises the first exception one of them raised."""
    failures = []

    def guarded(target):
        try:
            target()
        except BaseException as error:  # handed to the main thread
            failures.append(error)

    threads = [threading.Thread(target=guarded, args=(t,)) for t in targets]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join(timeout)
        assert not thread.is_alive(), "a thread did not finish in time"
    if failures:
        raise failures[0]


def test_four_threads_search_while_one_adds(tmp_path):
    kb = veskor.create(tmp_path / "busy.kb")
    kb.add_many((f"alt{i}", word(i)) for i in range(1000))
    # Each entry's own text has every seek feature in it (confidence 1); entries added later can at
    # best tie, and ties go to the entry added first: the best hits cannot change.
    expected = {word(i): kb.find(word(i), 3) for i in range(1000)}
    assert all(hits[0].confidence == 1.0 for hits in expected.values())
    added = [(f"neu{i}", word(i)) for i in range(1000, 4000)]
    adding = threading.Event()
    adding.set()
    passes = []

    def add():
        try:
            for key, text in added[:1500]:
                kb.add(key, text)
            kb.add_many(added[1500:])
        finally:
            adding.clear()

    def search():
        done = 0
        while adding.is_set() or done < 2:
            for text, hits in expected.items():
                found = kb.find(text, 3)
                assert found[0] == hits[0], text
            done += 1
        passes.append(done)

    run_threads([add] + [search] * 4)
    assert len(passes) == 4
    for key, text in added[::97]:
        assert kb.find(text, 1)[0].key == key
    kb.close(save=False)


def test_each_thread_sees_its_own_errors(places):
    def failing(call, status, message, rounds=300):
        def run():
            for _ in range(rounds):
                with pytest.raises(veskor.Error) as raised:
                    call()
                assert (raised.value.status, raised.value.message) == (status, message)
        return run

    run_threads([
        failing(lambda: places.find("   "), 11, "error: seek string invalid in veskorFindEntry()"),
        failing(lambda: places.find("Hamburg", 0), 12,
                "error: pMaxNumberHits <= 0 || pMaxNumberHits > VESKOR_MAX_NUMBER_RESULTS in veskorFindEntry()"),
        failing(lambda: places.find_documents("Hamburg"), 18,
                "invalid feature type of akb in kbase_seekFileSorted()"),
        lambda: [places.find("Hamburg", 5) for _ in range(300)],
    ])


def test_threads_that_end_give_their_connection_back(places):
    # The engine has 32,768 connection identifiers: a connection kept by every ended thread would
    # run out before this loop ends.
    batch = 16
    for _ in range(32_768 // batch + 8):
        run_threads([lambda: places.find("Hamburg", 1)] * batch)


def test_closing_while_other_threads_search(tmp_path):
    kb = veskor.create(tmp_path / "closing.kb")
    kb.add_many(sample_entries())
    started = threading.Barrier(4)
    outcomes = []

    def search():
        started.wait()
        while True:
            try:
                assert kb.find("Rotenburg Tauber", 1)[0].key == "ort105"
            except veskor.ClosedError:
                outcomes.append("closed")
                return

    def close():
        started.wait()
        kb.close()

    run_threads([search, search, search, close])
    assert outcomes == ["closed"] * 3 and kb.closed
