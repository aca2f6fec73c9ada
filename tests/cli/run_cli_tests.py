#!/usr/bin/env python3
"""Runs the built korvi command on small inputs and compares what it writes,
byte for byte, with the expected files.

usage: run_cli_tests.py KORVI [NAME...]

Each folder under cases/ is one test, run in a scratch copy of the folder:
  cmd          the arguments after "korvi", split like a shell would
  stdin        fed to standard input (else standard input is empty)
  env          NAME=VALUE lines added to the environment
  exit.exp     expected exit status (else 0)
  stdout.exp   expected standard output (else empty)
  stderr.exp   expected standard error (else empty); the time and rate of
               the summary line read "(TIME)"
  NAME.exp     expected content of the file NAME that the command writes

Expected files may hold placeholders, computed here with hashlib so that no
expected value comes from the program under test:
  {{h:TEXT}}    16 hex digits of SHA-512 over TEXT and the salt
  {{h64:TEXT}}  the same, 64 digits
  {{asset|FIELD|ID|VALUE}} or {{asset|FIELD|ID|VALUE|TYPE}}
                the one-asset array of an ssn, phone_number, date_of_birth
                (VALUE: its digits as hashed) or email_address
  {{kh:TEXT}}, {{kasset|FIELD|ID|VALUE}}
                the same keyed (Python's hmac) with the test key 0x00..0x1f
  {{*}}         any text within one line; {{...}} any text at all
The functions named test_* below are tests too, named without "test_".
Exit status: 0 all passed, 1 some failed, 77 all skipped.
"""
import ctypes
import csv
import io
import json
import os
import pty
import re
import select
import shlex
import shutil
import subprocess
import sys
import tempfile

SKIPPED = 77  # exit status when every test asked for was skipped (CTest's SKIP_RETURN_CODE)
HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tests", "reference"))
import korvi_reference as ref  # noqa: E402

SAMPLE = os.path.join(ROOT, "programs", "sample", "people.csv")
MAKE_SAMPLE = os.path.join(ROOT, "programs", "sample", "make_sample.py")
SUMMARY_TIME = re.compile(rb"\(\d+\.\d\d s, \d+ records/s\)")


def h(text, digits=16):
    return ref.fp(text, short=digits == 16)


def kh(text, digits=16):
    return ref.keyed_fp(ref.TEST_KEY, text, digits == 16)


def asset(field, record_id, value, record_type="person", hash=h):
    if field in ("ssn", "phone_number", "date_of_birth"):
        fingerprint = hash(ref.clean_ascii(value, ref.CLEAN_DIGITS))
    elif field == "email_address":
        # The cleaned address is hashed, then the hex text of that hash.
        fingerprint = hash(hash(ref.clean_ascii(value, ref.CLEAN_CODE)))
    else:
        raise ValueError("no hand-computed assets for " + field)
    return ref.compact([ref.asset([fingerprint], record_type, record_id, field, 1)])


def expand(text):
    def one(match):
        body = match.group(1)
        if body.startswith("h:"):
            return h(body[2:])
        if body.startswith("h64:"):
            return h(body[4:], 64)
        if body.startswith("asset|"):
            return asset(*body.split("|")[1:])
        if body.startswith("kh:"):
            return kh(body[3:])
        if body.startswith("kasset|"):
            return asset(*body.split("|")[1:], hash=kh)
        raise ValueError("unknown placeholder {{%s}}" % body)
    # Innermost first, so that {{h:{{h:TEXT}}}} hashes a hash.
    placeholder = re.compile(r"\{\{((?:h|h64|kh):[^{}]*|k?asset\|[^{}]*)\}\}")
    while True:
        expanded = placeholder.sub(one, text)
        if expanded == text:
            return text
        text = expanded


def matches(expected, actual):
    """expected: text with placeholders; actual: bytes."""
    pattern = expand(expected.decode("utf-8", "surrogateescape"))
    if "{{*}}" not in pattern and "{{...}}" not in pattern:
        return pattern.encode("utf-8", "surrogateescape") == actual
    regex = "".join(re.escape(part) if i % 2 == 0 else (".*?" if part == "{{*}}" else "(?s:.*?)")
                    for i, part in enumerate(re.split(r"(\{\{\*\}\}|\{\{\.\.\.\}\})", pattern)))
    return re.fullmatch(regex, actual.decode("utf-8", "surrogateescape")) is not None


def read(path):
    with open(path, "rb") as f:
        return f.read()


class Skip(Exception):
    pass


def run_case(korvi, name):
    case = os.path.join(HERE, "cases", name)
    failures = []
    with tempfile.TemporaryDirectory() as scratch:
        work = os.path.join(scratch, name)
        shutil.copytree(case, work)
        args = shlex.split(read(os.path.join(work, "cmd")).decode())
        stdin = os.path.join(work, "stdin")
        env = dict(os.environ)
        if os.path.exists(os.path.join(work, "env")):
            for line in read(os.path.join(work, "env")).decode().splitlines():
                name, _, value = line.partition("=")
                env[name] = value
        result = subprocess.run([korvi] + args, cwd=work, capture_output=True, timeout=120, env=env,
                                stdin=open(stdin, "rb") if os.path.exists(stdin) else subprocess.DEVNULL)
        expected_exit = int(read(os.path.join(work, "exit.exp"))) if os.path.exists(
            os.path.join(work, "exit.exp")) else 0
        if result.returncode != expected_exit:
            failures.append("exit status %d, expected %d" % (result.returncode, expected_exit))
        streams = {"stdout": result.stdout, "stderr": SUMMARY_TIME.sub(b"(TIME)", result.stderr)}
        for entry in sorted(os.listdir(case)):
            if not entry.endswith(".exp") or entry == "exit.exp":
                continue
            target = entry[:-4]
            if target in streams:
                actual = streams.pop(target)
            elif os.path.exists(os.path.join(work, target)):
                actual = read(os.path.join(work, target))
            else:
                failures.append("%s was not written" % target)
                continue
            if not matches(read(os.path.join(case, entry)), actual):
                failures.append("%s differs; got:\n%s" % (target, actual.decode("utf-8", "replace")))
        for stream, actual in streams.items():
            if actual:
                failures.append("unexpected %s:\n%s" % (stream, actual.decode("utf-8", "replace")))
    return failures


def run(korvi, *args, stdin=None, input_bytes=None):
    return subprocess.run([korvi] + list(args), capture_output=True, timeout=120, stdin=stdin,
                          input=input_bytes)


def test_threads_same_bytes(korvi):
    """Many small batches on several threads give the bytes of one thread,
    records and rejects alike, from a file and from standard input."""
    failures = []
    with tempfile.TemporaryDirectory() as scratch:
        data = os.path.join(scratch, "people.csv")
        subprocess.run([sys.executable, MAKE_SAMPLE, "--count", "2000", "--seed", "7", data], check=True)
        with open(data, "a", newline="") as f:  # rejects among the records
            f.write("C9,too,few\n")
            f.write("C8,Ann,,Lee,1 Main St,Salem,MA,01970,ann@example.com,900-00-0001,555-0100,extra\n")
        with open(data, "rb") as f:
            raw = f.read()
        lines = raw.split(b"\n")
        lines.insert(700, lines[5] + b",1")
        with open(data, "wb") as f:
            f.write(b"\n".join(lines))
        base = run(korvi, "assets", data, "-q", "--threads", "1")
        if base.returncode != 1 or base.stdout.count(b"\n") != 2000:
            failures.append("one thread: exit %d, %d lines" % (base.returncode, base.stdout.count(b"\n")))
        ids = [json.loads(line)["record_id"] for line in base.stdout.splitlines()]
        if ids != ["C%07d" % i for i in range(1, 2001)]:
            failures.append("records out of input order")
        for threads, batch in (("2", "3"), ("4", "1"), ("3", "128"), ("0", "17")):
            other = run(korvi, "assets", data, "-q", "--threads", threads, "--batch-size", batch)
            if (other.returncode, other.stdout, other.stderr) != (base.returncode, base.stdout, base.stderr):
                failures.append("--threads %s --batch-size %s differs from one thread" % (threads, batch))
        with open(data, "rb") as f:
            piped = run(korvi, "assets", "-", "-q", "--threads", "2", "-o", "-", stdin=f)
        if piped.stdout != base.stdout or piped.stderr != base.stderr:
            failures.append("standard input differs from the file")
    return failures


def test_deep_json_nesting(korvi):
    """A JSON line nested deeper than 1000 levels is rejected with its line
    number, first line or not, and the records around it are written; the
    limit counts brackets outside strings only."""
    def deep(levels):
        return "[" * levels + "]" * levels
    depth = "arrays or objects nested deeper than 1000 levels"
    lines = [
        ('{"id":"D1","ssn":%s}' % deep(100000), depth),
        ('{"id":"D2","ssn":"123-45-6789"}', None),
        ('{"id":"D3","ssn":"987-65-4321","extra":%s}' % deep(999), None),  # 1000 with the object
        ('{"id":"D4","ssn":"22","extra":"\\\" %s"}' % ("[" * 5000), None),
        ('{"id":"D5","ssn":"33","extra":%s}' % deep(1000), depth),
        ('{"id":"D6","ssn":%s}' % deep(100000), depth),
    ]
    failures = []
    with tempfile.TemporaryDirectory() as scratch:
        data = os.path.join(scratch, "deep.jsonl")
        with open(data, "w") as f:
            f.write("".join(line + "\n" for line, _ in lines))
        rejects = os.path.join(scratch, "rejects.csv")
        result = run(korvi, "assets", data, "--rejects", rejects)
        if result.returncode != 1:
            failures.append("exit status %d: %s" % (result.returncode, result.stderr.decode()))
        want_out = "".join('{"record_id":"%s","record_type":"person","ssn":%s}\n' % (rid, asset("ssn", rid, ssn))
                           for rid, ssn in (("D2", "123-45-6789"), ("D3", "987-65-4321"), ("D4", "22")))
        if result.stdout.decode() != want_out:
            failures.append("output differs:\n%s" % result.stdout.decode()[:600])
        want_rejects = "line,reason,record\n" + "".join(
            '%d,%s,"%s"\n' % (number, reason, line.replace('"', '""'))
            for number, (line, reason) in enumerate(lines, 1) if reason)
        if not os.path.exists(rejects) or read(rejects).decode() != want_rejects:
            failures.append("rejects differ")
        if b"6 records read, 3 written, 3 rejected" not in result.stderr:
            failures.append("summary: %s" % result.stderr.decode())
    return failures


def test_record_size_limit(korvi):
    """A record over --max-record-size is rejected by its line number alone and
    the reading goes on, with the lines of a skipped quoted field counted;
    one exactly at the limit is kept. A CSV field counts 16 bytes more than
    its length. Over the limit on the first line, JSON keys are guessed from
    the next."""
    limit = "--max-record-size=1K"
    too_long = "record over the size limit of 1024 bytes (--max-record-size)"
    failures = []
    with tempfile.TemporaryDirectory() as scratch:
        # id, ssn and notes cost 1 + 11 + 3 * 16 = 60 bytes besides the notes.
        rows = [("1", "x" * 964), ("2", "x" * 965), ("3", "a\n" * 1500000), ("4", ""), ("5", "x" * 965)]
        data = os.path.join(scratch, "people.csv")
        with open(data, "w", newline="") as f:
            f.write("id,ssn,notes\n" + "".join('%s,123-45-678%s,"%s"\n' % (i, i, n) for i, n in rows))
        jsonl = os.path.join(scratch, "people.jsonl")
        head = '{"id":"5","ssn":"123-45-6785","notes":"'
        with open(jsonl, "w") as f:  # 1025 bytes, then 1024, then 50 MB without a line end
            f.write(head + "y" * (1025 - len(head) - 2) + '"}\r\n')
            f.write(head + "y" * (1024 - len(head) - 2) + '"}\n')
            f.write('{"id":"6","ssn":"123-45-6786"}\n')
            f.write(head + "y" * (50 << 20))
        for path, kept, rejected in ((data, ("1", "4"), [3, 4, 4 + 1500000 + 2]), (jsonl, ("5", "6"), [1, 4])):
            rejects = os.path.join(scratch, "rejects.csv")
            result = run(korvi, "assets", path, "--rejects", rejects, limit, "-q")
            want_out = "".join('{"record_id":"%s","record_type":"person","ssn":%s}\n' % (i, asset("ssn", i, "123-45-678" + i))
                               for i in kept)
            want_rejects = "line,reason,record\n" + "".join("%d,%s,\n" % (line, too_long) for line in rejected)
            if result.returncode != 1 or result.stdout.decode() != want_out:
                failures.append("%s: exit %d, output:\n%s" % (os.path.basename(path), result.returncode,
                                                            result.stdout.decode()[:300]))
            got = read(rejects).decode() if os.path.exists(rejects) else None
            if got != want_rejects:
                failures.append("%s: rejects:\n%s" % (os.path.basename(path), got))
        # The header row counts too; it cannot be skipped.
        result = run(korvi, "assets", data, "--max-record-size", "40")
        if result.returncode != 2 or b"the header row is longer than 40 bytes" not in result.stderr:
            failures.append("long header: exit %d, %s" % (result.returncode, result.stderr.decode()))
    return failures


def test_link_sample(korvi):
    """The bundled linkage sample end to end: both files fingerprinted, then
    linked unsupervised; F1 against the truth file of at least 0.98, and the
    same pairs whatever the thread count."""
    failures = []
    sample = os.path.join(ROOT, "programs", "sample")
    with tempfile.TemporaryDirectory() as scratch:
        for side in ("left", "right"):
            result = run(korvi, "assets", os.path.join(sample, "link-%s.csv" % side), "-q",
                         "-o", os.path.join(scratch, side + ".jsonl"))
            if result.returncode != 0:
                failures.append("assets of the %s file: exit %d" % (side, result.returncode))
        left, right = os.path.join(scratch, "left.jsonl"), os.path.join(scratch, "right.jsonl")
        truth = os.path.join(sample, "link-truth.csv")
        base = run(korvi, "link", left, right, "--truth", truth, "--threads", "1")
        found = re.search(rb"precision ([\d.]+), recall ([\d.]+), F1 ([\d.]+)", base.stderr)
        if base.returncode != 0 or not found or float(found.group(3)) < 0.98:
            failures.append("link: exit %d, %s" % (base.returncode, base.stderr.decode(errors="replace")))
        if not base.stdout.startswith(b"left_id,right_id,probability,match_weight,name,address,"):
            failures.append("pairs header: %r" % base.stdout[:80])
        with open(truth, newline="") as f:
            true_pairs = {(row["left_id"], row["right_id"]) for row in csv.DictReader(f)}
        written = list(csv.DictReader(io.StringIO(base.stdout.decode())))
        hits = sum((row["left_id"], row["right_id"]) in true_pairs for row in written)
        report = "precision %.4f, recall %.4f" % (hits / max(len(written), 1), hits / len(true_pairs))
        if found and report.encode() not in base.stderr:
            failures.append("--truth report %r, counted here %s" % (found.group(0), report))
        other = run(korvi, "link", left, right, "--threads", "3", "-q")
        if other.stdout != base.stdout:
            failures.append("--threads 3 writes other pairs than one thread")
def test_keygen(korvi):
    """keygen writes 64 random hex digits and a line end, to a new file of
    mode 0600 that it never overwrites, or to standard output; key-id reads
    the file back with the id Python's HKDF gives."""
    failures = []
    with tempfile.TemporaryDirectory() as scratch:
        path = os.path.join(scratch, "partner.key")
        made = run(korvi, "keygen", "-o", path)
        text = read(path) if os.path.exists(path) else b""
        if made.returncode != 0 or made.stdout or made.stderr:
            failures.append("keygen -o: exit %d, %r, %r" % (made.returncode, made.stdout, made.stderr))
        if not re.fullmatch(rb"[0-9a-f]{64}\n", text):
            failures.append("key file holds %r" % text)
        elif os.stat(path).st_mode & 0o777 != 0o600:
            failures.append("key file mode %o" % (os.stat(path).st_mode & 0o777))
        again = run(korvi, "keygen", "-o", path)
        if again.returncode != 2 or read(path) != text or text[:-1] in again.stderr:
            failures.append("second keygen -o: exit %d, file changed %s" % (again.returncode, read(path) != text))
        shown = run(korvi, "key-id", "--key-file", path)
        expected = ref.derive(bytes.fromhex(text[:-1].decode() or "00"))[1] + "\n"
        if (shown.returncode, shown.stdout, shown.stderr) != (0, expected.encode(), b""):
            failures.append("key-id: exit %d, %r, %r" % (shown.returncode, shown.stdout, shown.stderr))
        out = run(korvi, "keygen")
        other = run(korvi, "keygen")
        if not re.fullmatch(rb"[0-9a-f]{64}\n", out.stdout) or out.stdout in (other.stdout, text):
            failures.append("keygen to standard output: %r, then %r" % (out.stdout, other.stdout))
    return failures


def test_sample_matches_library(korvi):
    """Every field of every sample record is exactly what the library's
    assets_from_* export returns for it, called here through ctypes."""
    try:
        lib = ctypes.CDLL(os.path.join(os.path.dirname(korvi), "..", "libkorvi.so"))
    except OSError as e:  # a library built for another architecture (i386)
        raise Skip("this Python cannot load the library: %s" % e)
    for fn, count in (("assets_from_name", 5), ("assets_from_address", 3),
                      ("assets_from_city_state_zip", 5), ("assets_from_email_address", 3),
                      ("assets_from_ssn", 3), ("assets_from_phone_number", 3)):
        getattr(lib, fn).restype = ctypes.c_void_p
        getattr(lib, fn).argtypes = [ctypes.c_char_p] * count
    lib.korvi_free.argtypes = [ctypes.c_void_p]

    def call(fn, *args):
        pointer = getattr(lib, fn)(*[a.encode() if a is not None else None for a in args])
        text = ctypes.string_at(pointer).decode()
        lib.korvi_free(pointer)
        return text

    expected = []
    with open(SAMPLE, newline="", encoding="utf-8") as f:
        for row in csv.DictReader(f):
            rid, t = row["customer_id"], "person"
            blank = lambda v: v.strip() == ""
            parts = ['"record_id":%s' % json.dumps(rid), '"record_type":"person"']
            parts.append('"name":' + call("assets_from_name", t, rid, row["first_name"],
                                          None if blank(row["middle_name"]) else row["middle_name"],
                                          row["last_name"]))
            parts.append('"address":' + call("assets_from_address", t, rid, row["address"]))
            parts.append('"city_state_zip":' + call("assets_from_city_state_zip", t, rid, row["city"],
                                                     row["state"], row["zip"]))
            for key, fn, column in (("email_address", "assets_from_email_address", "email"),
                                    ("ssn", "assets_from_ssn", "ssn"),
                                    ("phone_number", "assets_from_phone_number", "phone")):
                value = row[column]
                parts.append('"%s":%s' % (key, "[]" if blank(value) else call(fn, t, rid, value)))
            expected.append("{" + ",".join(parts) + "}\n")
    result = run(korvi, "assets", SAMPLE, "--quiet")
    if result.returncode != 0:
        return ["exit status %d: %s" % (result.returncode, result.stderr.decode())]
    actual = result.stdout.decode().splitlines(keepends=True)
    if len(actual) != len(expected):
        return ["%d lines, expected %d" % (len(actual), len(expected))]
    for number, (got, want) in enumerate(zip(actual, expected), 1):
        if got != want:
            return ["record %d differs:\n%s\nexpected:\n%s" % (number, got[:400], want[:400])]
    return []


def test_shards_concatenate(korvi):
    """The N outputs of --shard I/N joined in order are byte for byte the
    one-job output, for CSV numbered without an id column (with quoted line
    breaks and a rejected record near the cuts) and for JSON Lines; shard
    sizes differ by one record at most; bad shards are usage errors."""
    failures = []
    with tempfile.TemporaryDirectory() as scratch:
        rows = ["first_name,last_name,address,ssn"]
        for i in range(23):
            street = '"%d Oak\nSt, Apt %d"' % (i, i) if i % 4 == 1 else "%d Main St" % i
            rows.append("Ann%d,Lee,%s,900-00-%04d" % (i, street, i))
        rows.insert(9, "too,few")  # a rejected record is a record too
        csv_path = os.path.join(scratch, "people.csv")
        with open(csv_path, "w", newline="") as f:
            f.write("\r\n".join(rows) + "\r\n")
        jsonl_path = os.path.join(scratch, "people.jsonl")
        with open(jsonl_path, "w") as f:
            for i in range(17):
                f.write(json.dumps({"id": "J%d" % i, "ssn": "123-45-%04d" % i}) + ("\n\n" if i == 5 else "\n"))
        for path, records in ((csv_path, 24), (jsonl_path, 17)):
            whole = run(korvi, "assets", path, "-q", "--threads", "1")
            if whole.stdout.count(b"\n") + whole.stderr.count(b"\n") - (1 if whole.stderr else 0) != records:
                failures.append("%s: unexpected one-job output" % path)
            for count in (1, 2, 3, 5, 7, 24, 30):
                parts = []
                for index in range(1, count + 1):
                    part = run(korvi, "assets", path, "-q", "--threads", "2", "--batch-size", "2",
                               "--shard", "%d/%d" % (index, count))
                    if part.returncode not in (0, 1):
                        failures.append("--shard %d/%d: exit %d %s" % (index, count, part.returncode, part.stderr))
                    lines = part.stdout.count(b"\n") + max(part.stderr.count(b"\n") - 1, 0)
                    if lines not in (records // count, -(-records // count)):
                        failures.append("--shard %d/%d of %s: %d records" % (index, count, path, lines))
                    parts.append(part.stdout)
                if b"".join(parts) != whole.stdout:
                    failures.append("%s: %d shards joined differ from one job" % (path, count))
        if b'"record_id":"10"' not in run(korvi, "assets", csv_path, "-q", "--shard", "2/3").stdout:
            failures.append("records of a later shard are not numbered as in the whole input")
        for bad in ("0/3", "4/3", "3", "a/b", "1/0", "-1/2", "1/4294967296"):
            result = run(korvi, "assets", csv_path, "-q", "--shard", bad)
            if result.returncode != 2 or b"--shard" not in result.stderr:
                failures.append("--shard %s: exit %d %s" % (bad, result.returncode, result.stderr))
        with open(csv_path, "rb") as f:
            piped = run(korvi, "assets", "-", "-q", "--shard", "1/2", stdin=f)
        if piped.returncode != 2:
            failures.append("--shard on standard input: exit %d" % piped.returncode)
    return failures


def test_compressed_files(korvi):
    """Outputs named *.gz and *.zst are gzip and zstd streams of the plain
    output (read back with Python's gzip and the zstd tool); inputs so named
    are read through them, concatenated members included; --decompress and
    --compress do the same on standard input and output; damaged input is an
    I/O error."""
    if shutil.which("zstd") is None:
        raise Skip("the zstd tool is not installed (scripts/install-deps.sh installs it)")
    import gzip
    failures = []
    with tempfile.TemporaryDirectory() as scratch:
        at = lambda name: os.path.join(scratch, name)
        plain = run(korvi, "assets", SAMPLE, "-q").stdout
        for name in ("out.jsonl.gz", "out.jsonl.zst"):
            result = run(korvi, "assets", SAMPLE, "-q", "-o", at(name))
            if result.returncode != 0:
                failures.append("writing %s: exit %d" % (name, result.returncode))
        if gzip.decompress(read(at("out.jsonl.gz"))) != plain:
            failures.append("the .gz output is not the plain output")
        unzstd = subprocess.run(["zstd", "-dc", at("out.jsonl.zst")], capture_output=True)
        if unzstd.returncode != 0 or unzstd.stdout != plain:
            failures.append("the .zst output is not the plain output")
        if len(read(at("out.jsonl.gz"))) * 3 > len(plain):
            failures.append("the .gz output is not smaller than a third of the plain output")
        best = run(korvi, "assets", SAMPLE, "-q", "--compression-level", "9", "--compress", "gz").stdout
        if gzip.decompress(best) != plain or len(best) >= len(read(at("out.jsonl.gz"))):
            failures.append("--compression-level 9 is not the same data in fewer bytes than the default")
        if run(korvi, "assets", SAMPLE, "-q", "--compression-level", "12", "-o", at("x.gz")).returncode != 2:
            failures.append("gzip at level 12 is not a usage error")

        raw = read(SAMPLE)
        header, body = raw.split(b"\n", 1)
        cut = body.index(b"\n", len(body) // 2) + 1
        with open(at("two-members.csv.gz"), "wb") as f:  # e.g. two joined shard outputs
            f.write(gzip.compress(header + b"\n" + body[:cut]) + gzip.compress(body[cut:]))
        with open(at("people.csv"), "wb") as f:
            f.write(raw)
        subprocess.run(["zstd", "-q", at("people.csv"), "-o", at("people.csv.zst")], check=True)
        jsonl = b"".join(b'{"id":"J%d","ssn":"123-45-%04d"}\n' % (i, i) for i in range(50))
        with open(at("people.jsonl.gz"), "wb") as f:
            f.write(gzip.compress(jsonl))
        for name in ("two-members.csv.gz", "people.csv.zst"):
            if run(korvi, "assets", at(name), "-q").stdout != plain:
                failures.append("reading %s differs from the plain file" % name)
        if run(korvi, "assets", at("people.jsonl.gz"), "-q").stdout != run(korvi, "assets", "-", "-q",
                                                                              "--format", "jsonl",
                                                                              input_bytes=jsonl).stdout:
            failures.append("*.jsonl.gz is not read as JSON Lines")
        piped = run(korvi, "assets", "-", "-q", "--decompress", "gz", "--compress", "gz",
                    input_bytes=gzip.compress(raw))
        if gzip.decompress(piped.stdout) != plain:
            failures.append("--decompress gz --compress gz on standard input and output")
        with open(at("not-really.csv.gz"), "wb") as f:
            f.write(raw)
        if run(korvi, "assets", at("not-really.csv.gz"), "-q", "--decompress", "none").stdout != plain:
            failures.append("--decompress none does not read a *.gz name as it stands")

        with open(at("cut.csv.gz"), "wb") as f:
            f.write(gzip.compress(raw)[:2000])
        with open(at("junk.csv.zst"), "wb") as f:
            f.write(b"not zstd at all\n")
        for name, message in (("cut.csv.gz", b"ends early"), ("junk.csv.zst", b"not valid zstd data")):
            result = run(korvi, "assets", at(name), "-q")
            if result.returncode != 2 or message not in result.stderr:
                failures.append("%s: exit %d, %r" % (name, result.returncode, result.stderr))
    return failures


def test_progress_on_terminal(korvi):
    """With standard error on a terminal a progress bar is drawn and erased
    before the summary, by `korvi assets` and by `korvi link`; --quiet draws
    nothing."""
    failures = []
    sample = os.path.join(os.path.dirname(SAMPLE), "link-%s.csv")
    with tempfile.TemporaryDirectory() as scratch:
        assets = [os.path.join(scratch, side + ".jsonl") for side in ("left", "right")]
        for side, path in zip(("left", "right"), assets):
            run(korvi, "assets", sample % side, "-o", path, "-q")
        commands = (
            (["assets", SAMPLE, "-o", os.devnull], rb"\r\x1b\[Kkorvi: 300 records read, 300 written, 0 rejected \("),
            (["link"] + assets + ["-o", os.devnull], rb"\r\x1b\[Kkorvi: model fitted by EM on \d+ pairs"),
        )
        for command, summary in commands:
            for quiet in (False, True):
                failures += [command[0] + ": " + f for f in _progress(korvi, command, quiet, summary)]
    return failures


def _progress(korvi, command, quiet, summary):
    failures = []
    master, slave = pty.openpty()
    args = [korvi] + command + (["--quiet"] if quiet else [])
    process = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=slave)
    os.close(slave)
    seen = b""
    while True:
        ready, _, _ = select.select([master], [], [], 60)
        if not ready:
            break
        try:
            chunk = os.read(master, 4096)
        except OSError:  # the terminal is gone once the command ends
            break
        if not chunk:
            break
        seen += chunk
    os.close(master)
    status = process.wait(timeout=60)
    if status != 0:
        failures.append("exit status %d" % status)
    if quiet:
        if seen:
            failures.append("--quiet wrote to the terminal: %r" % seen)
        return failures
    # A fast run may end before the first frame after 0% is due.
    bar = re.search(rb"\r\[#*\.*\] +\d+% \d+ records  \d+/s  0:0\d", seen)
    if bar is None:
        failures.append("no progress bar in %r" % seen)
    if re.search(summary, seen) is None:
        failures.append("the bar is not erased before the summary: %r" % seen)
    return failures


def main():
    if len(sys.argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    korvi = os.path.abspath(sys.argv[1])
    cases = sorted(os.listdir(os.path.join(HERE, "cases")))
    functions = {name[5:]: fn for name, fn in globals().items() if name.startswith("test_")}
    names = sys.argv[2:] or cases + sorted(functions)
    passed = failed = skipped = 0
    for name in names:
        try:
            if name in functions:
                failures = functions[name](korvi)
            elif name in cases:
                failures = run_case(korvi, name)
            else:
                failures = ["no such test"]
        except subprocess.TimeoutExpired as e:  # a hang is a failure too
            failures = ["no answer within %d s: %s" % (e.timeout, " ".join(e.cmd))]
        except Skip as e:
            skipped += 1
            print("skip %s: %s" % (name, e))
            continue
        if failures:
            failed += 1
            print("FAIL %s\n  %s" % (name, "\n  ".join(failures)))
        else:
            passed += 1
            print("ok   %s" % name)
    print("%d passed, %d failed, %d skipped" % (passed, failed, skipped))
    if failed:
        return 1
    return SKIPPED if skipped and not passed else 0


if __name__ == "__main__":
    sys.exit(main())
