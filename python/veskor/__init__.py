"""Veskor: fuzzy text retrieval for Python programs.

Knowledge bases keep short texts under keys; a misspelt, reordered or partial seek text finds
its entries, ranked by a confidence in (0, 1]. Documents are stored one entry per sentence and
searched or compared as a whole, helped by a word knowledge base and a word associator::

    import veskor
    with veskor.create("places.kb") as places:
        places.add("ort105", "Rothenburg ob der Tauber, Bayern")
        for hit in places.find("Rotenburg Tauber", n=3):
            print(hit.key, hit.confidence)

The engine is started on first use and shut down at interpreter exit; each thread gets its own
connection to it, and searches run without the GIL, in parallel.
"""

from __future__ import annotations

import atexit
import os as _os

from . import _core, _errors, _objects
from ._core import DocumentHit, Hit, Sentence
from ._errors import (
    ArgumentError,
    ClosedError,
    Error,
    ExistingFileError,
    FileError,
    FormatError,
    KindError,
    MissingFileError,
    OutOfMemoryError,
    TextError,
)
from ._objects import KnowledgeBase, PathArg, Settings, WordAssociator
from ._sharded import ShardedKnowledgeBase, create_sharded, open_sharded

__version__ = "0.1.0"

#: The largest number of hits a search may ask for.
MAX_HITS: int = _core.MAX_HITS

KINDS = ("entries", "documents", "words")

# Not "open": a star import must not hide the built-in open().
__all__ = [
    "create",
    "create_sharded",
    "open_sharded",
    "open_word_associator",
    "remove",
    "KnowledgeBase",
    "ShardedKnowledgeBase",
    "Settings",
    "WordAssociator",
    "Hit",
    "DocumentHit",
    "Sentence",
    "MAX_HITS",
    "KINDS",
    *_errors.__all__,
]


def create(
    path: PathArg,
    kind: str = "entries",
    *,
    store_texts: bool = False,
    phonetic: bool = False,
    overwrite: bool = False,
    errors: str = "strict",
) -> KnowledgeBase:
    """Creates an empty knowledge-base file and opens it.

    kind: "entries" (short texts found by their character groups), "documents" (sentences of
    documents, found by words) or "words" (a word knowledge base for document searches).
    store_texts: keep each entry's text, so that hits carry it (``Hit.text``, ``Sentence.text``),
    in the form the search compares (upper-cased; "_" for blanks in knowledge bases of entries);
    word knowledge bases always keep their words. phonetic: compare German phonetic codes, so that
    names spelt as they sound are found.
    An existing file raises :class:`ExistingFileError` unless overwrite is true.
    errors: see :func:`open`.
    """
    try:
        code = KINDS.index(kind)
    except ValueError:
        raise ValueError(f"kind must be one of {', '.join(KINDS)}, not {kind!r}") from None
    if errors not in ("strict", "replace"):
        raise ValueError(f"errors must be 'strict' or 'replace', not {errors!r}")
    if not overwrite and _os.path.lexists(path):
        raise ExistingFileError(f"{_os.fsdecode(path)}: file exists (overwrite=True replaces it)", 4)
    _core.create_kb_file(path, code, bool(store_texts), bool(phonetic))
    return open(path, errors=errors)


def open(path: PathArg, *, errors: str = "strict") -> KnowledgeBase:  # noqa: A001 - the package's verb
    """Opens a knowledge-base file.

    errors: what a character outside Latin-1 in a str argument does: "strict" raises
    :class:`TextError` naming it and its position, "replace" stores it as '?'.
    """
    handle = _missing_file_checked(_core.KnowledgeBaseHandle.open, path)
    try:
        handle.errors = errors
    except BaseException:
        handle.close(False)
        raise
    return KnowledgeBase(handle)


def open_word_associator(path: PathArg) -> WordAssociator:
    """Opens a word associator (the name of its main file, as the engine's tools write it)."""
    return WordAssociator(_missing_file_checked(_core.WordAssociatorHandle.open, path))


def remove(path: PathArg) -> None:
    """Deletes a knowledge-base file (refusing anything that is not a file)."""
    _missing_file_checked(_core.remove_kb_file, path)


def _missing_file_checked(call, path):
    # The engine reports a missing file as any other file error; Python programs look for
    # FileNotFoundError.
    try:
        return call(path)
    except FileError as error:
        if type(error) is FileError and not _os.path.lexists(path):
            raise MissingFileError(error.message, error.status, error.location) from None
        raise


def _shutdown() -> None:
    # Saves what this process changed and left open, then cleans the engine up.
    try:
        _core.close_all()
    finally:
        _objects._forget_empty_words()
        _core.shutdown()


atexit.register(_shutdown)
# A fork waits for engine calls in flight, so the child never inherits a lock held by a thread it
# does not have.
_os.register_at_fork(
    before=_core.before_fork,
    after_in_parent=_core.after_fork_in_parent,
    after_in_child=_core.after_fork_in_child,
)

