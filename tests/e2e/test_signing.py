"""Signed builds, and copies of them that the repackager leaves cleanly unsigned."""
import os
import shutil
import subprocess

import pytest

from conftest import BUILD, exe, sha256
from harness import pe, wine
from harness.driver import Updater, windows_path
from helpers import SEND, progress, to_network, wait_for_face
from test_repackager import repackage

PASSWORD = "throwaway-Passw0rd"
SECURITY = 4  # the certificate table's data directory


def _run(*args, **kw):
    return subprocess.run(args, capture_output=True, text=True, timeout=600, **kw)


@pytest.fixture(scope="module")
def signer(tmp_path_factory):
    """A throwaway code-signing certificate, its key, and both in a password-protected PKCS#12."""
    d = tmp_path_factory.mktemp("signer")
    _run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
         "-subj", "/CN=Updater Test Signer", "-addext", "extendedKeyUsage=codeSigning",
         "-keyout", str(d / "key.pem"), "-out", str(d / "cert.pem"), check=True)
    _run("openssl", "pkcs12", "-export", "-inkey", str(d / "key.pem"), "-in", str(d / "cert.pem"),
         "-out", str(d / "signer.p12"), "-passout", "env:UPDATER_SIGN_PASSWORD", check=True,
         env={**os.environ, "UPDATER_SIGN_PASSWORD": PASSWORD})
    return d


@pytest.fixture(scope="module")
def signed(signer, tmp_path_factory):
    """updater.exe built and signed with the PKCS#12 file, its password from the environment."""
    build = tmp_path_factory.mktemp("signed-build")
    env = {**os.environ, "UPDATER_SIGN_PASSWORD": PASSWORD}
    _run("cmake", "-S", wine.ROOT, "-B", str(build), "-DUPDATER_TESTS=OFF",
         f"-DUPDATER_SIGN_PKCS12={signer / 'signer.p12'}", check=True, env=env)
    _run("cmake", "--build", str(build), "--target", "updater", "-j2", check=True, env=env)
    return build / "updater.exe"


def verify(path, *args):
    result = _run("osslsigncode", "verify", *args, "-in", str(path))
    return result.returncode, result.stdout + result.stderr


def test_signed_build_verifies_against_its_certificate(signed, signer):
    code, output = verify(signed, "-CAfile", str(signer / "cert.pem"))
    assert code == 0, output
    assert "Signature verification: ok" in output
    assert pe.directory_entry(signed, SECURITY) != (0, 0)
    assert PASSWORD not in open(os.path.join(os.path.dirname(signed), "CMakeCache.txt")).read()
    # Executable like the unsigned build, not left with the signing tool's new-file mode.
    mode = os.stat(signed).st_mode & 0o777
    assert mode & 0o100 and mode == os.stat(exe("updater")).st_mode & 0o777


STAND_IN = """#!/bin/sh
# Records its arguments, then writes -out as a copy of -in: no server is asked.
printf '%s\\n' "$@" >>"$0.calls"
printf '%s\\n' -- >>"$0.calls"
while [ $# -gt 0 ]; do
  case $1 in -in) in=$2 ;; -out) out=$2 ;; esac
  shift
done
cp "$in" "$out"
"""


def test_time_stamp_is_asked_for_by_rfc3161_unless_legacy_is_chosen(tmp_path):
    tool = tmp_path / "osslsigncode"
    tool.write_text(STAND_IN)
    tool.chmod(0o755)
    url = "http://127.0.0.1:9/timestamp"
    (tmp_path / "updater.exe").write_bytes(b"MZ")
    for protocol in ([], ["legacy"]):
        _run(os.path.join(wine.ROOT, "cmake", "sign.sh"), str(tmp_path / "updater.exe"), "", "",
             str(tmp_path / "signer.p12"), url, *protocol, check=True,
             env={**os.environ, "OSSLSIGNCODE": str(tool)})
    calls = (tmp_path / "osslsigncode.calls").read_text().split("--\n")[:-1]
    rfc3161, legacy = (call.splitlines() for call in calls)
    assert rfc3161[:2] == legacy[:2] == ["sign", "-h"]
    assert "-ts" in rfc3161 and rfc3161[rfc3161.index("-ts") + 1] == url
    assert "-t" not in rfc3161
    assert "-t" in legacy and legacy[legacy.index("-t") + 1] == url
    assert "-ts" not in legacy


def test_a_copy_of_a_signed_updater_is_unsigned_and_runs(signed, tmp_path, cups, printers):
    cups.set_queues({})
    source = tmp_path / "signed.exe"
    shutil.copyfile(signed, source)
    before = sha256(source.read_bytes())
    image = os.urandom(54321)
    (tmp_path / "image.bin").write_bytes(image)
    copy = tmp_path / "copy.exe"
    repackage(str(source), str(copy), caption="Signed copy", wait="1",
              embed=str(tmp_path / "image.bin"))
    assert sha256(source.read_bytes()) == before

    # Unsigned as any verifier sees it: no certificate table, and none of its bytes left behind.
    assert pe.directory_entry(copy, SECURITY) == (0, 0)
    offset, size = pe.directory_entry(source, SECURITY)
    assert source.read_bytes()[offset:offset + size] not in copy.read_bytes()
    assert pe.checksum_field(copy) == pe.computed_checksum(copy)

    printer = printers(port=9100)
    with Updater(copy) as u:
        assert u.main.title == "Signed copy"
        to_network(u)
        u.main.control(SEND).click()
        assert printer.wait_connections(1, timeout=120) == [image]
        wait_for_face(u, timeout=60)
        assert progress(u)[1:] == (0, 10)


def test_an_unsigned_copy_differs_from_a_plain_copy_only_in_its_checksum(tmp_path, cups):
    """The fewest calls that write the same string block into a copy give the same bytes, but
    for the header checksum, which the repackager now gets right."""
    cups.set_queues({})
    source = tmp_path / "source.exe"
    shutil.copyfile(exe("updater-wait2"), source)
    ours, plain = tmp_path / "ours.exe", tmp_path / "plain.exe"
    repackage(str(source), str(ours), caption="Bench caption", wait="3")
    done = _run("wine", os.path.join(BUILD, "tests", "floor.exe"), "repack",
                windows_path(source), windows_path(plain), input="go\n", env=wine.env())
    assert "done" in done.stdout, done.stdout + done.stderr

    ours_bytes, plain_bytes = ours.read_bytes(), plain.read_bytes()
    field = pe.checksum_offset(ours)
    assert len(ours_bytes) == len(plain_bytes)
    assert ours_bytes[:field] == plain_bytes[:field]
    assert ours_bytes[field + 4:] == plain_bytes[field + 4:]
    assert pe.checksum_field(ours) == pe.computed_checksum(ours)
