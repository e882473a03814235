"""Knowledge bases and word associators as Python objects."""

from __future__ import annotations

import os
import threading
import warnings
from typing import Iterable, List, NamedTuple, Optional, Tuple, Union

from . import _core
from ._core import DocumentHit, Hit

Text = Union[str, bytes]
PathArg = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]

__all__ = ["KnowledgeBase", "WordAssociator", "Settings"]

_KIND_NAMES = {0: "other", 1: "entries", 2: "documents", 3: "words"}


class Settings(NamedTuple):
    """A knowledge base's settings, as its file keeps them.

    kind: "entries", "documents", "words" (the kinds :func:`veskor.create` makes) or "other";
    language: 1 for the German rules; encoding: flags (1 phonetic codes, 2 upper-casing, 4 "_"
    framing); entry_information: flags (1 texts stored, 2 key required, 4 value required,
    8 syntactic features required); feature_type: 1 character groups, 2 words.
    """

    kind: str
    language: int
    encoding: int
    entry_information: int
    feature_type: int

    @property
    def stores_texts(self) -> bool:
        """Whether hits carry the entries' stored texts (``Hit.text``)."""
        return bool(self.entry_information & 1)

    @property
    def phonetic(self) -> bool:
        """Whether features are cut from German phonetic codes."""
        return bool(self.encoding & 1)


def _settings(info: tuple) -> Settings:
    language, encoding, entry_information, feature_type, kind, _ = info
    return Settings(_KIND_NAMES.get(kind, "other"), language, encoding, entry_information, feature_type)


class _OpenObject:
    __slots__ = ("_handle", "__weakref__")

    def __init__(self, handle: _core.OpenObject) -> None:
        self._handle = handle

    @property
    def path(self) -> str:
        """The absolute name of the file the object was loaded from (and is saved to)."""
        return os.fsdecode(self._handle.path)

    @property
    def closed(self) -> bool:
        """True once the object is closed; using it then raises :class:`veskor.ClosedError`."""
        return self._handle.closed

    def save(self) -> None:
        """Writes the object to its own file (safely: a failed save leaves the old file).

        Raises :class:`veskor.FileError` when the file was changed since it was loaded or last saved.
        """
        self._handle.save()

    def backup(self, path: PathArg) -> None:
        """Writes the object to another file; it stays bound to its own file."""
        self._handle.backup(path)

    def __enter__(self):
        self._handle.require_open()
        return self

    def __bool__(self) -> bool:
        # True even when empty: truth must not change once len() counts entries.
        return True

    def __repr__(self) -> str:
        state = "closed" if self._handle.closed else "open"
        return f"<veskor.{type(self).__name__} {self.path!r} {state}>"

    def __del__(self) -> None:
        handle = getattr(self, "_handle", None)
        if handle is None or handle.closed:
            return
        try:
            warnings.warn(f"{self!r} was never closed", ResourceWarning, source=self)
        except Exception:  # the interpreter may be shutting down
            pass
        try:
            handle.close(True)
        except BaseException:
            handle.close(False)  # the save failed: the object goes all the same
            raise



_RANKINGS = {"documented": 0, "length-aware": 1}


def _ranking(name: str) -> int:
    """The engine's number for a ranking's name."""
    try:
        return _RANKINGS[name]
    except (KeyError, TypeError):
        raise ValueError(f"ranking must be 'documented' or 'length-aware', not {name!r}") from None

class KnowledgeBase(_OpenObject):
    """A knowledge base open in the engine: entries, documents or words, kept in one file.

    Made by :func:`veskor.create` or :func:`veskor.open`. Any thread may use it; searches run in
    parallel, changes wait for running searches. Changes reach the file with :meth:`save`, and
    with :meth:`close` or the end of a ``with`` block, which save what changed. Texts are str
    (converted to the engine's Latin-1) or bytes (taken as Latin-1).
    """

    __slots__ = ()

    def __len__(self) -> int:
        """The entries a search can find (deleted ones no longer count); sentences in documents."""
        return self._handle.info()[5]

    @property
    def settings(self) -> Settings:
        """The knowledge base's kind and settings."""
        return _settings(self._handle.info())

    @property
    def kind(self) -> str:
        """"entries", "documents", "words" or "other" (see :class:`Settings`)."""
        return self.settings.kind

    @property
    def errors(self) -> str:
        """What a character outside Latin-1 does: "strict" raises TextError, "replace" stores '?'."""
        return self._handle.errors

    @errors.setter
    def errors(self, value: str) -> None:
        self._handle.errors = value

    def add(self, key: Text, text: Text, *, words: Optional[KnowledgeBase] = None) -> None:
        """Adds one entry. ``words``, a word knowledge base, also collects the text's words."""
        self._handle.add(key, text, _handle_or_none(words, "words"))

    def add_many(
        self,
        pairs: Iterable[Tuple[Text, Text]],
        *,
        words: Optional[KnowledgeBase] = None,
        skip_invalid: bool = False,
    ) -> int:
        """Adds every (key, text) pair of an iterable, in order, and returns how many were added.

        The engine works without the GIL for whole runs of pairs. When one pair fails, the pairs
        before it stay added and the exception's note names the failing item. With skip_invalid,
        pairs the engine refuses as invalid (a text with no word left, a key or text too long) are
        passed over instead and not counted.
        """
        return self._handle.add_many(pairs, _handle_or_none(words, "words"), skip_invalid)

    def add_document(self, key: Text, text: Text, *, words: Optional[KnowledgeBase] = None) -> None:
        """Adds a document, one entry per sentence (a knowledge base made with kind="documents").

        ``words``, a word knowledge base, collects the document's words for later searches.
        """
        self._handle.add_document(key, text, _handle_or_none(words, "words"))

    def delete(self, key: Text) -> int:
        """Deletes the entry with this key and every entry whose key ends with it (12 also takes 112).

        Returns how many entries went (the entry count before less the count after: entries that
        other threads add or delete in between are counted with them).
        """
        return self._handle.delete(key)

    def delete_document(self, key: Text) -> int:
        """Deletes every sentence of the document added under this key; returns how many went."""
        return self._handle.delete_document(key)

    def defragment(self) -> None:
        """Compacts the knowledge base after deletions."""
        self._handle.defragment()

    def find(
        self,
        text: Text,
        n: int = 10,
        *,
        words: Optional[KnowledgeBase] = None,
        associator: Optional[WordAssociator] = None,
        associate: Optional[bool] = None,
        split: bool = False,
    ) -> List[Hit]:
        """The (at most n, 1 to 500) entries most similar to text, best first, as Hit(key, confidence).

        ``Hit.text`` is the entry's stored text in the form the search compares (upper-cased, "_"
        for blanks in knowledge bases of entries), where the knowledge base keeps texts
        (``settings.stores_texts``: word knowledge bases, and those created with store_texts=True);
        otherwise None. In a knowledge base of documents the entries are sentences, keyed
        ``document?sentence?offset?length``. ``words`` supplies similar words to a document search
        (without it, every word is searched as it is); ``associator`` adds associated words
        (``associate`` defaults to whether an associator is given) and ``split`` splits compounds.
        """
        if words is None and associator is None:  # the common case, kept short
            return self._handle.find(text, n, _empty_words_handle or _open_empty_words(), None,
                                     1 if associate else 0, 1 if split else 0)
        return self._handle.find(text, n, *_search_objects(words, associator, associate), 1 if split else 0)

    def find_many(
        self,
        texts: Iterable[Text],
        n: int = 10,
        *,
        threads: Optional[int] = None,
        words: Optional[KnowledgeBase] = None,
        associator: Optional[WordAssociator] = None,
        associate: Optional[bool] = None,
        split: bool = False,
    ) -> List[List[Hit]]:
        """:meth:`find` for every text of an iterable: one list of hits per text, in order.

        The texts are searched on ``threads`` threads (None: one per core) without the GIL for the
        whole batch. When a text fails (a blank one, say), the first failing text in input order
        raises, its note naming its position, and nothing is returned.
        """
        return _core.find_many((self._handle,), texts, n, *_search_objects(words, associator, associate),
                               1 if split else 0, threads)

    def find_documents(
        self,
        text: Text,
        n: int = 10,
        *,
        words: Optional[KnowledgeBase] = None,
        associator: Optional[WordAssociator] = None,
        associate: Optional[bool] = None,
        split: bool = False,
        ranking: str = "documented",
    ) -> List[DocumentHit]:
        """The (at most n) documents whose sentences best match text, best first.

        Each is DocumentHit(key, confidence, sentences) with its matching sentences as
        Sentence(offset, length, score); ``Sentence.text`` is the sentence entry's stored text
        where the knowledge base keeps texts, else None. The options are those of :meth:`find`.
        ``ranking`` is "documented" (the default) or "length-aware": rare words weigh more and a
        long document must match more often than a short one.
        """
        return self._handle.find_documents(text, n, *_search_objects(words, associator, associate), 1 if split else 0,
                                           _ranking(ranking))

    def compare(self, text: Text, n: int = 10, *, words: Optional[KnowledgeBase] = None,
                ranking: str = "documented") -> List[DocumentHit]:
        """The (at most n) documents most similar to a whole text, best first, as in :meth:`find_documents`."""
        return self._handle.compare(text, n, _words_handle(words), _ranking(ranking))

    def close(self, *, save: bool = True) -> None:
        """Closes the knowledge base, saving it first if it changed (unless save=False).

        A failing save raises and leaves it open. Closing again does nothing. In a process made by
        os.fork the knowledge bases opened by the parent are not saved here: the parent owns their
        files (call :meth:`save` to write one all the same).
        """
        self._handle.close(save)

    def __enter__(self) -> KnowledgeBase:
        return super().__enter__()

    def __exit__(self, exc_type, exc, tb) -> None:
        """Saves (if changed) and closes; after an exception it closes without saving."""
        self._handle.close(exc_type is None)


class WordAssociator(_OpenObject):
    """A word associator open in the engine, made by :func:`veskor.open_word_associator`.

    Document searches given it as ``associator`` also look for words it associates with the
    seek text's words.
    """

    __slots__ = ()

    def close(self) -> None:
        """Closes the word associator. Closing again does nothing."""
        self._handle.close(False)

    def __enter__(self) -> WordAssociator:
        return super().__enter__()

    def __exit__(self, exc_type, exc, tb) -> None:
        """Closes the word associator."""
        self._handle.close(False)


def _handle_or_none(kb: Optional[KnowledgeBase], what: str):
    if kb is None:
        return None
    if not isinstance(kb, KnowledgeBase):
        raise TypeError(f"{what} must be a KnowledgeBase or None, not {type(kb).__name__}")
    return kb._handle


def _words_handle(words: Optional[KnowledgeBase]):
    if words is None:
        return _empty_words_handle or _open_empty_words()
    return _handle_or_none(words, "words")


def _search_objects(words, associator, associate):
    """The word knowledge base, word associator and association mode of a search."""
    wa = None
    if associator is not None:
        if not isinstance(associator, WordAssociator):
            raise TypeError(f"associator must be a WordAssociator or None, not {type(associator).__name__}")
        wa = associator._handle
    if associate is None:
        associate = associator is not None
    return _words_handle(words), wa, 1 if associate else 0


# The engine needs a word knowledge base in every search. Without one from the caller, searches
# get an empty one: every seek word is then searched as it is. Its file is removed at once; it is
# never changed, so never saved. It stays open until interpreter exit (see _forget_empty_words).
_empty_words_lock = threading.Lock()
_empty_words_handle: Optional[_core.KnowledgeBaseHandle] = None


def _forget_empty_words() -> None:
    """Drops the empty word knowledge base once exit has closed it."""
    global _empty_words_handle
    _empty_words_handle = None


def _new_empty_words_lock() -> None:
    # A thread of the parent may hold the lock while the engine makes the empty base, and no such
    # thread exists in a forked child.
    global _empty_words_lock
    _empty_words_lock = threading.Lock()


os.register_at_fork(after_in_child=_new_empty_words_lock)


def _open_empty_words() -> _core.KnowledgeBaseHandle:
    global _empty_words_handle
    with _empty_words_lock:
        if _empty_words_handle is None:
            directory = _private_directory()
            path = os.path.join(directory, "words.kb")
            try:
                _core.create_kb_file(path, 2)
                _empty_words_handle = _core.KnowledgeBaseHandle.open(path)
            finally:
                for leftover in os.listdir(directory):
                    os.unlink(os.path.join(directory, leftover))
                os.rmdir(directory)
        return _empty_words_handle


def _private_directory() -> str:
    # Not the tempfile module: its first use takes a lock while it writes test files, and a child
    # forked meanwhile by another thread would wait for that lock for ever.
    base = next((os.environ[v] for v in ("TMPDIR", "TEMP", "TMP") if os.environ.get(v)), "/tmp")
    while True:
        directory = os.path.join(base, f"veskor-{os.getpid()}-{os.urandom(6).hex()}")
        try:
            os.mkdir(directory, 0o700)
            return directory
        except FileExistsError:
            continue
