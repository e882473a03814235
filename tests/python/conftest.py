"""Shared fixtures of the Python package's tests.

ctest runs the suite with PYTHONPATH at build/python and VESKOR_BIN_DIR at the built programs
(the veskor tool, and api_write_wa, which writes a small word associator). Every test works in
its own temporary directory.
"""

import json
import os
import subprocess
import sys
from pathlib import Path

import pytest

import veskor

SOURCE_DIR = Path(os.environ.get("VESKOR_SOURCE_DIR", Path(__file__).resolve().parents[2]))
SAMPLE_DIR = SOURCE_DIR / "data" / "sample"
BIN_DIR = Path(os.environ.get("VESKOR_BIN_DIR", SOURCE_DIR / "build" / "bin"))


def sample_entries():
    """The sample's (key, text) pairs, in file order."""
    with open(SAMPLE_DIR / "entries.tsv", encoding="utf-8") as f:
        return [tuple(line.rstrip("\n").split("\t", 1)) for line in f if "\t" in line]


def sample_documents():
    """The sample documents as (key, text), in the order the tool imports them."""
    return [(p.stem, p.read_text(encoding="utf-8")) for p in sorted((SAMPLE_DIR / "docs").glob("*.txt"))]


def word(number):
    """A made-up word of its own for each number (the engine ignores digits)."""
    letters = ""
    while True:
        number, digit = divmod(number, 20)
        letters += "bcdfghjklmnpqrstvwxz"[digit]
        if number == 0:
            return "Wort" + letters + "a"


def run_tool(*args, cwd):
    """Runs the veskor tool; its JSON output parsed when --json is among the arguments."""
    result = subprocess.run([str(BIN_DIR / "veskor"), *map(str, args)], cwd=cwd, capture_output=True,
                            text=True, timeout=60, check=True)
    return json.loads(result.stdout) if "--json" in args else result.stdout


def run_python(code, cwd, timeout=60):
    """Runs code in a fresh interpreter with this one's module path; returns the completed process."""
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(p for p in sys.path if p))
    return subprocess.run([sys.executable, "-c", code], cwd=cwd, env=env, capture_output=True, text=True,
                          timeout=timeout)


@pytest.fixture(autouse=True)
def in_tmp_path(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    return tmp_path


@pytest.fixture
def places(tmp_path):
    """A knowledge base of the sample entries, saved, open."""
    kb = veskor.create(tmp_path / "places.kb")
    kb.add_many(sample_entries())
    kb.save()
    yield kb
    kb.close(save=False)


@pytest.fixture
def documents(tmp_path):
    """(documents, words): the sample documents with their word knowledge base, saved, open."""
    docs = veskor.create(tmp_path / "docs.kb", "documents")
    words = veskor.create(tmp_path / "words.kb", "words")
    for key, text in sample_documents():
        docs.add_document(key, text, words=words)
    docs.save()
    words.save()
    yield docs, words
    docs.close(save=False)
    words.close(save=False)


@pytest.fixture
def associator_file(tmp_path):
    """A word associator that associates "apfel" with "birne" (written by api_write_wa)."""
    path = tmp_path / "assoc" / "fruit.wa"
    subprocess.run([str(BIN_DIR / "api_write_wa"), str(path)], check=True, timeout=60)
    return path
