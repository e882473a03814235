"""veskor.dask on a local cluster of two worker processes (loopback only, always closed, every wait
bounded): batches and scatter-gather searches give what one process gives."""

import logging

import pytest
from test_matching import tie_entries

import veskor

distributed = pytest.importorskip("distributed")
dask_bag = pytest.importorskip("dask.bag")
dask_dataframe = pytest.importorskip("dask.dataframe")
pandas = pytest.importorskip("pandas")

import veskor.dask  # noqa: E402  (after the skips: it needs Dask)

WAIT = 120  # seconds; a loaded machine is slow, a hung cluster must still end the test


@pytest.fixture(scope="module")
def client(tmp_path_factory):
    cluster = distributed.LocalCluster(
        n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1", dashboard_address=None,
        local_directory=str(tmp_path_factory.mktemp("dask")), silence_logs=logging.ERROR)
    try:
        with distributed.Client(cluster, timeout=WAIT) as client:
            client.wait_for_workers(2, timeout=WAIT)
            yield client
    finally:
        cluster.close(timeout=WAIT)


@pytest.fixture(scope="module")
def data(tmp_path_factory):
    """(one knowledge base, a sharded one of the same entries, the queries, what one process finds)."""
    directory = tmp_path_factory.mktemp("kb")
    entries, queries = tie_entries(1200)
    with veskor.create(directory / "one.kb") as one:
        one.add_many(entries)
        expected = one.find_many(queries, 5)
    veskor.create_sharded(directory / "sharded", entries, 4).close()
    return str(directory / "one.kb"), str(directory / "sharded"), queries, expected


def computed(client, collection):
    return client.compute(collection).result(timeout=WAIT)


def opened(client):
    """Per worker: the files its tasks keep open, and how many opens they made."""
    return client.run(veskor.dask._opened_paths)


def test_a_batch_runs_on_the_workers_in_input_order(client, data):
    one, _, queries, expected = data
    before = sum(count for _, count in opened(client).values())
    assert veskor.dask.match(queries, one, n=5, client=client, partition_size=17, timeout=WAIT) == expected
    bag = veskor.dask.match(dask_bag.from_sequence(queries, npartitions=6), one, n=5)
    assert computed(client, bag) == expected
    column = dask_dataframe.from_pandas(pandas.DataFrame({"q": queries}), npartitions=5)["q"]
    series = computed(client, veskor.dask.match(column, one, n=5))
    assert list(series) == expected and list(series.index) == list(range(len(queries)))
    # Each worker opened the knowledge base once and kept it for its later tasks.
    after = opened(client)
    assert sum(count for _, count in after.values()) - before <= 2
    assert all(one in paths for paths, _ in after.values())


def test_scatter_gather_spreads_the_shards_and_merges_them_exactly(client, data):
    _, sharded, queries, expected = data
    assert veskor.dask.match(queries, sharded, n=5, client=client, scatter=True, partition_size=40,
                             timeout=WAIT) == expected
    bag = veskor.dask.match(dask_bag.from_sequence(queries, npartitions=3), sharded, n=5, client=client, scatter=True)
    assert computed(client, bag) == expected
    column = dask_dataframe.from_pandas(pandas.Series(queries, name="q"), npartitions=2)
    assert list(computed(client, veskor.dask.match(column, sharded, n=5, client=client, scatter=True))) == expected
    # Worker i (by address) holds shards i and i + 2 only.
    state = opened(client)
    for i, worker in enumerate(sorted(state)):
        shards = [path.rsplit("/", 1)[1] for path in state[worker][0] if "/sharded/" in path]
        assert shards == [f"shard-{i}.kb", f"shard-{i + 2}.kb"], (worker, shards)
    # The plain batch on the directory opens it whole and gives the same.
    assert veskor.dask.match(queries[:50], sharded, n=5, client=client, timeout=WAIT) == expected[:50]


def test_wrong_arguments_fail_before_anything_runs(client, data):
    one, _, queries, _ = data
    with pytest.raises(ValueError, match="sharded"):
        veskor.dask.match(queries, one, client=client, scatter=True)
    with pytest.raises(TypeError, match="one column"):
        veskor.dask.match(dask_dataframe.from_pandas(pandas.DataFrame({"q": queries}), npartitions=1), one)
    with pytest.raises(TypeError, match="sequence of texts"):
        veskor.dask.match("Berg", one, client=client)
    with pytest.raises(ValueError, match="n must be"):
        veskor.dask.match(queries, one, n=0, client=client)
    with pytest.raises(ValueError, match="partition_size"):
        veskor.dask.match(queries, one, client=client, partition_size=0)
    # A failing query raises on the client as the engine's error.
    with pytest.raises(veskor.ArgumentError):
        veskor.dask.match(["Berg", "   "], one, client=client, timeout=WAIT)
