"""Sharded knowledge bases: one knowledge base cut into several files, searched as one.

A sharded knowledge base is a directory with ``manifest.json`` and S ordinary knowledge-base files
(each usable on its own). Shard s holds a contiguous run of the entries in the order they were
given, so merging every shard's best n hits, by falling confidence with ties to the lower shard,
gives exactly the ranking of one knowledge base holding all the entries in that order. The
``veskor shard build`` tool writes the same directories.
"""

from __future__ import annotations

import itertools
import os
from typing import Iterable, List, Optional, Sequence, Tuple

from . import _core
from ._core import DocumentHit, Hit
from ._errors import ExistingFileError, MissingFileError
from ._objects import KnowledgeBase, PathArg, Settings, Text, WordAssociator, _search_objects

__all__ = ["ShardedKnowledgeBase", "open_sharded", "create_sharded", "is_sharded"]

_MANIFEST = "manifest.json"
_KINDS = {"entries": 0, "documents": 1}
_WORDS_FILE = "words.kb"


def is_sharded(path: PathArg) -> bool:
    """True when path is a directory holding a sharded knowledge base's manifest."""
    return os.path.isdir(path) and os.path.exists(os.path.join(os.fsdecode(path), _MANIFEST))


class ShardedKnowledgeBase:
    """The shards of a sharded knowledge base, open together and searched as one.

    Made by :func:`veskor.open_sharded` or :func:`veskor.create_sharded`. Searches ask every
    shard for its best n and merge them. For knowledge bases of entries the result is exactly that
    of one knowledge base of all the entries. For documents (each kept whole in one shard) the
    documents are merged by their confidence, which each shard computes from its own sentences: a
    word's weight falls with the number of sentences it finds, and each candidate word looks at
    its best 2000 sentences, both counted per shard; a comparison picks a document's rare words by
    the shard's own entry count. So scores and order can differ from one knowledge base where a
    word is frequent. Document searches use the word knowledge base the directory brings.
    """

    __slots__ = ("_directory", "_shards", "_words", "_kind", "__weakref__")

    def __init__(self, directory: str, shards: Sequence[KnowledgeBase], words: Optional[KnowledgeBase], kind: str):
        self._directory = directory
        self._shards = tuple(shards)
        self._words = words
        self._kind = kind

    @property
    def path(self) -> str:
        """The directory's absolute name."""
        return self._directory

    @property
    def shards(self) -> Tuple[KnowledgeBase, ...]:
        """The shards in order; each is an ordinary knowledge base."""
        return self._shards

    @property
    def words(self) -> Optional[KnowledgeBase]:
        """The word knowledge base shared by the shards of documents, else None."""
        return self._words

    @property
    def kind(self) -> str:
        """"entries" or "documents"."""
        return self._kind

    @property
    def settings(self) -> Settings:
        """The settings every shard has."""
        return self._shards[0].settings

    @property
    def closed(self) -> bool:
        return all(shard.closed for shard in self._shards)

    @property
    def errors(self) -> str:
        """What a character outside Latin-1 does (see :attr:`KnowledgeBase.errors`)."""
        return self._shards[0].errors

    @errors.setter
    def errors(self, value: str) -> None:
        for shard in self._shards:
            shard.errors = value

    def __len__(self) -> int:
        """The entries of all shards (sentences in documents)."""
        return sum(len(shard) for shard in self._shards)

    def __bool__(self) -> bool:
        return True

    def __repr__(self) -> str:
        state = "closed" if self.closed else "open"
        return f"<veskor.ShardedKnowledgeBase {self._directory!r} {len(self._shards)} shards {state}>"

    def _handles(self):
        return tuple(shard._handle for shard in self._shards)

    def _words_or_own(self, words: Optional[KnowledgeBase]) -> Optional[KnowledgeBase]:
        return words if words is not None else self._words

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
        """The n best entries over all shards, as :meth:`KnowledgeBase.find` gives them."""
        return self.find_many((text,), n, threads=1, words=words, associator=associator, associate=associate,
                              split=split)[0]

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
        """:meth:`find` for every text, on ``threads`` threads without the GIL (see :meth:`KnowledgeBase.find_many`)."""
        objects = _search_objects(self._words_or_own(words), associator, associate)
        return _core.find_many(self._handles(), texts, n, *objects, 1 if split else 0, threads)

    def find_documents(
        self,
        text: Text,
        n: int = 10,
        *,
        words: Optional[KnowledgeBase] = None,
        associator: Optional[WordAssociator] = None,
        associate: Optional[bool] = None,
        split: bool = False,
    ) -> List[DocumentHit]:
        """The n best documents over all shards, merged by confidence (see the class's note)."""
        words = self._words_or_own(words)
        lists = [shard.find_documents(text, n, words=words, associator=associator, associate=associate, split=split)
                 for shard in self._shards]
        return _core.merge_hits(lists, n)

    def compare(self, text: Text, n: int = 10, *, words: Optional[KnowledgeBase] = None) -> List[DocumentHit]:
        """The n documents most similar to a whole text over all shards, merged by confidence."""
        words = self._words_or_own(words)
        return _core.merge_hits([shard.compare(text, n, words=words) for shard in self._shards], n)

    def save(self) -> None:
        """Saves every shard (and the word knowledge base) that changed."""
        for kb in self._all():
            kb.save()

    def close(self, *, save: bool = True) -> None:
        """Closes every shard and the word knowledge base, saving those that changed unless save=False."""
        first = None
        for kb in self._all():
            try:
                kb.close(save=save)
            except BaseException as error:  # the others are closed all the same
                kb.close(save=False)
                first = first or error
        if first is not None:
            raise first

    def _all(self) -> List[KnowledgeBase]:
        return [*self._shards, *([self._words] if self._words is not None else [])]

    def __enter__(self) -> ShardedKnowledgeBase:
        return self

    def __exit__(self, exc_type, exc, tb) -> None:
        self.close(save=exc_type is None)


def open_sharded(directory: PathArg, *, errors: str = "strict") -> ShardedKnowledgeBase:
    """Opens a sharded knowledge base (a directory made by :func:`create_sharded` or ``veskor shard build``).

    Each shard's settings must be those the manifest names (else :class:`veskor.FormatError`).
    """
    from . import open as open_kb

    path = os.path.abspath(os.fsdecode(directory))
    if not os.path.exists(os.path.join(path, _MANIFEST)):
        raise MissingFileError(f"{path}: no sharded knowledge base ({_MANIFEST} is missing)", 4)
    manifest = _core.read_shard_manifest(path)
    opened: List[KnowledgeBase] = []
    try:
        for file, _, _ in manifest["shards"]:
            opened.append(open_kb(os.path.join(path, file), errors=errors))
            if _settings_tuple(opened[-1].settings) != tuple(manifest["settings"]):
                from ._errors import FormatError

                raise FormatError(f"{opened[-1].path}: its settings differ from those of {_MANIFEST}", 6)
        words = open_kb(os.path.join(path, manifest["words"])) if manifest["words"] else None
    except BaseException:
        for kb in opened:
            kb.close(save=False)
        raise
    return ShardedKnowledgeBase(path, opened, words, manifest["kind"])


def create_sharded(
    directory: PathArg,
    items: Iterable[Tuple[Text, Text]],
    shards: int,
    kind: str = "entries",
    *,
    store_texts: bool = False,
    phonetic: bool = False,
    overwrite: bool = False,
    errors: str = "strict",
    skip_invalid: bool = False,
) -> ShardedKnowledgeBase:
    """Builds a sharded knowledge base from (key, text) pairs and opens it.

    The pairs are cut into ``shards`` contiguous runs of nearly equal length, in order. A sized
    collection is read as it goes; any other iterable is first read into a list, since the cut
    needs the count. kind "documents" takes (key, document text) pairs and keeps each document
    whole in one shard, with one word knowledge base for all shards. store_texts and phonetic as
    for :func:`veskor.create`; skip_invalid as for :meth:`KnowledgeBase.add_many`. The directory
    is made if missing; one that is not empty raises :class:`veskor.ExistingFileError`, unless it
    holds a sharded knowledge base and overwrite is true. A failed build leaves no shard behind.
    """
    from . import create as create_kb
    from . import open as open_kb

    if kind not in _KINDS:
        raise ValueError(f"kind must be 'entries' or 'documents', not {kind!r}")
    if not isinstance(shards, int) or isinstance(shards, bool) or not 1 <= shards <= 4096:
        raise ValueError(f"shards must be an int from 1 to 4096, not {shards!r}")
    path = os.path.abspath(os.fsdecode(directory))
    made_directory = _prepare_directory(path, overwrite)
    if not hasattr(items, "__len__"):
        items = list(items)
    total = len(items)  # type: ignore[arg-type]
    iterator = iter(items)
    created: List[str] = []
    opened: List[KnowledgeBase] = []
    try:
        words = None
        if kind == "documents":
            created.append(os.path.join(path, _WORDS_FILE))
            words = create_kb(created[-1], "words", overwrite=True)
            opened.append(words)
        shard_entries = []
        for s in range(shards):
            name = _core.shard_file_name(s, shards)
            created.append(os.path.join(path, name))
            kb = create_kb(created[-1], kind, store_texts=store_texts, phonetic=phonetic, overwrite=True,
                           errors=errors)
            opened.append(kb)
            run = itertools.islice(iterator, _core.shard_start(total, shards, s + 1) - _core.shard_start(total, shards, s))
            if kind == "entries":
                kb.add_many(run, skip_invalid=skip_invalid)
                documents = None
            else:
                documents = 0
                for key, text in run:
                    kb.add_document(key, text, words=words)
                    documents += 1
            kb.save()
            shard_entries.append((name, len(kb), documents))
        if words is not None:
            words.save()
        settings = opened[-1].settings
        _core.write_shard_manifest(path, {
            "kind": kind,
            "settings": _settings_tuple(settings),
            "shards": shard_entries,
            "words": _WORDS_FILE if words is not None else None,
        })
    except BaseException:
        for kb in opened:
            kb.close(save=False)
        for file in created:
            try:
                os.unlink(file)
            except OSError:
                pass
        if made_directory:
            try:
                os.rmdir(path)
            except OSError:
                pass
        raise
    shard_objects = [kb for kb in opened if kb is not words]
    return ShardedKnowledgeBase(path, shard_objects, words, kind)


def _settings_tuple(settings: Settings) -> Tuple[int, int, int, int]:
    return (settings.language, settings.encoding, settings.entry_information, settings.feature_type)


def _prepare_directory(path: str, overwrite: bool) -> bool:
    """Makes the directory or empties a sharded one to be replaced; True when it was made."""
    if not os.path.exists(path):
        os.makedirs(path)
        return True
    if not os.path.isdir(path):
        raise ExistingFileError(f"{path}: exists and is not a directory", 4)
    if not os.listdir(path):
        return False
    if not is_sharded(path):
        raise ExistingFileError(f"{path}: not empty and no sharded knowledge base; nothing replaced", 4)
    if not overwrite:
        raise ExistingFileError(f"{path}: holds a sharded knowledge base (overwrite=True replaces it)", 4)
    manifest = _core.read_shard_manifest(path)
    os.unlink(os.path.join(path, _MANIFEST))
    for file in [shard[0] for shard in manifest["shards"]] + ([manifest["words"]] if manifest["words"] else []):
        try:
            os.unlink(os.path.join(path, file))
        except FileNotFoundError:
            pass
    return False
