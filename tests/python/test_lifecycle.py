"""The engine's lifecycle around a program: interpreter exit, garbage collection, fork.

Each case runs in an interpreter of its own, since exit and fork concern the whole process.
"""

import textwrap

from conftest import run_python

import veskor

def python(code, cwd, **kwargs):
    """Runs code, which may use os, sys, threading, gc and atexit; veskor is imported where it says."""
    code = textwrap.dedent(code)
    if "import veskor" not in code:
        code = "import veskor\n" + code
    result = run_python("import os, sys, threading, gc, atexit\n" + code, cwd, **kwargs)
    assert result.returncode == 0, result.stderr
    return result


def keys(path, text):
    with veskor.open(path) as kb:
        return {hit.key for hit in kb.find(text, 10)}


def test_exit_saves_what_was_changed_and_left_open(tmp_path):
    python("""
        kept = veskor.create("kept.kb")
        kept.add("a", "Apfelbaum")
        unchanged = veskor.create("unchanged.kb")
        mtime = os.stat("unchanged.kb").st_mtime_ns
        with open("mtime", "w") as f:
            f.write(str(mtime))
    """, tmp_path)
    assert keys(tmp_path / "kept.kb", "Apfelbaum") == {"a"}
    # Nothing changed: the file is left as it was.
    assert str((tmp_path / "unchanged.kb").stat().st_mtime_ns) == (tmp_path / "mtime").read_text()


def test_a_failing_save_at_exit_is_reported_and_the_others_are_saved(tmp_path):
    result = run_python(textwrap.dedent("""
        import os, time
        import veskor
        first = veskor.create("first.kb")
        first.add("a", "Apfelbaum")
        later = time.time() + 5
        os.utime("first.kb", (later, later))    # changed behind the engine's back
        second = veskor.create("second.kb")
        second.add("b", "Birnbaum")
    """), tmp_path)
    assert "veskor.FileError" in result.stderr
    assert keys(tmp_path / "second.kb", "Birnbaum") == {"b"}
    assert keys(tmp_path / "first.kb", "Apfelbaum") == set()


def test_a_collected_knowledge_base_is_saved_and_warned_about(tmp_path):
    result = python("""
        import warnings
        warnings.simplefilter("always", ResourceWarning)
        kb = veskor.create("collected.kb")
        kb.add("b", "Birnbaum")
        del kb
        gc.collect()
        print("collected")
    """, tmp_path)
    assert "ResourceWarning: <veskor.KnowledgeBase" in result.stderr and "was never closed" in result.stderr
    assert keys(tmp_path / "collected.kb", "Birnbaum") == {"b"}


def test_use_after_exit_shut_the_engine_down_raises(tmp_path):
    # Exit handlers run last registered first: this one, registered before the package is imported,
    # runs after the package's.
    result = python("""
        def late():
            try:
                kb.find("Hamburg")
            except veskor.ClosedError as error:
                print("late:", type(error).__name__, error.status)
            try:
                veskor.open("late.kb")
            except veskor.ClosedError as error:
                print("open:", error.status, error)
        atexit.register(late)
        import veskor
        kb = veskor.create("late.kb")
        kb.add("h", "Hamburg")
    """, tmp_path)
    assert "late: ClosedError" in result.stdout
    assert "open: 3 the engine was shut down at interpreter exit" in result.stdout


def test_exit_while_daemon_threads_search(tmp_path):
    result = python("""
        kb = veskor.create("busy.kb")
        kb.add_many((f"k{i}", f"Eintrag {w}") for i, w in enumerate(["Hamburg", "Bremen", "Kiel"] * 50))
        started = threading.Event()
        def search():
            while True:
                kb.find("Hamborg Kiel", 5)
                started.set()
        for _ in range(3):
            threading.Thread(target=search, daemon=True).start()
        started.wait(30)
        print("leaving")
    """, tmp_path)
    assert result.stdout == "leaving\n"


def test_a_forked_child_searches_but_never_saves_what_it_inherited(tmp_path):
    veskor.create(tmp_path / "shared.kb").close()
    python("""
        kb = veskor.open("shared.kb")
        kb.add("p", "Pflaumenbaum")           # unsaved in the parent
        stop = threading.Event()
        def search():                          # forks happen while this thread searches
            while not stop.is_set():
                kb.find("Pflaume", 3)
        searcher = threading.Thread(target=search)
        searcher.start()
        for round in range(5):
            pid = os.fork()
            if pid == 0:
                code = 0 if kb.find("Pflaumenbaum", 1)[0].key == "p" else 1
                kb.add("c", "Kirschbaum")     # the child's change stays in the child
                kb.close()                    # inherited: not saved here
                other = veskor.create(f"child{round}.kb")
                other.add("x", "Kindeintrag")
                sys.exit(code)                # exit handlers run; the child's own base is saved
            _, status = os.waitpid(pid, 0)
            assert os.waitstatus_to_exitcode(status) == 0, status
        stop.set()
        searcher.join()
        kb.save()                             # the file was not touched by a child
        kb.close()
    """, tmp_path, timeout=120)
    assert keys(tmp_path / "shared.kb", "Pflaumenbaum Kirschbaum") == {"p"}
    assert keys(tmp_path / "child4.kb", "Kindeintrag") == {"x"}
