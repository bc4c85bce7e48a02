"""'B' and 'N': a registry value written only when its check blob, decrypted under
the forced key, equals the value data. Blobs are made independently of the system:
openssl and Wine's CryptEncrypt for 'B', the key-stream definition for 'N'."""

import os
import stat
import unittest

import blob_reference as ref
from harness import TargetTest, separator, text_line

TOP = r"Software\PwBlobTest"
KEY = TOP + r"\Store"
HKCU_KEY = "HKCU\\" + KEY
HKLM_KEY = "HKLM\\" + KEY
DATA = b"value!"  # six bytes: eight base64 characters, no padding
NTE_BAD_DATA = -2146893819  # 0x80090005 as the trace prints it


def store(*steps):
    """Trace steps of the blob store: (separator, text)."""
    return [(b"@", b"PWEXE Storage_Manager_No_console::" + step) for step in steps]


def crypto(prefix, *steps):
    return [(b"=", prefix + step) for step in steps]


class Expected:
    """Trace lines as the writer lays them out: a start line goes one level deeper
    (at most 24), its end line stands at the same level and comes back out."""

    def __init__(self):
        self.depth, self.lines = -1, []

    def start(self, sep, text):
        self.depth = min(self.depth + 1, 24)
        self.lines += [separator(sep, self.depth), text_line(text, self.depth)]

    def line(self, text):
        self.lines.append(text_line(text, max(self.depth, 0)))

    def end(self, sep, text):
        d = max(self.depth, 0)
        self.lines += [text_line(text, d), separator(sep, d)]
        if self.depth >= 1:
            self.depth -= 1

    def step(self, sep, text):  # a start line when `text` ends in start, else an end line
        (self.start if text.lower().endswith(b"start") else self.end)(sep, text)


class BlobStoreTest(TargetTest):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.key = ref.forced_key(cls.t)

    @classmethod
    def tearDownClass(cls):
        ref.close()

    def setUp(self):
        super().setUp()
        if self.t.name == "wine":  # the reset there clears only the system's own keys
            for root in ("HKCU\\", "HKLM\\"):
                self.t.delete_key(root + TOP)

    def blob(self, letter, data):
        if letter == "N":
            return ref.light_blob(self.key, data)
        if not ref.openssl_available():
            self.skipTest("openssl is not installed")
        return ref.openssl_rc2_blob(self.key, data)

    def command(self, letter, data, blob=None, hive="C", key=KEY, name="V", type_="B"):
        blob = self.blob(letter, data) if blob is None else blob
        blob_text = blob if isinstance(blob, str) else ref.b64(blob)
        data_text = data if isinstance(data, str) else ref.b64(data)
        return ",".join([letter, hive, key, name, type_, data_text, blob_text])

    def test_each_type_is_written_with_exactly_the_decoded_bytes(self):
        cases = [("B", 3, b"\x00\xff\x10\x00\x80"), ("D", 4, b"\x2a\x00\x00\x00"),
                 ("D", 4, b"\x01\x02"),  # a REG_DWORD as long as its data
                 ("S", 1, b"no terminator"), ("S", 1, b"terminated\x00"),
                 ("Sxyz", 1, b"letters after the first are ignored")]
        hives = [("C", HKCU_KEY), ("L", HKLM_KEY), ("Cx", HKCU_KEY)]  # "Cx": the first letter counts
        for letter in "BN":
            for i, (type_, reg_type, data) in enumerate(cases):
                hive, root = hives[i % len(hives)]
                with self.subTest(letter=letter, type=type_, hive=hive):
                    name = "%s-%d" % (letter, i)
                    self.run_ok(self.command(letter, data, hive=hive, name=name, type_=type_))
                    self.assertEqual(self.t.value(root, name), (reg_type, data))
            # Writing a value again replaces it, type and all.
            self.run_ok(self.command(letter, b"2nd", name=letter + "-3", type_="B"))
            self.assertEqual(self.t.value(HKCU_KEY, letter + "-3"), (3, b"2nd"))
        # '!' and '*' are no base64 characters: they decode like 'A'. "====" is one byte.
        for data_text, data in [("A!*A", b"\0\0\0"), ("QU*=", b"A@"), ("====", b"\0")]:
            with self.subTest(data=data_text):
                self.run_ok(self.command("N", data_text, ref.light_blob(self.key, data)))
                self.assertEqual(self.t.value(HKCU_KEY, "V"), (3, data))

    def test_blobs_from_wines_cryptencrypt_and_commands_from_pwcmd_are_accepted(self):
        for args, expected in [
            (["B", "C", KEY, "Port", "D", "number", "8443"], (4, (8443).to_bytes(4, "little"))),
            (["N", "C", KEY, "Mode", "S", "text", "gateway", "--zero"], (1, b"gateway\0")),
            (["N", "L", KEY, "Raw", "B", "hex", "00 ff 10"], (3, b"\x00\xff\x10")),
        ]:
            with self.subTest(args=args):
                self.run_ok(ref.pwcmd(self.t, *args))
                root = HKCU_KEY if args[1] == "C" else HKLM_KEY
                self.assertEqual(self.t.value(root, args[3]), expected)
        if not ref.wine_probe():
            self.skipTest("blob_probe.exe of the Windows build (PW_WINDOWS_BIN_DIR) or Wine missing")
        for data in [b"x", b"eight by", b"\x00" * 17]:
            with self.subTest(length=len(data)):
                self.run_ok(ref.wine_command(self.t, "L", KEY, "W", "B", data))
                self.assertEqual(self.t.value(HKLM_KEY, "W"), (3, data))

    def failures(self, letter):
        """(command text, code), in the order the checks are made."""
        good = self.blob(letter, DATA)
        other = bytes([DATA[0] ^ 1]) + DATA[1:]
        c = lambda *args, **kw: self.command(letter, *args, **kw)  # noqa: E731
        cases = [
            (c(DATA, hive="X"), 7009), (c(DATA, hive=""), 7009),
            (c("AAA", "A", hive="X"), 7009),  # the hive comes first
            (c("AAA", good), 7012), (c("", good), 7012),  # not a multiple of 4
            (c("AAA", "A"), 7012),  # the data decode before the blob
            (c(DATA, "AAAAA"), 7012), (c(DATA, ""), 7012),
            (c(DATA, self.blob(letter, other)), 7013),
            (c(DATA, self.blob(letter, DATA + b"x")), 7014),
            (c(DATA, self.blob(letter, DATA[:-1])), 7014),
            (c(DATA, good, type_="X"), 7010), (c(DATA, good, type_=""), 7010),  # the type only then
            (c(DATA, self.blob(letter, other), type_="X"), 7013),
            (c(DATA, good) + ",extra", 7011), (",".join(c(DATA, good).split(",")[:-1]), 7011)]
        if letter == "N":
            flipped = bytearray(good)
            flipped[-1] ^= 0x80
            cases.append((c(DATA, bytes(flipped)), 7013))
            # An RC2 blob is no light-cipher blob: 8 bytes for 6 bytes of data.
            cases.append((c(DATA, ref.openssl_rc2_blob(self.key, DATA)
                            if ref.openssl_available() else good + b"xx"), 7014))
        else:
            cases += [(c(DATA, good[:5]), 3512), (c(DATA, good + good[:4]), 3512),  # part blocks
                      # One block whose last plaintext byte is 0: no valid padding.
                      (c(DATA, self.blob("B", b"\0" * 8)[:8]), 3512),
                      (c(DATA, good[:5], type_="X"), 3512)]
        return cases

    def test_every_failure_leaves_the_registry_untouched(self):
        for letter in "BN":
            for i, (text, code) in enumerate(self.failures(letter)):
                # Every other case names the local machine's hive instead.
                hive, root = ("L", "HKLM\\") if i % 2 else ("C", "HKCU\\")
                text = text.replace(",C,", "," + hive + ",", 1)
                with self.subTest(text=text):
                    self.assertEqual(self.t.run(text).code, code)
                    self.assertFalse(self.t.key_exists(root + TOP), "a key was created")

    def test_a_machine_hive_that_denies_writes_gives_7001(self):
        self.skip_on("wine", "reg.exe cannot deny writes to a hive under Wine")
        self.run_ok("H,5")  # the machine hive exists
        hive = self.t.hive_file()
        os.chmod(hive, stat.S_IRUSR | stat.S_IRGRP | stat.S_IROTH)
        try:
            for letter in "BN":
                self.assertEqual(self.t.run(self.command(letter, DATA, hive="L")).code, 7001)
            self.run_ok(self.command("N", DATA, hive="C"))  # the user's hive is writable
        finally:
            os.chmod(hive, stat.S_IRUSR | stat.S_IWUSR)
        self.assertFalse(self.t.key_exists(HKLM_KEY))

    def check_trace(self, text, result, steps):
        """Runs `text` with the trace on; its log must be WinMain's lines around storeBlob's
        start, getParams, the start of checkBlob and decryptBlob, and then `steps`."""
        self.t.trace_on()
        self.assertEqual(self.t.run(text).code, result)
        e = Expected()
        e.start(b"@", b"PWEXE MAIN - Start")
        e.line(text.encode())
        e.line(b"PWEXE MAIN - entering the switch")
        for sep, step in store(b"storeBlob - Start", b"getParams - Start", b"getParams - End",
                               b"checkBlob - Start", b"decryptBlob - Start") + steps:
            e.step(sep, step) if sep else e.line(step)
        e.line(b"lReturn=%d" % result)
        e.end(b"@", b"PWEXE MAIN - end")
        self.assertEqual(self.t.masked_log(), e.lines)

    def test_trace_of_a_successful_n(self):
        light, proxy = b"lightCrypto_Manager::", b"PwCryptoApiVB::"
        self.check_trace(self.command("N", DATA), 0, crypto(
            proxy, b"PWpxyInit_ForcedKey - Start") + crypto(
            light, b"CryptoInit - start", b"ForceKey - start", b"ForceKey - end",
            b"CreateInvKey - start", b"CreateInvKey - end", b"CryptoInit - end") + crypto(
            proxy, b"PWpxyInit_ForcedKey - End", b"PWpxyDecrypt - Start") + crypto(
            light, b"DataDecrypt - start", b"DataEncrypt - start", b"BuildTempKey - start",
            b"BuildTempKey - end", b"DataEncrypt - end", b"DataDecrypt - end") + crypto(
            proxy, b"PWpxyDecrypt - End") + store(
            b"decryptBlob - End", b"checkBlob - End", b"storeBlob - End true"))

    def test_trace_of_a_b_blob_that_cryptdecrypt_rejects(self):
        proxy = b"PwCryptoApiVB_MSCrypto::"
        self.check_trace(self.command("B", DATA, self.blob("B", DATA)[:5]), 3512, crypto(
            proxy, b"PWpxyInit - Start", b"PWpxyInit - End", b"PWpxyDecrypt - Start") + [
            (None, b"crypto error traced: [%d]" % NTE_BAD_DATA),
            (None, b"*** SetError:[3512] ***")] + crypto(
            proxy, b"PWpxyDecrypt - End (failed to decrypt)") + store(
            b"decryptBlob - ms_error (unable to decrypt)",
            b"checkBlob - End false (unable to decrypto blob)", b"storeBlob - End false"))


if __name__ == "__main__":
    unittest.main()
