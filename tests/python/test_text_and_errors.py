"""Text at the edge (str, bytes, Latin-1) and how failures reach Python programs."""

import os
import pickle
import time

import pytest

import veskor


@pytest.fixture
def kb(tmp_path):
    kb = veskor.create(tmp_path / "text.kb")
    yield kb
    kb.close(save=False)


def test_str_and_bytes_round_trip_as_latin1(kb):
    kb.add("Größe-ß", "Übergrößen Straße")
    kb.add(b"K\xe4se", b"K\xe4seb\xf6rse")
    assert kb.find("Übergrössen Strasse", 1)[0].key == "Größe-ß"
    assert kb.find(b"K\xe4seborse", 1)[0].key == "Käse"
    assert kb.find("Käsebörse", 1) == kb.find("Käsebörse".encode("latin-1"), 1)
    kb.delete(b"Gr\xf6\xdfe-\xdf")
    assert kb.find("Übergrößen Straße", 1)[0].key == "Käse"


def test_characters_outside_latin1(kb, tmp_path):
    with pytest.raises(veskor.TextError) as raised:
        kb.add("preis", "Kaffee 5 €")
    error = raised.value
    assert str(error) == ("text: character U+20AC ('€') at position 9 is outside Latin-1 "
                          "(errors='replace' stores it as '?')")
    assert (error.argument, error.start, error.end, error.encoding) == ("text", 9, 10, "latin-1")
    assert isinstance(error, UnicodeEncodeError) and isinstance(error, ValueError) and error.status == 1
    with pytest.raises(veskor.TextError, match=r"key: character U\+1F600"):
        kb.add("smile\U0001F600", "Lachen")
    with pytest.raises(veskor.TextError, match="position 3"):
        kb.find("abc\u0100")
    assert pickle.loads(pickle.dumps(error)).message == error.message

    kb.errors = "replace"
    kb.add("preis€", "Kaffee 5 €")
    assert kb.find("Kaffee", 1)[0].key == "preis?"
    with pytest.raises(ValueError, match="errors must be 'strict' or 'replace'"):
        kb.errors = "ignore"
    assert kb.errors == "replace"
    with veskor.create(tmp_path / "lossy.kb", errors="replace") as lossy:
        assert lossy.errors == "replace"
    with pytest.raises(ValueError):
        veskor.open(tmp_path / "lossy.kb", errors="backslashreplace")


def test_bad_argument_types_and_values(kb):
    for bad in (None, 5, 1.5, ["a"], bytearray(b"a")):
        with pytest.raises(TypeError, match="must be str or bytes"):
            kb.add("k", bad)
        with pytest.raises(TypeError, match="must be str or bytes"):
            kb.add(bad, "Text")
        with pytest.raises(TypeError, match="must be str or bytes"):
            kb.find(bad)
    for text in ("Ham\0burg", b"Ham\0burg"):
        with pytest.raises(veskor.ArgumentError, match="NUL character at position 3") as raised:
            kb.find(text)
        assert raised.value.status == 1
    with pytest.raises(veskor.ArgumentError, match="key: NUL"):
        kb.add("a\0b", "Text")


def test_long_texts(kb):
    with pytest.raises(veskor.ArgumentError) as raised:
        kb.add("k" * 1025, "Hallo Welt")
    assert raised.value.status == 10
    with pytest.raises(veskor.ArgumentError) as raised:
        kb.add("k", "Wort " * 2000)  # beyond the engine's 8192 characters of entry text
    assert raised.value.status == 11
    kb.add("hamburg", "Hamburg")
    assert kb.find("Hamburg " * 150_000, 1)[0].key == "hamburg"  # a megabyte seek text


def test_errors_carry_status_message_and_location(kb):
    with pytest.raises(veskor.Error) as raised:
        kb.find("  ")
    error = raised.value
    assert (type(error), error.status) == (veskor.ArgumentError, 11)
    assert str(error) == error.message == "error: seek string invalid in veskorFindEntry()"
    assert error.location.startswith('in file "veskorAPI/veskorAPIFind.cpp" line ')
    assert repr(error) == "ArgumentError('error: seek string invalid in veskorFindEntry()')"
    copy = pickle.loads(pickle.dumps(error))
    assert (type(copy), copy.status, copy.message, copy.location) == (type(error), 11, error.message, error.location)
    assert veskor.FileError.__module__ == "veskor"


def test_missing_and_corrupt_files(tmp_path, places):
    with pytest.raises(FileNotFoundError) as raised:
        veskor.open(tmp_path / "missing.kb")
    assert isinstance(raised.value, veskor.MissingFileError) and raised.value.status == 4
    assert raised.value.message == f'Datei "{tmp_path / "missing.kb"}" kann nicht zum Lesen geöffnet werden'
    with pytest.raises(veskor.FileError) as raised:
        veskor.open(tmp_path)  # a directory
    assert isinstance(raised.value, OSError) and not isinstance(raised.value, FileNotFoundError)

    with open(places.path, "rb") as f:
        good = f.read()
    cases = {
        "tag.kb": b"XXXX" + good[4:],  # wrong tag
        "truncated.kb": good[:100],  # cut in the entry list
        "short.kb": good[:30],
        "empty.kb": b"",
    }
    for name, data in cases.items():
        (tmp_path / name).write_bytes(data)
        with pytest.raises(veskor.FormatError) as raised:
            veskor.open(tmp_path / name)
        assert isinstance(raised.value, ValueError), name
        assert raised.value.status in (6, 500004), name


def test_a_file_changed_behind_the_engines_back_is_not_overwritten(tmp_path):
    path = tmp_path / "shared.kb"
    kb = veskor.create(path)
    kb.add("a", "Apfel")
    kb.save()
    other = veskor.open(path)
    other.add("b", "Birne")
    # The engine compares modification times in seconds.
    later = time.time() + 5
    other.save()
    os.utime(path, (later, later))
    kb.add("c", "Kirsche")
    with pytest.raises(veskor.FileError) as raised:
        kb.save()
    assert raised.value.status == 4
    with pytest.raises(veskor.FileError):
        kb.close()  # saving failed: still open
    assert not kb.closed
    kb.backup(tmp_path / "rescued.kb")
    kb.close(save=False)
    other.close()
    with veskor.open(path) as saved:
        assert saved.find("Birne", 1)[0].key == "b"
        assert saved.find("Kirsche", 1)[0].key != "c"


def test_closed_objects_raise_and_never_crash(places, tmp_path):
    words = veskor.create(tmp_path / "w.kb", "words")
    places.close(save=False)
    words.close()
    calls = [
        lambda: places.find("Hamburg"), lambda: places.find_documents("Hamburg"), lambda: places.compare("x"),
        lambda: places.add("k", "t"), lambda: places.add_many([("k", "t")]), lambda: places.add_document("k", "t"),
        lambda: places.delete("k"), lambda: places.delete_document("k"), lambda: places.defragment(),
        lambda: places.save(), lambda: places.backup(tmp_path / "b.kb"), lambda: places.__enter__(),
    ]
    for call in calls:
        with pytest.raises(veskor.ClosedError) as raised:
            call()
        assert raised.value.status == 7 and raised.value.message == "the knowledge base is closed"
    live = veskor.create(tmp_path / "live.kb")
    with pytest.raises(veskor.ClosedError):
        live.find("Hamburg", words=words)
    with pytest.raises(veskor.ClosedError):
        live.add("k", "Text", words=words)
    live.close()
    places.close()
    assert places.closed and not os.path.exists(tmp_path / "b.kb")
