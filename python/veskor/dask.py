"""Batch matching on a Dask cluster.

:func:`match` searches every query of a Dask bag, a Dask DataFrame column (a Dask Series) or a
plain sequence in a knowledge base, on the cluster's workers. Each worker opens the knowledge base
(a file, or a sharded directory) at its first task and keeps it open for later ones, so a worker
loads it once. With ``scatter=True`` the shards of a sharded knowledge base are spread over the
workers instead: every worker opens only its own shards and answers for them, and the answers are
merged into exactly the ranking of one knowledge base, for knowledge bases larger than one
worker's memory.

The knowledge-base files must be readable at the same path on every worker (and, for
``scatter=True``, on the client, which reads the manifest): a shared file system, or copies at the
same place.

    from distributed import Client
    import veskor.dask
    client = Client("scheduler:8786")
    hits = veskor.dask.match(names, "/data/places.kb", n=5, client=client)
"""

from __future__ import annotations

import math
import os
import threading
from typing import Any, Dict, List, Optional, Sequence, Tuple, Union

from . import _core
from ._core import Hit
from ._objects import KnowledgeBase
from ._sharded import ShardedKnowledgeBase, is_sharded

__all__ = ["match"]

# Per worker process: what its tasks opened, by absolute path, kept open for later tasks.
_opened: Dict[Tuple[str, Optional[str]], Union[KnowledgeBase, ShardedKnowledgeBase, Tuple]] = {}
_opened_lock = threading.Lock()
_opens = 0  # files opened by this process's tasks


def _knowledge_base(path: str):
    """The knowledge base (or sharded one) at path, opened at the first call in this process."""
    from . import open as open_kb
    from . import open_sharded

    key = (path, None)
    with _opened_lock:
        kb = _opened.get(key)
        if kb is None or kb.closed:
            kb = open_sharded(path) if is_sharded(path) else open_kb(path)
            _opened[key] = kb
            _count_open()
        return kb


def _shard(path: str, words: Optional[str]):
    """One shard file and the word knowledge base of its directory (or None), opened once."""
    from . import open as open_kb

    key = (path, words)
    with _opened_lock:
        pair = _opened.get(key)
        if pair is None or pair[0].closed:
            pair = (open_kb(path), open_kb(words) if words else None)
            _opened[key] = pair
            _count_open()
        return pair


def _count_open() -> None:
    global _opens
    _opens += 1


def _opened_paths() -> Tuple[List[str], int]:
    """The files this process keeps open, and how many opens its tasks made (for diagnostics)."""
    with _opened_lock:
        return sorted(path for path, _ in _opened), _opens


def _search(queries, path: str, n: int) -> List[List[Hit]]:
    return _knowledge_base(path).find_many(list(queries), n, threads=1)


def _search_series(part, path: str, n: int):
    import pandas

    return pandas.Series(_search(part.tolist(), path, n), index=part.index, dtype=object, name=part.name)


def _search_shard(queries, path: str, words: Optional[str], n: int) -> List[List[Hit]]:
    kb, words_kb = _shard(path, words)
    values = queries.tolist() if hasattr(queries, "tolist") else list(queries)
    return kb.find_many(values, n, threads=1, words=words_kb)


def _merge(n: int, *answers: List[List[Hit]]) -> List[List[Hit]]:
    return [_core.merge_hits(lists, n) for lists in zip(*answers)]


def _merge_series(part, n: int, *answers):
    import pandas

    return pandas.Series(_merge(n, *answers), index=part.index, dtype=object, name=part.name)


def match(queries: Any, kb: Union[str, os.PathLike], n: int = 10, client: Any = None, *, scatter: bool = False,
          partition_size: Optional[int] = None, timeout: Optional[float] = None):
    """Searches every query in the knowledge base at path kb (a file or a sharded directory).

    queries: a Dask bag of texts, a Dask Series (a DataFrame column) of texts, or a sequence of
    texts. Returns, in the order of the queries, one list of :class:`veskor.Hit` per query: a
    Dask bag or Series for a Dask collection (lazy unless scatter is set; compute it on your
    client), a list for a sequence. n: hits per query, 1 to 500.

    client: the ``distributed.Client``; None takes the current one. A plain sequence and
    ``scatter=True`` need one. partition_size: queries per task for a sequence (default: enough
    for four tasks per worker, at most 10,000).

    scatter: kb must be a sharded directory; shard s is searched only on worker s mod W (of the
    W workers, in address order), and each worker keeps open only its shards. A worker that
    leaves the cluster takes its shards' tasks with it: they wait for it.

    timeout: seconds to wait for the results of a sequence before ``TimeoutError`` (None: no
    limit); a collection's results are waited for where it is computed.
    """
    path = os.path.abspath(os.fsdecode(kb))
    if not isinstance(n, int) or isinstance(n, bool):
        raise TypeError(f"n must be int, not {type(n).__name__}")
    if not 1 <= n <= _core.MAX_HITS:
        raise ValueError(f"n must be 1 to {_core.MAX_HITS}, not {n}")
    kind = _collection_kind(queries)
    if scatter:
        return _scatter_gather(queries, kind, path, n, _client(client), partition_size, timeout)
    if kind == "bag":
        return queries.map_partitions(_search, path, n)
    if kind == "series":
        return queries.map_partitions(_search_series, path, n, meta=(queries.name, object))
    client = _client(client)
    chunks = _chunks(queries, client, partition_size)
    futures = client.map(_search, chunks, path=path, n=n, pure=False)
    return _gathered(client, futures, timeout)


def _gathered(client, futures, timeout: Optional[float]) -> List[List[Hit]]:
    """The results of the futures' parts, concatenated in order."""
    if timeout is not None:
        from distributed import wait

        wait(futures, timeout=timeout)
    return [hits for part in client.gather(futures) for hits in part]


def _collection_kind(queries: Any) -> str:
    try:
        import dask.bag
        import dask.dataframe
    except ImportError:  # no Dask collections without Dask
        return "sequence"
    if isinstance(queries, dask.bag.Bag):
        return "bag"
    if isinstance(queries, dask.dataframe.Series):
        return "series"
    if isinstance(queries, dask.dataframe.DataFrame):
        raise TypeError("queries must be one column of the DataFrame (df['name']), not the DataFrame")
    if isinstance(queries, (str, bytes)):
        raise TypeError("queries must be a sequence of texts, not one text")
    return "sequence"


def _client(client):
    if client is not None:
        return client
    from distributed import get_client

    try:
        return get_client()
    except ValueError:
        raise ValueError("no Dask client: pass client= or create a distributed.Client first") from None


def _chunks(queries: Sequence, client, partition_size: Optional[int]) -> List[list]:
    values = list(queries)
    if partition_size is None:
        workers = max(1, len(client.scheduler_info().get("workers", {})))
        partition_size = min(10_000, max(1, math.ceil(len(values) / (4 * workers))))
    elif not isinstance(partition_size, int) or partition_size < 1:
        raise ValueError(f"partition_size must be a positive int, not {partition_size!r}")
    return [values[i:i + partition_size] for i in range(0, len(values), partition_size)]


def _scatter_gather(queries, kind: str, path: str, n: int, client, partition_size: Optional[int],
                    timeout: Optional[float]):
    if not is_sharded(path):
        raise ValueError(f"{path}: scatter=True needs a sharded knowledge base (a directory with manifest.json)")
    manifest = _core.read_shard_manifest(path)
    shard_files = [os.path.join(path, shard[0]) for shard in manifest["shards"]]
    words = os.path.join(path, manifest["words"]) if manifest["words"] else None
    workers = sorted(client.scheduler_info().get("workers", {}))
    if not workers:
        raise ValueError("the Dask cluster has no workers")
    if kind == "sequence":
        parts = _chunks(queries, client, partition_size)
    else:
        parts = client.compute(queries.to_delayed())

    merged = []
    for part in parts:
        answers = [
            client.submit(_search_shard, part, shard, words, n, workers=[workers[s % len(workers)]],
                          allow_other_workers=False, pure=False)
            for s, shard in enumerate(shard_files)
        ]
        if kind == "series":
            merged.append(client.submit(_merge_series, part, n, *answers, pure=False))
        else:
            merged.append(client.submit(_merge, n, *answers, pure=False))
    if kind == "sequence":
        return _gathered(client, merged, timeout)
    import dask

    if kind == "bag":
        import dask.bag

        return dask.bag.from_delayed([dask.delayed(future) for future in merged])
    import dask.dataframe

    return dask.dataframe.from_delayed([dask.delayed(future) for future in merged], meta=(queries.name, object),
                                       verify_meta=False)
