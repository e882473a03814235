"""Knowledge bases of single entries: building, searching, changing, saving, closing."""

import pickle

import pytest
from conftest import run_tool, sample_entries, word

import veskor

QUERIES = ["Rotenburg Tauber", "Göttingen Adlerweg", "Schillerstrasse Hamburg", "Kaffe Bohnen", "münchen"]


def test_sample_data_gives_the_same_hits_as_the_tool(places, tmp_path):
    for query in QUERIES:
        expected = run_tool("find", "places.kb", query, "-n", "7", "--json", cwd=tmp_path)["hits"]
        hits = places.find(query, n=7)
        assert [(h.key, h.confidence) for h in hits] == [(e["key"], e["confidence"]) for e in expected], query


def test_hits_are_named_tuples_best_first(places):
    hits = places.find("Rotenburg Tauber", 3)
    assert [h.key for h in hits] == ["ort105", "ort104", "ort014"]
    assert hits[0].confidence == 0.8125
    key, confidence = hits[0]
    assert (key, confidence) == ("ort105", 0.8125)
    assert hits[0].text is None
    assert repr(hits[0]) == "veskor.Hit(key='ort105', confidence=0.8125)"
    assert pickle.loads(pickle.dumps(hits)) == hits
    assert isinstance(pickle.loads(pickle.dumps(hits[0])), veskor.Hit)
    assert veskor.Hit(("k", 0.5)).text is None
    assert all(a.confidence >= b.confidence for a, b in zip(hits, hits[1:]))


def test_number_of_hits_is_checked_by_the_engine(places):
    assert len(places.find("Hamburg", n=500)) > 3
    for n in (0, -1, 501, 2**40, -(2**70)):
        with pytest.raises(veskor.ArgumentError) as raised:
            places.find("Hamburg", n=n)
        assert raised.value.status == 12
        assert str(raised.value) == (
            "error: pMaxNumberHits <= 0 || pMaxNumberHits > VESKOR_MAX_NUMBER_RESULTS in veskorFindEntry()")
    for n in (None, 2.0, "3"):
        with pytest.raises(TypeError, match="n must be int"):
            places.find("Hamburg", n=n)


def test_empty_and_blank_seek_texts(places, tmp_path):
    for text in ("", "   ", "\t\n"):
        with pytest.raises(veskor.ArgumentError) as raised:
            places.find(text)
        assert raised.value.status == 11
        assert raised.value.message == "error: seek string invalid in veskorFindEntry()"
        assert raised.value.location.startswith('in file "veskorAPI/veskorAPIFind.cpp" line ')
    with veskor.create(tmp_path / "empty.kb") as empty:
        assert empty.find("Hamburg") == []


def test_add_delete_and_the_key_ending_rule(tmp_path):
    with veskor.create(tmp_path / "keys.kb") as kb:
        kb.add("12", "Zwölfapostel")
        kb.add("112", "Zwölfender")
        kb.add("120", "Zwölffingerdarm")
        kb.delete("12")
        keys = {h.key for h in kb.find("Zwölf", n=10)}
        assert keys == {"120"}
        kb.delete("nothing-like-it")


def test_add_many_takes_any_iterable_and_counts(tmp_path):
    kb = veskor.create(tmp_path / "many.kb")
    pairs = sample_entries()
    assert kb.add_many(iter(pairs[:100])) == 100
    assert kb.add_many([list(p) for p in pairs[100:]]) == len(pairs) - 100
    assert kb.add_many([]) == 0
    assert kb.add_many((f"g{i}", word(i)) for i in range(9000)) == 9000
    assert kb.find(word(8999), 1)[0].key == "g8999"
    kb.close(save=False)


def test_add_many_stops_at_a_bad_item_and_keeps_the_ones_before(tmp_path):
    kb = veskor.create(tmp_path / "many.kb")
    pairs = [(f"k{i}", word(i)) for i in range(5000)]
    pairs[4500] = ("bad", "...")  # no word left for the engine
    with pytest.raises(veskor.ArgumentError) as raised:
        kb.add_many(pairs)
    assert raised.value.status == 11
    assert "while adding item 4500 of the iterable" in raised.value.__notes__
    assert kb.find(word(4499), 1)[0].key == "k4499"
    assert kb.find(word(4501), 1)[0].key != "k4501"

    assert kb.add_many(pairs, skip_invalid=True) == 4999

    def generator():
        yield ("g1", "Erster Eintrag")
        raise RuntimeError("source failed")

    with pytest.raises(RuntimeError, match="source failed"):
        kb.add_many(generator())
    assert kb.find("Erster Eintrag", 1)[0].key == "g1"
    for bad, error in ([("only-key",)], TypeError), (["ab"], TypeError), ([("k", None)], TypeError), (5, TypeError):
        with pytest.raises(error):
            kb.add_many(bad)
    kb.close(save=False)


def test_with_block_saves_on_success_and_discards_on_exception(tmp_path):
    path = tmp_path / "block.kb"
    with veskor.create(path) as kb:
        kb.add("a", "Apfelbaum")
    assert kb.closed
    with pytest.raises(KeyError):
        with veskor.open(path) as kb:
            kb.add("b", "Birnbaum")
            raise KeyError("stop")
    assert kb.closed
    with veskor.open(path) as kb:
        assert [h.key for h in kb.find("Apfelbaum Birnbaum", 5)][:1] == ["a"]
        assert "b" not in {h.key for h in kb.find("Birnbaum", 5)}


def test_close_saves_changes_unless_told_not_to(tmp_path):
    path = tmp_path / "close.kb"
    kb = veskor.create(path)
    kb.add("a", "Apfelbaum")
    kb.close()
    kb.close()  # closing again does nothing
    kb = veskor.open(path)
    kb.add("b", "Birnbaum")
    kb.close(save=False)
    kb = veskor.open(path)
    assert {h.key for h in kb.find("Apfelbaum Birnbaum", 5)} == {"a"}
    kb.close()


def test_backup_and_defragment(places, tmp_path):
    places.delete("ort105")
    places.defragment()
    with pytest.raises(veskor.FileError) as raised:
        places.backup(tmp_path / "no-such-directory" / "copy.kb")
    assert raised.value.status == 4
    places.backup(tmp_path / "copy.kb")
    copy = veskor.open(tmp_path / "copy.kb")
    assert "ort105" not in {h.key for h in copy.find("Rothenburg ob der Tauber", 5)}
    copy.close()
    # The backup leaves the knowledge base bound to its own file.
    places.save()
    again = veskor.open(places.path)
    assert "ort105" not in {h.key for h in again.find("Rothenburg ob der Tauber", 5)}
    again.close()


def test_create_kinds_and_existing_files(tmp_path):
    with pytest.raises(ValueError, match="kind must be one of entries, documents, words"):
        veskor.create(tmp_path / "x.kb", kind="sentences")
    veskor.create(tmp_path / "x.kb").close()
    with pytest.raises(veskor.ExistingFileError) as raised:
        veskor.create(tmp_path / "x.kb", "words")
    assert isinstance(raised.value, FileExistsError) and raised.value.status == 4
    kb = veskor.create(str(tmp_path / "x.kb"), overwrite=True)
    with pytest.raises(veskor.KindError) as raised:
        kb.add_document("d", "Ein Satz. Noch ein Satz.")
    assert raised.value.status == 18 and isinstance(raised.value, TypeError)
    kb.close()
    veskor.remove(tmp_path / "x.kb")
    assert not (tmp_path / "x.kb").exists()
    with pytest.raises(veskor.MissingFileError):
        veskor.remove(tmp_path / "x.kb")
    with pytest.raises(ValueError, match="errors must be"):
        veskor.create(tmp_path / "y.kb", errors="ignore")
    assert not (tmp_path / "y.kb").exists()


def test_paths_are_absolute_and_relative_ones_follow_the_working_directory(tmp_path, monkeypatch):
    kb = veskor.create("relative.kb")
    assert kb.path == str(tmp_path / "relative.kb")
    assert repr(kb) == f"<veskor.KnowledgeBase {str(tmp_path / 'relative.kb')!r} open>"
    (tmp_path / "elsewhere").mkdir()
    monkeypatch.chdir(tmp_path / "elsewhere")
    kb.add("a", "Apfel")
    kb.close()  # still saves to the file it was opened from
    with veskor.open(tmp_path / "relative.kb") as again:
        assert again.find("Apfel")[0].key == "a"
    assert repr(kb).endswith(" closed>")
    with pytest.raises(veskor.FileError, match="ending in white space"):
        veskor.open("places.kb ")
    with pytest.raises(veskor.ArgumentError, match="NUL"):
        veskor.open("pla\0ces.kb")
    with pytest.raises(TypeError, match="path must be str, bytes or os.PathLike"):
        veskor.open(None)
