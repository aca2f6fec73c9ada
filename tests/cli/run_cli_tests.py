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
                the one-asset array of an ssn, phone_number or email_address
  {{kh:TEXT}}, {{kasset|FIELD|ID|VALUE}}
                the same keyed (Python's hmac) with the test key 0x00..0x1f
  {{*}}         any text within one line; {{...}} any text at all
The functions named test_* below are tests too, named without "test_".
Exit status: 0 all passed, 1 some failed, 77 all skipped.
"""
import ctypes
import csv
import hashlib
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
SALT = b"Qm7pZ2vX+9LcT4nB8rKs1A"
SAMPLE = os.path.join(ROOT, "programs", "sample", "people.csv")
MAKE_SAMPLE = os.path.join(ROOT, "programs", "sample", "make_sample.py")
SUMMARY_TIME = re.compile(rb"\(\d+\.\d\d s, \d+ records/s\)")


def h(text, digits=16):
    data = text if isinstance(text, bytes) else text.encode()
    return hashlib.sha512(data + SALT).hexdigest()[:digits]


def load_keyed_reference():
    import importlib.util
    spec = importlib.util.spec_from_file_location(
        "reference_keyed", os.path.join(ROOT, "tests", "core", "reference_keyed.py"))
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


KEYED = load_keyed_reference()


def kh(text, digits=16):
    data = text if isinstance(text, bytes) else text.encode()
    return KEYED.keyed_fp(KEYED.TEST_KEY, data, digits == 16)


def asset(field, record_id, value, record_type="person", hash=h):
    if field in ("ssn", "phone_number"):
        fingerprint = hash("".join(c for c in value if c.isascii() and c.isdigit()))
    elif field == "email_address":
        # The cleaned address (upper case, punctuation kept) is hashed, then
        # the hex text of that hash; only ASCII addresses are used here.
        fingerprint = hash(hash(value.upper()))
    else:
        raise ValueError("no hand-computed assets for " + field)
    return ('[{"fingerprints":["%s"],"metadata":{"record_type":"%s","record_id":"%s",'
            '"field":"%s","variant_id":"1"}}]' % (fingerprint, record_type, record_id, field))


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
        expected = KEYED.derive(bytes.fromhex(text[:-1].decode() or "00"))[1] + "\n"
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


def test_progress_on_terminal(korvi):
    """With standard error on a terminal a progress bar is drawn and erased
    before the summary; --quiet draws nothing."""
    failures = []
    for quiet in (False, True):
        master, slave = pty.openpty()
        args = [korvi, "assets", SAMPLE, "-o", os.devnull] + (["--quiet"] if quiet else [])
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
            continue
        bar = re.search(rb"\r\[#+\.*\] +\d+% \d+ records  \d+/s  0:0\d", seen)
        if bar is None:
            failures.append("no progress bar in %r" % seen)
        summary = re.search(rb"\r\x1b\[Kkorvi: 300 records read, 300 written, 0 rejected \(", seen)
        if summary is None:
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
