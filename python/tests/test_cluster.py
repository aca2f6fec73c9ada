"""The helpers on a real cluster: `dask scheduler` and two `dask worker`
processes over TCP on 127.0.0.1, reached through a Client at that address;
CSV partitions read from disk and assets written per partition; a worker
killed in the middle of a run. Every process started here is stopped, with
its whole process group, however the test ends."""
from __future__ import annotations

import glob
import json
import os
import signal
import subprocess
import sys
import time
from pathlib import Path
from typing import Callable, Iterator, List

import dask.dataframe as dd
import pandas as pd
import pytest
from distributed import Client

import korvi.dask as kd
import korvi.pandas as kp
from test_dask import COLUMNS, _people

STARTUP_SECONDS = 90  # a loaded CI machine is slow to import distributed


def _group_members(group: int) -> List[int]:
    """Live (not zombie) processes of a process group, from /proc."""
    members = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry) as f:
                fields = f.read().rsplit(")", 1)[1].split()
        except OSError:
            continue  # ended meanwhile
        if fields[0] != "Z" and int(fields[2]) == group:
            members.append(int(entry))
    return members


def _stop(process: subprocess.Popen) -> None:
    """Ends the process and everything in its group (a worker's nanny and
    the worker process it spawned): SIGTERM, then SIGKILL after 10 s."""
    for sig in (signal.SIGTERM, signal.SIGKILL):
        try:
            os.killpg(process.pid, sig)
        except ProcessLookupError:
            pass
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            if process.poll() is not None and not _group_members(process.pid):
                return
            time.sleep(0.1)


class Cluster:
    """A scheduler and workers over TCP on 127.0.0.1, each in its own
    process group; every process is added to processes as it starts."""

    def __init__(self, scratch: Path, library: str, workers: int, processes: List[subprocess.Popen]) -> None:
        self.workers: List[subprocess.Popen] = []
        env = dict(os.environ, KORVI_LIBRARY=library)
        scheduler_file = scratch / "scheduler.json"
        logs = open(scratch / "cluster.log", "ab")
        dask = [sys.executable, "-m", "dask"]

        def start(args: List[str]) -> subprocess.Popen:
            process = subprocess.Popen(dask + args, env=env, stdout=logs, stderr=logs, start_new_session=True)
            processes.append(process)
            return process

        scheduler = start(["scheduler", "--host", "127.0.0.1", "--port", "0", "--no-dashboard",
                           "--scheduler-file", str(scheduler_file)])
        deadline = time.monotonic() + STARTUP_SECONDS
        while True:
            try:
                self.address: str = json.loads(scheduler_file.read_text())["address"]
                break
            except (OSError, ValueError, KeyError):  # not written yet, or half written
                if time.monotonic() > deadline or scheduler.poll() is not None:
                    raise RuntimeError("the scheduler did not start; see %s" % (scratch / "cluster.log"))
                time.sleep(0.2)
        assert self.address.startswith("tcp://127.0.0.1:")
        for number in range(workers):
            self.workers.append(start(["worker", self.address, "--nthreads", "1", "--no-dashboard",
                                       "--name", "w%d" % number, "--death-timeout", "60",
                                       "--local-directory", str(scratch / ("w%d" % number))]))
        self.client = Client(self.address, timeout=STARTUP_SECONDS)
        self.client.wait_for_workers(workers, timeout=STARTUP_SECONDS)


@pytest.fixture
def start_cluster(lib, tmp_path) -> Iterator[Callable[[int], Cluster]]:
    processes: List[subprocess.Popen] = []
    clusters: List[Cluster] = []

    def start(workers: int = 2) -> Cluster:
        clusters.append(Cluster(tmp_path, lib.path, workers, processes))
        return clusters[-1]

    try:
        yield start
    finally:
        for cluster in clusters:
            cluster.client.close()
        for process in reversed(processes):
            _stop(process)
        leaked = [p.pid for p in processes if p.poll() is None or _group_members(p.pid)]
        assert not leaked, "process groups still alive: %s" % leaked


def _write_parts(people: pd.DataFrame, folder: Path, parts: int) -> None:
    folder.mkdir()
    size = -(-len(people) // parts)
    for part in range(parts):
        people.iloc[part * size:(part + 1) * size].to_csv(folder / ("people-%02d.csv" % part), index=False)


def _assets_from_json_lines(folder: Path) -> pd.DataFrame:
    frames = [pd.read_json(path, lines=True, dtype={"record_id": str})
              for path in sorted(glob.glob(str(folder / "*.jsonl")))]
    frame = pd.concat(frames, ignore_index=True)
    frame["fingerprints"] = frame["fingerprints"].map(tuple)
    return frame


def test_cluster_over_tcp_reads_csv_and_writes_each_partition(start_cluster, tmp_path):
    cluster = start_cluster(2)
    people = _people(300)
    columns = dict(COLUMNS, id="customer_id")
    single = kp.assets_frame(people, **columns)

    # In memory, through the client at the scheduler's address.
    spread = kd.assets_frame(dd.from_pandas(people, npartitions=6), **columns)
    pd.testing.assert_frame_equal(spread.compute(), single)
    pd.testing.assert_frame_equal(kd.fingerprints_frame(dd.from_pandas(people, npartitions=4), **columns).compute(),
                                  kp.fingerprints_frame(people, **columns))
    compact = kd.fingerprint_rows_frame(dd.from_pandas(people, npartitions=3), **columns).compute()
    whole = kp.fingerprint_rows_frame(people, **columns)
    pd.testing.assert_frame_equal(compact.drop(columns="asset"), whole.drop(columns="asset"))
    workers_used = cluster.client.run(os.getpid)
    assert len(workers_used) == 2

    # From CSV files on disk to one JSON Lines file per partition.
    _write_parts(people, tmp_path / "in", 5)
    frame = dd.read_csv(str(tmp_path / "in" / "people-*.csv"), dtype=str, keep_default_na=False)
    assets = kd.assets_frame(frame, **columns)
    written = assets.to_json(str(tmp_path / "out" / "assets-*.jsonl"), orient="records", lines=True)
    assert len(written) == 5
    expected = single.reset_index(drop=True)
    back = _assets_from_json_lines(tmp_path / "out")
    pd.testing.assert_frame_equal(back[list(expected.columns)], expected, check_dtype=False)


def _slow_assets(part: pd.DataFrame, marks: str) -> pd.DataFrame:
    """assets_frame after a pause, leaving a mark per process so the test
    knows which worker has done work."""
    Path(marks, "%d-%s" % (os.getpid(), part["customer_id"].iloc[0])).touch()
    time.sleep(0.4)
    return kp.assets_frame(part, **dict(COLUMNS, id="customer_id"))


def test_a_killed_worker_loses_nothing(start_cluster, tmp_path):
    cluster = start_cluster(2)
    people = _people(480)
    single = kp.assets_frame(people, **dict(COLUMNS, id="customer_id"))
    _write_parts(people, tmp_path / "in", 16)
    marks = tmp_path / "marks"
    marks.mkdir()
    frame = dd.read_csv(str(tmp_path / "in" / "people-*.csv"), dtype=str, keep_default_na=False)
    future = cluster.client.compute(frame.map_partitions(_slow_assets, str(marks), meta=kp.empty_assets_frame()))

    # Once the first worker has finished some partitions (their results live
    # in its memory), kill its whole process group.
    victim = cluster.workers[0]
    deadline = time.monotonic() + 120
    while True:
        victims = set(_group_members(victim.pid))
        done_by_victim = [m for m in os.listdir(marks) if int(m.split("-")[0]) in victims]
        if len(done_by_victim) >= 3:
            break
        assert not future.done(), "the run ended before the worker could be killed"
        assert time.monotonic() < deadline, "the first worker never took work"
        time.sleep(0.05)
    os.killpg(victim.pid, signal.SIGKILL)
    victim.wait(timeout=30)

    result = future.result(timeout=180)
    assert len(cluster.client.scheduler_info()["workers"]) == 1
    got = result.reset_index(drop=True)
    assert not got.duplicated(["record_id", "field", "variant_id"]).any()
    pd.testing.assert_frame_equal(got, single.reset_index(drop=True), check_dtype=False)
