"""Batch searches, sharded knowledge bases, and what the package reads from the engine's extensions:
stored texts on hits, settings and entry counts, counted deletes."""

import json
import os
import threading

import pytest
from conftest import run_tool, sample_documents, sample_entries

import veskor

QUERIES = ["Rotenburg Tauber", "Göttingen Adlerweg", "Schillerstrasse Hamburg", "Kaffe Bohnen", "münchen", "Bad Tölz"]


def tie_entries(count):
    """Entries whose texts repeat all through the list, so that equal confidences meet across shards."""
    words = ["Berg", "Tal", "Haus", "Weg", "Feld", "Bach", "Wald", "See", "Dorf", "Mühle", "Hof", "Brücke"]
    entries = []
    for i in range(count):
        text = f"{words[i % 12]} {words[(i // 12) % 12]}" + (f" {words[(i // 7) % 12]}" if i % 5 == 0 else "")
        entries.append((f"e{i}", text))
    queries = [f"{a} {b}" for a in words for b in words[::3]] + [w[:-1] for w in words] + [w + w[-1] for w in words]
    return entries, queries


def test_find_many_gives_what_find_gives_in_order(places):
    queries = QUERIES * 40
    expected = [places.find(q, n=4) for q in queries]
    for threads in (None, 1, 3):
        assert places.find_many(queries, 4, threads=threads) == expected
    assert places.find_many(iter(QUERIES), 2) == [places.find(q, 2) for q in QUERIES]
    assert places.find_many([], 5) == []
    assert places.find_many([q.encode("latin-1") for q in QUERIES], 3) == [places.find(q, 3) for q in QUERIES]


def test_find_many_fails_as_find_does_and_names_the_query(places):
    with pytest.raises(veskor.ArgumentError) as raised:
        places.find_many(["Hamburg", "Bremen", "   ", ""], 3, threads=2)
    assert raised.value.status == 11
    assert raised.value.message == "error: seek string invalid in veskorFindEntry()"
    assert raised.value.__notes__ == ["while searching query 2"]
    with pytest.raises(veskor.ArgumentError) as raised:
        places.find_many(["Hamburg"], 501)
    assert raised.value.status == 12
    with pytest.raises(TypeError) as raised:
        places.find_many(["Hamburg", 7], 3)
    assert raised.value.__notes__ == ["while reading query 1"]
    with pytest.raises(veskor.TextError):
        places.find_many(["Hamburg", "Zürich ☃"], 3)
    for threads in (0, -2):
        with pytest.raises(ValueError, match="threads must be at least 1"):
            places.find_many(["Hamburg"], threads=threads)
    with pytest.raises(TypeError, match="threads must be int"):
        places.find_many(["Hamburg"], threads=1.5)
    places.close(save=False)
    with pytest.raises(veskor.ClosedError):
        places.find_many(["Hamburg"])


def test_find_many_runs_beside_other_threads_changing_the_base(places):
    # Searches of a batch and adds of another thread meet under the engine's locks, not the GIL.
    stop = threading.Event()
    added = []

    def add():
        i = 0
        while not stop.is_set():
            places.add(f"neu{i}", f"Neustadt {i}")
            added.append(i)
            i += 1

    adder = threading.Thread(target=add)
    adder.start()
    try:
        for _ in range(5):
            results = places.find_many(QUERIES * 20, 3, threads=3)
            assert [hits[0].key for hits in results[: len(QUERIES)]] == [places.find(q, 1)[0].key for q in QUERIES]
    finally:
        stop.set()
        adder.join(timeout=30)
    assert len(places) == len(sample_entries()) + len(added)


def test_hits_carry_stored_texts_where_the_base_keeps_them(tmp_path, places):
    assert places.find("Bad Tölz", 1)[0].text is None
    with veskor.create(tmp_path / "texts.kb", store_texts=True) as kb:
        kb.add_many(sample_entries())
        hit = kb.find("Bad Tölz", 1)[0]
        assert (hit.key, hit.text) == ("ort004", "_BAD_TÖLZ_BAYERN_")
        assert kb.find_many(["Bad Tölz"], 1)[0][0].text == "_BAD_TÖLZ_BAYERN_"
        assert kb.settings.stores_texts and not kb.settings.phonetic
    words = veskor.create(tmp_path / "w.kb", "words")
    docs = veskor.create(tmp_path / "d.kb", "documents", store_texts=True)
    docs.add_document("d1", "Das Haus ist rot. Der Garten ist grün.", words=words)
    sentence = docs.find_documents("Garten", words=words)[0].sentences[0]
    assert sentence.text == "DER GARTEN IST GRÜN"
    # Without stored texts a document's sentences have none.
    plain = veskor.create(tmp_path / "p.kb", "documents")
    plain.add_document("d1", "Das Haus ist rot.", words=words)
    assert plain.find_documents("Haus", words=words)[0].sentences[0].text is None
    for kb in (words, docs, plain):
        kb.close(save=False)


def test_settings_length_and_counted_deletes(tmp_path, places):
    assert len(places) == 348
    assert places.settings == veskor.Settings("entries", 1, 6, 2, 1)
    assert places.kind == "entries"
    assert places.delete("ort105") == 1
    assert places.delete("ort105") == 0
    assert len(places) == 347
    # The engine's rule: the first occurrence of the pattern ends the key (so ort055 stays).
    assert places.delete("5") == sum(1 for key, _ in sample_entries() if key.find("5") == len(key) - 1) - 1
    with veskor.create(tmp_path / "phon.kb", phonetic=True) as phonetic:
        assert phonetic.settings.phonetic
        phonetic.add("m1", "Meier")
        assert phonetic.find("Mayer", 1)[0].confidence == 1.0
    with veskor.create(tmp_path / "docs.kb", "documents") as docs:
        assert (docs.kind, len(docs)) == ("documents", 0)
        docs.add_document("d1", "Ein Satz. Noch ein Satz. Und ein dritter.")
        assert len(docs) == 3
        assert docs.delete_document("d1") == 3
        assert len(docs) == 0
    with veskor.create(tmp_path / "words.kb", "words") as words:
        assert words.settings == veskor.Settings("words", 1, 6, 11, 1)
        assert words.settings.stores_texts
    assert run_tool("info", tmp_path / "phon.kb", "--json", cwd=tmp_path)["encoding"] == 7


def test_sharded_base_ranks_exactly_as_one_base(tmp_path):
    entries, queries = tie_entries(1500)
    with veskor.create(tmp_path / "one.kb", store_texts=True) as one:
        one.add_many(entries)
        expected = one.find_many(queries, 10)
    # Equal confidences of one query from different shards: the case the merge must get right.
    shard_of = {key: i * 5 // len(entries) for i, (key, _) in enumerate(entries)}
    assert sum(a.confidence == b.confidence and shard_of[a.key] != shard_of[b.key]
               for hits in expected for a, b in zip(hits, hits[1:])) > 50
    for shards in (1, 5):
        # A generator is read into a list first; a list is read as it goes.
        source = (pair for pair in entries) if shards == 5 else entries
        with veskor.create_sharded(tmp_path / f"s{shards}", source, shards, store_texts=True) as sharded:
            assert len(sharded.shards) == shards and len(sharded) == len(entries)
            assert sharded.find_many(queries, 10, threads=2) == expected
            assert [sharded.find(q, 10) for q in queries[:20]] == expected[:20]
            assert sharded.find(queries[0], 10)[0].text is not None
    with veskor.open_sharded(tmp_path / "s5") as reopened:
        assert reopened.find_many(queries, 3) == [hits[:3] for hits in expected]
        assert [len(kb) for kb in reopened.shards] == [300] * 5
        assert reopened.settings.stores_texts


def test_tool_and_package_read_each_others_sharded_bases(tmp_path):
    entries, queries = tie_entries(600)
    (tmp_path / "entries.tsv").write_text("".join(f"{k}\t{t}\n" for k, t in entries), encoding="utf-8")
    (tmp_path / "queries.txt").write_text("".join(q + "\n" for q in queries), encoding="utf-8")
    run_tool("shard", "build", "by-tool", "entries.tsv", "--shards", "3", cwd=tmp_path)
    veskor.create_sharded(tmp_path / "by-package", entries, 3).close()
    assert ((tmp_path / "by-tool" / "manifest.json").read_bytes()
            == (tmp_path / "by-package" / "manifest.json").read_bytes())
    for name in ("shard-0.kb", "shard-2.kb"):
        assert (tmp_path / "by-tool" / name).read_bytes() == (tmp_path / "by-package" / name).read_bytes()
    tool_lines = run_tool("match", "by-package", "queries.txt", "--format", "jsonl", cwd=tmp_path).splitlines()
    with veskor.open_sharded(tmp_path / "by-tool") as sharded:
        found = sharded.find_many(queries, 10)
    assert len(tool_lines) == len(queries)
    for line, hits in zip(tool_lines, found):
        assert [(h["key"], h["confidence"]) for h in json.loads(line)["hits"]] == [(h.key, h.confidence) for h in hits]


def test_sharded_documents_merge_by_confidence(tmp_path):
    documents = sample_documents()
    with veskor.create_sharded(tmp_path / "docs", documents, 3, "documents") as sharded:
        assert sharded.words is not None and sharded.kind == "documents"
        assert sum(len(kb) for kb in sharded.shards) == len(sharded)
        for query in ("Honig Bienen", "Wasser", "Stadt Geschichte"):
            lists = [kb.find_documents(query, 4, words=sharded.words) for kb in sharded.shards]
            everything = sorted((hit for hits in lists for hit in hits), key=lambda hit: -hit.confidence)
            merged = sharded.find_documents(query, 4)
            assert merged and merged == everything[:4], query
            # The tool answers the same for the directory.
            tool = run_tool("find-doc", "docs", query, "-n", "4", "--json", cwd=tmp_path)["documents"]
            assert [(d["key"], d["confidence"]) for d in tool] == [(d.key, d.confidence) for d in merged]
        compared = sharded.compare(documents[0][1], 3)
        assert compared[0].key == documents[0][0]


def test_sharded_directories_are_made_and_opened_with_care(tmp_path):
    entries = sample_entries()
    with pytest.raises(veskor.MissingFileError):
        veskor.open_sharded(tmp_path / "nothing")
    (tmp_path / "taken").mkdir()
    (tmp_path / "taken" / "notes.txt").write_text("mine")
    with pytest.raises(veskor.ExistingFileError):
        veskor.create_sharded(tmp_path / "taken", entries, 2, overwrite=True)
    assert (tmp_path / "taken" / "notes.txt").read_text() == "mine"
    veskor.create_sharded(tmp_path / "s", entries, 3).close()
    with pytest.raises(veskor.ExistingFileError, match="overwrite=True"):
        veskor.create_sharded(tmp_path / "s", entries, 2)
    veskor.create_sharded(tmp_path / "s", entries, 2, overwrite=True).close()
    assert sorted(os.listdir(tmp_path / "s")) == ["manifest.json", "shard-0.kb", "shard-1.kb"]
    for bad in (0, 4097, "2", True):
        with pytest.raises(ValueError):
            veskor.create_sharded(tmp_path / "x", entries, bad)
    with pytest.raises(ValueError, match="kind"):
        veskor.create_sharded(tmp_path / "x", entries, 2, "words")

    # A build that fails leaves no shard behind (and removes the directory it made).
    with pytest.raises(veskor.ArgumentError):
        veskor.create_sharded(tmp_path / "failed", entries[:10] + [("k", "   ")] + entries[10:], 3)
    assert not (tmp_path / "failed").exists()

    # Manifests are checked: a file outside the directory, a shard whose settings differ.
    manifest = (tmp_path / "s" / "manifest.json").read_text()
    (tmp_path / "s" / "manifest.json").write_text(manifest.replace("shard-1.kb", "../elsewhere.kb"))
    with pytest.raises(veskor.FormatError, match="not a plain file name"):
        veskor.open_sharded(tmp_path / "s")
    (tmp_path / "s" / "manifest.json").write_text(manifest)
    veskor.create(tmp_path / "s" / "shard-1.kb", phonetic=True, overwrite=True).close()
    with pytest.raises(veskor.FormatError, match="settings differ"):
        veskor.open_sharded(tmp_path / "s")
    (tmp_path / "s" / "manifest.json").write_text("{")
    with pytest.raises(veskor.FormatError, match="not valid JSON"):
        veskor.open_sharded(tmp_path / "s")


def test_merge_hits_ranks_as_one_list():
    a = [veskor.Hit(("a0", 0.5)), veskor.Hit(("a1", 0.25))]
    b = [veskor.Hit(("b0", 1.0)), veskor.Hit(("b1", 0.5))]
    merge = veskor._core.merge_hits
    assert [h.key for h in merge([a, b], 10)] == ["b0", "a0", "b1", "a1"]
    assert [h.key for h in merge([a, b], 2)] == ["b0", "a0"]
    assert merge([], 3) == [] and merge([[], []], 3) == []
