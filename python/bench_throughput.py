#!/usr/bin/python3
"""Records per second through korvi.pandas.assets_frame in one process and
through korvi.dask.assets_frame on a local cluster of worker processes, on
a file of synthetic people (programs/sample/make_sample.py), and, when a
built `korvi` command is found, through `korvi assets` on the same file.

usage: /usr/bin/python3 python/bench_throughput.py [--count N] [--workers W]
       [--rounds R] [--library PATH] [--cli PATH]

Every mapped field of every record is fingerprinted (name, address,
city-state-zip, e-mail, SSN, phone). The assets are built and then dropped:
the Dask run counts them on the workers, and the command writes to
/dev/null. Besides wall-clock rates it prints records per CPU-second of the
processes doing the work, which stay meaningful on a machine shared with
other jobs.
"""
from __future__ import annotations

import argparse
import glob
import logging
import os
import resource
import statistics
import subprocess
import sys
import time
from pathlib import Path
from typing import Tuple

HERE = Path(__file__).resolve().parent
REPO = HERE.parent
sys.path.insert(0, str(HERE))
os.environ["PYTHONPATH"] = os.pathsep.join([str(HERE)] + [p for p in os.environ.get("PYTHONPATH", "").split(os.pathsep) if p])

import pandas as pd  # noqa: E402

import korvi  # noqa: E402
import korvi.pandas as kp  # noqa: E402

MAPPING = kp.ColumnMapping.build(
    name=("first_name", "middle_name", "last_name"), address="address",
    city_state_zip=("city", "state", "zip"), email="email", ssn="ssn", phone="phone", id="customer_id")
CHUNK = 50_000  # rows per pandas call, so memory stays bounded


def sample_file(count: int) -> Path:
    out = REPO / "build" / "py-bench" / ("people-%d.csv" % count)
    if not out.exists():
        out.parent.mkdir(parents=True, exist_ok=True)
        generator = REPO / "programs" / "sample" / "make_sample.py"
        subprocess.run([sys.executable, str(generator), "--count", str(count), str(out)], check=True)
    return out


def read(path: Path) -> pd.DataFrame:
    return pd.read_csv(path, dtype=str, keep_default_na=False)


def pandas_rate(frame: pd.DataFrame, library: korvi.Library) -> Tuple[float, float, int]:
    """Wall seconds, CPU seconds and assets of assets_frame over the frame."""
    assets = 0
    started, cpu = time.perf_counter(), time.process_time()
    for start in range(0, len(frame), CHUNK):
        assets += len(kp.assets_frame(frame.iloc[start:start + CHUNK], MAPPING, library=library))
    return time.perf_counter() - started, time.process_time() - cpu, assets


def library_rates(frame: pd.DataFrame, library: korvi.Library) -> Tuple[float, float]:
    """CPU seconds of the library calls alone for the frame: the batch export
    (one call per field, texts already encoded) and the one-record exports
    (one call per field and row, answers copied but not parsed)."""
    from korvi import _batch

    columns = {c: _batch.text_column(frame, c)[0] for c in frame.columns}
    slots = {"name": ("first_name", "middle_name", "last_name"), "address": ("address",),
             "city_state_zip": ("city", "state", "zip"), "email_address": ("email",), "ssn": ("ssn",),
             "phone_number": ("phone",)}
    cpu = time.process_time()
    for field, names in slots.items():
        _batch.field_assets(library, field, len(frame), [columns[c] for c in names])
    batch = time.process_time() - cpu
    cpu = time.process_time()
    kp._answers(frame, MAPPING, "person", library, lambda text: None, None)
    return batch, time.process_time() - cpu


def dask_rate(path: Path, workers: int, library: korvi.Library) -> Tuple[float, float, int, int]:
    """Wall seconds, CPU seconds of the workers, assets and partitions."""
    import dask.dataframe as dd
    from distributed import Client, LocalCluster

    import korvi.dask as kd

    with LocalCluster(n_workers=workers, threads_per_worker=1, processes=True, dashboard_address=None,
                      silence_logs=logging.ERROR) as cluster:
        with Client(cluster) as client:
            client.run(lambda: korvi.load_library(library.path) and None)  # load before the clock starts
            cpu = sum(client.run(time.process_time).values())
            started = time.perf_counter()
            # About eight partitions per worker, whatever the size of the file.
            blocksize = max(path.stat().st_size // (8 * workers), 1 << 18)
            people = dd.read_csv(str(path), dtype=str, keep_default_na=False, blocksize=blocksize)
            counts = kd.assets_frame(people, MAPPING, library=library).map_partitions(len).compute()
            wall = time.perf_counter() - started
            cpu = sum(client.run(time.process_time).values()) - cpu
            return wall, cpu, int(counts.sum()), people.npartitions


def _release_build(command: str) -> bool:
    cache = Path(command).parent.parent / "CMakeCache.txt"
    return cache.exists() and "CMAKE_BUILD_TYPE:STRING=Release\n" in cache.read_text(errors="replace")


def find_cli() -> str:
    """The newest korvi command of a Release build tree that runs on this
    machine (else of any build tree), or ""."""
    found = [p for pattern in ("build*/programs/korvi", "build*/*/programs/korvi")
             for p in glob.glob(str(REPO / pattern)) if os.access(p, os.X_OK)]
    for path in sorted(found, key=lambda p: (_release_build(p), os.path.getmtime(p)), reverse=True):
        try:
            if subprocess.run([path, "--version"], capture_output=True, timeout=10).returncode == 0:
                return path
        except (OSError, subprocess.SubprocessError):
            pass  # built for another machine (cross builds)
    return ""


def _children_cpu() -> float:
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def cli_rate(cli: str, path: Path, threads: int) -> Tuple[float, float]:
    """Wall and CPU seconds of `korvi assets`."""
    started, cpu = time.perf_counter(), _children_cpu()
    subprocess.run([cli, "assets", str(path), "-o", os.devnull, "--threads", str(threads), "--quiet"],
                   check=True)
    return time.perf_counter() - started, _children_cpu() - cpu


def report(what: str, count: int, wall: float, cpu: float, note: str = "") -> None:
    print("%-58s %8.0f records/s  %8.0f records/CPU-s  (%.1f s%s)"
          % (what, count / wall, count / cpu, wall, note), flush=True)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--count", type=int, default=1_000_000, help="synthetic people (default 1,000,000)")
    parser.add_argument("--workers", type=int, default=2, help="Dask worker processes (default 2)")
    parser.add_argument("--rounds", type=int, default=3,
                        help="interleaved rounds of pandas and the command; medians are printed (default 3)")
    parser.add_argument("--library", help="libkorvi to load (default: KORVI_LIBRARY, then a build tree)")
    parser.add_argument("--cli", help="korvi command to compare with (default: the newest of a Release "
                        "build tree, build*/programs/korvi or build*/*/programs/korvi)")
    args = parser.parse_args()

    library = korvi.load_library(args.library)
    path = sample_file(args.count)
    print("libkorvi %s (%s), %d synthetic people in %s, %d cores, load average %s"
          % (library.version, library.path, args.count, path.name, os.cpu_count() or 0,
             " ".join("%.1f" % x for x in os.getloadavg())), flush=True)

    started = time.perf_counter()
    frame = read(path)
    reading = time.perf_counter() - started
    cli = args.cli or find_cli()
    # pandas and the command take turns, so a busy spell of a shared machine
    # does not fall on one of them only; medians of records per CPU-second
    # are compared.
    pandas_runs, cli_runs = [], []
    assets = 0
    for _ in range(args.rounds):
        wall, cpu, assets = pandas_rate(frame, library)
        pandas_runs.append((wall, cpu))
        report("pandas assets_frame, 1 process", args.count, wall, cpu,
               ", %d assets; read_csv before it %.1f s" % (assets, reading))
        if cli:
            wall, cpu = cli_rate(cli, path, 1)
            cli_runs.append((wall, cpu))
            report("korvi assets --threads 1 (%s)" % os.path.relpath(cli, REPO), args.count, wall, cpu)
    sample = frame.iloc[:20_000]
    batch, single = library_rates(sample, library)
    print("library calls alone on %d records: batch export %.0f records/CPU-s, one-record exports %.0f"
          % (len(sample), len(sample) / batch, len(sample) / single), flush=True)
    del frame, sample
    pandas_cpu = statistics.median(args.count / cpu for _, cpu in pandas_runs)
    if cli_runs:
        cli_cpu = statistics.median(args.count / cpu for _, cpu in cli_runs)
        print("medians of %d rounds: pandas %.0f, command %.0f records/CPU-s: pandas at %.0f%% of the command"
              % (args.rounds, pandas_cpu, cli_cpu, 100 * pandas_cpu / cli_cpu), flush=True)

    dask_walls = {}
    for workers in sorted({1, args.workers}):
        wall, cpu, dask_assets, partitions = dask_rate(path, workers, library)
        dask_walls[workers] = wall
        report("Dask, %d worker process%s, read_csv + assets_frame" % (workers, "" if workers == 1 else "es"),
               args.count, wall, cpu, ", %d partitions" % partitions)
        if dask_assets != assets:
            sys.exit("Dask made %d assets, pandas %d" % (dask_assets, assets))
    if args.workers != 1:
        print("Dask with %d workers: %.2fx the wall-clock rate of 1 worker (on %d cores, load average %.1f)"
              % (args.workers, dask_walls[1] / dask_walls[args.workers], os.cpu_count() or 0, os.getloadavg()[0]))
    if cli:
        wall, cpu = cli_rate(cli, path, 2)
        report("korvi assets --threads 2 (%s)" % os.path.relpath(cli, REPO), args.count, wall, cpu)
    print("load average %s" % " ".join("%.1f" % x for x in os.getloadavg()))


if __name__ == "__main__":
    main()
