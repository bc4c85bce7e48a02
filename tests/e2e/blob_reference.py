"""Check blobs made without the system's code: the light cipher from its key-stream
definition, RC2 with `openssl enc`, and RC2 with the platform's own CryptEncrypt
through the Windows probe run under Wine. The forced key is read with `pwcmd key`."""

import base64
import hashlib
import os
import shutil
import subprocess
import tempfile

from harness import run_wine


_cache = {}


def _wine_env(prefix):
    return dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all",
                WINEDLLOVERRIDES="mscoree,mshtml=d", DISPLAY="")


def pwcmd(t, *args):
    """Runs the target's pwcmd; its standard output, without the line end."""
    if t.name == "wine":
        proc = t.wine(os.path.join(t.bin, "pwcmd.exe"), *args)
    else:
        proc = subprocess.run([os.path.join(t.bin, "pwcmd"), *args], env=t.env,
                              capture_output=True, timeout=60)
    if proc.returncode != 0:
        raise AssertionError("pwcmd %r failed: %r" % (args, proc.stderr))
    return proc.stdout.decode("cp1252").rstrip("\r\n")


def forced_key(t):
    if "key" not in _cache:
        _cache["key"] = bytes.fromhex(pwcmd(t, "key"))
    return _cache["key"]


def b64(data):
    return base64.b64encode(data).decode()


def light_blob(key, data):
    """data XOR the key stream: the key, the key reversed, the key again, ..."""
    n = len(key)
    stream = [key[i % n] if (i // n) % 2 == 0 else key[n - 1 - i % n] for i in range(len(data))]
    return bytes(d ^ s for d, s in zip(data, stream))


def openssl_available():
    return shutil.which("openssl") is not None


def openssl_rc2_blob(key, data):
    """RC2, 40-bit key from the first five bytes of MD5(key), 40 effective bits, CBC,
    zero IV, PKCS #5 padding: what the base provider derives with CRYPT_NO_SALT."""
    rc2_key = hashlib.md5(key).digest()[:5].hex()
    proc = subprocess.run(["openssl", "enc", "-e", "-rc2-40-cbc", "-K", rc2_key, "-iv", "0" * 16,
                           "-provider", "legacy", "-provider", "default"],
                          input=data, capture_output=True, timeout=60)
    if proc.returncode != 0:
        raise AssertionError("openssl enc failed: %r" % proc.stderr)
    return proc.stdout


def wine_probe():
    """The Windows build's blob_probe.exe, or None when it or Wine is missing."""
    bin_dir = os.environ.get("PW_WINDOWS_BIN_DIR", "")
    probe = os.path.join(bin_dir, "blob_probe.exe")
    return probe if bin_dir and os.path.exists(probe) and shutil.which("wine") else None


def wine_command(t, hive, key, name, type_, data):
    """A 'B' command text whose check blob Wine's CryptEncrypt made."""
    args = [wine_probe(), forced_key(t).hex(), hive, key, name, type_, data.hex()]
    if t.name == "wine":
        proc = t.wine(*args)
    else:
        if "prefix" not in _cache:
            _cache["prefix"] = tempfile.mkdtemp(prefix="pw-e2e-probe-")
        proc = run_wine(["wine"] + args, _wine_env(_cache["prefix"]), timeout=300)
    if proc.returncode != 0:
        raise AssertionError("blob_probe failed: %r" % proc.stderr)
    return proc.stdout.decode().rstrip("\r\n")


def close():
    prefix = _cache.pop("prefix", None)
    if prefix:
        subprocess.run(["wineserver", "-k"], env=_wine_env(prefix), stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
        shutil.rmtree(prefix, ignore_errors=True)
