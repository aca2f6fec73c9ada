"""The helpers over a Dask DataFrame on a local cluster of worker processes
give exactly what pandas gives on the whole frame."""
from __future__ import annotations

import itertools
import pickle

import dask.dataframe as dd
import pandas as pd
import pytest
from distributed import Client, LocalCluster

import korvi
import korvi.dask as kd
import korvi.pandas as kp

FIRST = ["Robert", "Mary", "William", "Elizabeth", "", "Jos\u00e9"]
LAST = ["Smith", "O'Neil", "Garc\u00eda", "Lee"]
STREETS = ["123 N. Main St.", "9 West Oak Avenue Apt 4", "", "77 Sunset Blvd Suite 200"]
PLACES = [("Austin", "tx", "78701"), ("Dover", "Delaware", "19901-1234"), ("", "", "")]


def _people(count: int) -> pd.DataFrame:
    combos = itertools.islice(itertools.cycle(itertools.product(FIRST, LAST, STREETS, PLACES)), count)
    rows = []
    for i, (first, last, street, (city, state, zip_code)) in enumerate(combos):
        rows.append({"customer_id": "C%04d" % i, "first": first, "middle": "ABC"[i % 3] if i % 2 else "",
                     "last": last, "street": street, "city": city, "state": state, "zip": zip_code,
                     "email": "%s.%s%d@example.com" % (first, last, i) if i % 5 else None,
                     "ssn": "9%02d-%02d-%04d" % (i % 100, i % 97, i), "phone": "555-01%02d" % (i % 100)})
    return pd.DataFrame(rows, index=pd.RangeIndex(1000, 1000 + count))


COLUMNS = dict(name=("first", "middle", "last"), address="street", city_state_zip=("city", "state", "zip"),
               email="email", ssn="ssn", phone="phone")


@pytest.fixture(scope="module")
def client():
    with LocalCluster(n_workers=2, threads_per_worker=2, processes=True, dashboard_address=None) as cluster:
        with Client(cluster) as c:
            yield c


def test_cluster_gives_the_single_process_result(lib, client):
    people = _people(240)
    frame = dd.from_pandas(people, npartitions=5)
    for columns in (dict(COLUMNS, id="customer_id"), COLUMNS):
        single = kp.assets_frame(people, **columns)
        spread = kd.assets_frame(frame, **columns)
        assert spread.npartitions == 5 and spread.divisions == frame.divisions
        pd.testing.assert_frame_equal(spread.compute(), single)
        pd.testing.assert_frame_equal(kd.fingerprints_frame(frame, **columns).compute(),
                                      kp.fingerprints_frame(people, **columns))
    # The work ran on both worker processes, each loading the library itself.
    assert len(client.run(lambda: __import__("korvi")._lib.default_library().version)) == 2


def test_a_library_object_travels_as_its_path(lib, client):
    people = _people(40)
    frame = dd.from_pandas(people, npartitions=2)
    spread = kd.assets_frame(frame, kp.ColumnMapping.build(email="email", ssn="ssn"), library=lib)
    pd.testing.assert_frame_equal(spread.compute(), kp.assets_frame(people, email="email", ssn="ssn"))


def test_mapping_is_checked_before_running(lib):
    frame = dd.from_pandas(_people(10), npartitions=2)
    with pytest.raises(ValueError, match="email='mail'"):
        kd.assets_frame(frame, email="mail")
    empty = kd.fingerprints_frame(frame, ssn="ssn")._meta
    assert list(empty.columns) == ["record_id", "ssn"] and len(empty) == 0


def test_keyed_frames_read_the_key_on_the_workers(lib, client, tmp_path):
    """The graph holds the key file's path and the key id, never the key;
    the workers read the file and give the single-process result."""
    secret = "5a" * 32
    path = tmp_path / "partner.key"
    path.write_text(secret + "\n")
    path.chmod(0o600)
    key = korvi.Key.from_file(path)
    people = _people(60)
    frame = dd.from_pandas(people, npartitions=3)
    spread = kd.assets_frame(frame, key=key, **COLUMNS)
    graph = pickle.dumps(dict(spread.__dask_graph__()))
    assert secret.encode() not in graph and bytes.fromhex(secret) not in graph
    assert str(path).encode() in graph
    pd.testing.assert_frame_equal(spread.compute(), kp.assets_frame(people, key=key, **COLUMNS))
    with pytest.raises(TypeError, match="from_file or Key.from_env"):
        kd.fingerprints_frame(frame, key=korvi.Key.from_bytes(bytes(32)), ssn="ssn")
