"""korvi.link: pairs worked out by hand from a given model, bad lines, keys,
and the same pairs as the command on generated people."""
from __future__ import annotations

import json
import math
import os
import subprocess
import sys
from pathlib import Path

import pytest

import korvi

pd = pytest.importorskip("pandas")

ROOT = Path(__file__).resolve().parents[2]
MODEL = {"prior": 0.5, "m": {"name": [0.9, 0.05, 0.03, 0.02], "ssn": [0.95, 0.01, 0.01, 0.03]},
         "u": {"name": [0.01, 0.04, 0.15, 0.8], "ssn": [0.001, 0.001, 0.001, 0.997]}}


def record(record_id, name, ssn=None, key_id=None):
    out = {"record_id": record_id, "record_type": "person"}
    if key_id is not None:
        out["key_id"] = key_id
    for field, variants in (("name", name), ("ssn", ssn)):
        out[field] = [{"fingerprints": ["%016x" % n for n in v], "metadata": {"field": field}} for v in variants or []]
    return json.dumps(out)


LEFT = [record("L1", [[1, 2], [3, 2]], [[100]]), record("L2", [[4, 5]], [[101]]), record("L3", [[6, 7]])]
RIGHT = [record("R1", [[3, 2]], [[100]]), record("R2", [[4, 9]], [[102]]), record("R3", [[8, 10]], [[103]])]


def test_pairs_from_a_given_model(lib):
    frame = korvi.link(LEFT, RIGHT, model=MODEL, threshold=0.001, one_to_one=False, threads=2)
    assert list(frame.columns) == ["left_id", "right_id", "probability", "match_weight", "name", "ssn"]
    # R1-L1: name exact (L1's second variant), ssn exact; R2-L2: name shares
    # 1 of 2 fingerprints (weak), ssn differs; R3 shares nothing with anyone.
    weight_1 = math.log2(0.9 / 0.01) + math.log2(0.95 / 0.001)
    weight_2 = math.log2(0.03 / 0.15) + math.log2(0.03 / 0.997)
    assert frame[["left_id", "right_id", "name", "ssn"]].values.tolist() == [
        ["L1", "R1", "exact", "exact"], ["L2", "R2", "weak", "none"]]
    assert frame.match_weight.tolist() == pytest.approx([weight_1, weight_2])
    assert frame.probability.tolist() == pytest.approx([1 / (1 + 2 ** -weight_1), 1 / (1 + 2 ** -weight_2)])
    assert frame.attrs["summary"]["left_records"] == 3
    assert frame.attrs["summary"]["candidate_pairs"] == 2  # R2-L2 through fingerprint 4, held by L2 alone
    # At the default threshold only the first pair is left.
    assert korvi.link(LEFT, RIGHT, model=MODEL).right_id.tolist() == ["R1"]


def test_bad_lines_and_keys_are_refused(lib):
    with pytest.raises(korvi.LinkInputError) as caught:
        korvi.link([LEFT[0], LEFT[1][:40], "", "hello"], RIGHT, model=MODEL)
    assert caught.value.bad_lines == [("left", 2, "truncated line: it ends inside the record"),
                                      ("left", 4, "not a JSON object")]
    with pytest.raises(korvi.KorviError, match="different keys"):
        korvi.link([record("L1", [[1]], key_id="k1")], [record("R1", [[1]], key_id="k2")])


def test_same_pairs_as_the_command(lib, tmp_path):
    korvi_command = Path(lib.path).parent / "programs" / "korvi"
    if not korvi_command.exists():
        pytest.skip("the korvi command is not built next to the library")
    prefix = str(tmp_path / "people")
    subprocess.run([sys.executable, str(ROOT / "programs" / "sample" / "make_link_sample.py"), "--count", "400",
                    prefix], check=True)
    for side in ("left", "right"):
        subprocess.run([str(korvi_command), "assets", "%s-%s.csv" % (prefix, side), "-o",
                        "%s-%s.jsonl" % (prefix, side), "-q"], check=True)
    # The second run fits on a sample of the right records.
    for options in ([], ["--fit-records", "100"]):
        subprocess.run([str(korvi_command), "link", prefix + "-left.jsonl", prefix + "-right.jsonl", "-o",
                        prefix + "-pairs.csv", "-q"] + options, check=True)
        expected = pd.read_csv(prefix + "-pairs.csv", dtype=str, keep_default_na=False)
        frame = korvi.link(prefix + "-left.jsonl", prefix + "-right.jsonl", threads=2,
                           fit_records=int(options[1]) if options else 50000)
        assert len(frame) > 150
        assert frame.left_id.tolist() == expected.left_id.tolist()
        assert frame.right_id.tolist() == expected.right_id.tolist()
        assert frame.probability.map("{:.6f}".format).tolist() == expected.probability.tolist()
        assert frame.date_of_birth.tolist() == expected.date_of_birth.tolist()
    assert frame.attrs["summary"]["fit_records"] < 200
