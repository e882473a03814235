"""Knowledge bases of documents: adding, finding and comparing, word knowledge bases, associators."""

import pickle
import subprocess

import pytest
from conftest import BIN_DIR, SAMPLE_DIR, run_tool, sample_documents

import veskor


def tool_documents(*args, cwd):
    found = run_tool(*args, "--json", cwd=cwd)["documents"]
    return [(d["key"], d["confidence"], [(s["offset"], s["length"], s["score"]) for s in d["sentences"]])
            for d in found]


def as_tuples(hits):
    return [(h.key, h.confidence, [tuple(s) for s in h.sentences]) for h in hits]


def test_sample_documents_give_the_same_results_as_the_tool(documents, tmp_path):
    docs, words = documents
    for query in ("Honig ernten", "Reifen flicken", "Zug Verspätung Fahrkarte"):
        expected = tool_documents("find-doc", "docs.kb", query, "--wkb", "words.kb", "-n", "4", cwd=tmp_path)
        assert as_tuples(docs.find_documents(query, n=4, words=words)) == expected, query
        sentences = run_tool("find", "docs.kb", query, "--wkb", "words.kb", "-n", "5", "--json", cwd=tmp_path)
        assert [(h.key, h.confidence) for h in docs.find(query, 5, words=words)] == [
            (s["key"], s["confidence"]) for s in sentences["hits"]]
    text = (SAMPLE_DIR / "compare" / "entkalken.txt").read_text(encoding="utf-8")
    expected = tool_documents("compare", "docs.kb", SAMPLE_DIR / "compare" / "entkalken.txt", "--wkb", "words.kb",
                              "-n", "3", cwd=tmp_path)
    assert as_tuples(docs.compare(text, n=3, words=words)) == expected
    # Without a word knowledge base both search every word unchanged.
    assert as_tuples(docs.find_documents("Honig ernten", 3)) == tool_documents(
        "find-doc", "docs.kb", "Honig ernten", "-n", "3", cwd=tmp_path)


def test_ranking_option_reaches_find_documents_and_compare(documents, tmp_path):
    docs, words = documents
    query = "Honig erntne"
    expected = tool_documents("find-doc", "docs.kb", query, "--wkb", "words.kb", "-n", "4", "--ranking",
                              "length-aware", cwd=tmp_path)
    assert as_tuples(docs.find_documents(query, n=4, words=words, ranking="length-aware")) == expected
    assert expected[0][0] == "bienen"
    assert docs.find_documents(query, n=4, words=words, ranking="documented") == docs.find_documents(
        query, n=4, words=words)
    text = (SAMPLE_DIR / "compare" / "entkalken.txt").read_text(encoding="utf-8")
    expected = tool_documents("compare", "docs.kb", SAMPLE_DIR / "compare" / "entkalken.txt", "-n", "3",
                              "--ranking", "length-aware", cwd=tmp_path)
    assert as_tuples(docs.compare(text, n=3, ranking="length-aware")) == expected
    for wrong in ("bm25", None, 1):
        with pytest.raises(ValueError):
            docs.find_documents(query, ranking=wrong)
        with pytest.raises(ValueError):
            docs.compare(text, ranking=wrong)


def test_sentences_address_the_text_that_was_added(documents):
    docs, words = documents
    texts = dict(sample_documents())
    hits = docs.find_documents("Honig ernten", n=1, words=words)
    best = hits[0]
    assert best.key == "bienen"
    assert isinstance(best.sentences, tuple) and all(isinstance(s, veskor.Sentence) for s in best.sentences)
    first = best.sentences[0]
    assert texts["bienen"][first.offset:first.offset + first.length].strip() == (
        "Aus dem Nektar entsteht im Stock der Honig.")
    assert 0 < first.score <= 100 and first.text is None
    assert pickle.loads(pickle.dumps(hits)) == hits


def test_document_operations_need_a_documents_base(places, documents):
    docs, words = documents
    for call in (lambda: places.find_documents("Hamburg"), lambda: places.compare("Hamburg liegt im Norden."),
                 lambda: places.add_document("d", "Ein Satz."), lambda: places.delete_document("d")):
        with pytest.raises(veskor.KindError) as raised:
            call()
        assert raised.value.status == 18
    with pytest.raises(veskor.ArgumentError) as raised:
        docs.compare("   ", words=words)
    assert raised.value.message == "error: text of document invalid in veskorCompareDocument()"
    with pytest.raises(TypeError, match="words must be a KnowledgeBase or None, not str"):
        docs.find_documents("Honig", words="words.kb")


def test_delete_document_takes_every_sentence_and_no_other_document(tmp_path):
    with veskor.create(tmp_path / "d.kb", "documents") as docs:
        docs.add_document("D7", "Der Hafen liegt still. Ein Kran hebt Kisten.")
        docs.add_document("D70", "Im Hafen hebt ein Kran die Kisten.")
        assert {h.key for h in docs.find_documents("Hafen Kran Kisten")} == {"D7", "D70"}
        docs.delete_document("D7")
        assert [h.key for h in docs.find_documents("Hafen Kran Kisten")] == ["D70"]


@pytest.fixture
def vehicles(tmp_path):
    docs = veskor.create(tmp_path / "vehicles.kb", "documents")
    words = veskor.create(tmp_path / "vehicle-words.kb", "words")
    for key, text in [("D1", "Das Zebra steht. Das Zebra schläft."), ("D2", "Der Wolf heult. Der Tiger jagt."),
                      ("D3", "Ein Auto steht. Der Wagen rollt."), ("D4", "Der Autowagen rollt.")]:
        docs.add_document(key, text, words=words)
    path = tmp_path / "assoc" / "auto.wa"
    subprocess.run([str(BIN_DIR / "api_write_wa"), str(path), "_AUTO_", "_WAGEN_"], check=True, timeout=60)
    wa = veskor.open_word_associator(path)
    yield docs, words, wa
    for obj in (docs, words, wa):
        obj.close()


def test_a_word_associator_widens_document_searches(vehicles):
    docs, words, wa = vehicles
    plain = docs.find_documents("Auto", words=words)
    assert [(h.key, len(h.sentences)) for h in plain] == [("D3", 1), ("D4", 1)]
    widened = docs.find_documents("Auto", words=words, associator=wa)
    assert widened[0].key == "D3" and [(s.offset, s.length) for s in widened[0].sentences] == [(0, 15), (15, 17)]
    assert docs.find_documents("Auto", words=words, associator=wa, associate=False) == plain
    assert docs.find_documents("Auto", words=words, associator=wa, associate=True) == widened
    # Compound splitting takes effect together with associations only.
    assert docs.find_documents("Autowagen", words=words, split=True) == docs.find_documents("Autowagen", words=words)
    split = docs.find_documents("Autowagen", words=words, associator=wa, split=True)
    assert split[0].key == "D4" and split[1].key == "D3"
    with pytest.raises(veskor.ArgumentError, match=r"pWAName == NULL in veskorFindDocument\(\)"):
        docs.find_documents("Auto", words=words, associate=True)
    with pytest.raises(TypeError, match="associator must be a WordAssociator"):
        docs.find_documents("Auto", associator=words)


def test_word_associator_files(vehicles, tmp_path):
    docs, words, wa = vehicles
    assert repr(wa) == f"<veskor.WordAssociator {str(tmp_path / 'assoc' / 'auto.wa')!r} open>"
    wa.save()
    wa.backup(tmp_path / "copy.wa")
    with veskor.open_word_associator(tmp_path / "copy.wa") as copy:
        assert docs.find_documents("Auto", words=words, associator=copy) == docs.find_documents(
            "Auto", words=words, associator=wa)
    assert copy.closed
    with pytest.raises(veskor.ClosedError) as raised:
        docs.find_documents("Auto", words=words, associator=copy)
    assert raised.value.status == 19
    with pytest.raises(veskor.MissingFileError):
        veskor.open_word_associator(tmp_path / "none.wa")
    (tmp_path / "bad.wa").write_bytes(b"WALT\x01\x00\x00\x00")
    with pytest.raises(veskor.Error) as raised:
        veskor.open_word_associator(tmp_path / "bad.wa")
    assert raised.value.status != 0


def test_adding_entries_collects_their_words(tmp_path):
    with veskor.create(tmp_path / "e.kb") as kb, veskor.create(tmp_path / "w.kb", "words") as words:
        kb.add("k1", "Honigbiene Wabe", words=words)
        kb.add_many([("k2", "Imkerei")], words=words)
        kb.add("k3", "Blütenstaub")
        assert words.find("Honigbiene", 1)[0].confidence == 1.0
        assert words.find("Imkerei", 1)[0].confidence == 1.0
        assert words.find("Blütenstaub", 1)[0].confidence < 1.0  # added without the word base
