"""'K' (the gateway certificate has a usable private key) and 'E' (the gateway
certificate removed), on certificates and PFX files made by openssl and put on the
machine with pwmachine certutil, as an administrator would.

Wine 8 departs from Windows in two ways these cases meet (Windows wins):
  - a deletion from a registry-backed store reaches Wine's registry only on an explicit
    commit, which 'E' (like the system it serves) never makes: under Wine a removal is
    judged by its code and trace, on the portable build also by the store's contents;
  - Wine lists the machine's certificates in the current user's "MY" store too, so the
    user-store case of 'K' runs on the portable build only.
"""

import os
import re
import subprocess
import tempfile
import unittest

from harness import TargetTest, separator, text_line

SUBJECT = "HWID, abc, Velmora Portwyn Certificate"
K_HWID = "K,HWID: abc: Velmora Portwyn Certificate"
STORES = r"Software\Microsoft\SystemCertificates"
WINE_KEYS = r"Software\Wine\Crypto\RSA"


def framed(events):
    """The masked trace lines of (kind, text) events: kind 'start', 'end' or 'plain'
    with '@' framing, 'cstart' with '=' framing. The nesting starts at -1, a start line
    deepens it (up to 24) before it is written, an end line lifts it after."""
    lines, depth = [], -1
    for kind, text in events:
        text = text.encode("cp1252") if isinstance(text, str) else text
        if kind in ("start", "cstart"):
            depth = min(depth + 1, 24)
            lines += [separator(b"=" if kind == "cstart" else b"@", depth), text_line(text, depth)]
        elif kind == "end":
            lines += [text_line(text, max(depth, 0)), separator(b"@", max(depth, 0))]
            depth = depth - 1 if depth >= 1 else depth
        else:
            lines.append(text_line(text, max(depth, 0)))
    return lines


def main(command, result, handler):
    return ([("start", "PWEXE MAIN - Start"), ("plain", command),
             ("plain", "PWEXE MAIN - entering the switch")] + handler +
            [("plain", "lReturn=%d" % result), ("end", "PWEXE MAIN - end")])


def lookup(subjects, found):
    """GetCertificate's lines over certificates rendering as `subjects` (None: empty)."""
    events = [("start", "PWexe PW_checker::GetCertificate - Start")]
    for s in subjects:
        events.append(("start", "PWEXE PW_checker::GetCertificateString - Start"))
        if s is None:
            events.append(("end", "PWEXE PW_checker::GetCertificateString - End False"))
        else:
            events += [("start", s), ("end", "PWEXE PW_checker::GetCertificateString - End TRUE")]
    events.append(("end", "PWexe GetCertificate - END TRUE" if found
                   else "PWexe PW_checker::GetCertificate - END FALSE"))
    return events


def openssl(*args):
    subprocess.run(["openssl"] + list(args), check=True, capture_output=True)


class CertStoreTest(TargetTest):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.files = tempfile.mkdtemp(prefix="certs-", dir=cls.t.work)
        for name, subject in [("hwid", "/CN=HWID/OU=abc/O=Velmora Portwyn Certificate"),
                              ("virtual", "/CN=VIRTUAL/OU=xyz/O=Velmora Portwyn Certificate"),
                              ("lower", "/CN=hwid/OU=low/O=Velmora Portwyn Certificate"),
                              ("twin1", "/CN=HWID/OU=twin/O=Velmora Portwyn Certificate"),
                              ("twin2", "/CN=HWID/OU=twin/O=Velmora Portwyn Certificate")]:
            cls.make(name, subject)
        # Certificates with an empty subject on both sides of "lower" in thumbprint
        # order, so that one comes before it whichever way a platform enumerates. A
        # "lower" whose thumbprint lies near either end would keep the loop going for
        # thousands of keys, so after a few tries it is made again too.
        while not all(cls.make_beside("lower", name, before)
                      for name, before in (("empty_lo", True), ("empty_hi", False))):
            cls.make("lower", "/CN=hwid/OU=low/O=Velmora Portwyn Certificate")

    @classmethod
    def make_beside(cls, other, name, before, tries=12):
        """Makes `name` with an empty subject until its thumbprint sorts before (or
        after) that of `other`; False when `tries` certificates did not."""
        for _ in range(tries):
            cls.make(name, "/")
            if (cls.thumb(name) < cls.thumb(other)) == before:
                return True
        return False

    @classmethod
    def make(cls, name, subject):
        key, pem = cls.path(name + ".key"), cls.path(name + ".pem")
        openssl("req", "-x509", "-newkey", "rsa:1024", "-nodes", "-keyout", key, "-out", pem,
                "-subj", subject, "-days", "30")
        openssl("pkcs12", "-export", "-in", pem, "-inkey", key, "-out", cls.path(name + ".pfx"),
                "-passout", "pass:pw")

    @classmethod
    def path(cls, name):
        return os.path.join(cls.files, name)

    @classmethod
    def thumb(cls, name):
        out = subprocess.run(["openssl", "x509", "-in", cls.path(name + ".pem"), "-noout",
                              "-fingerprint", "-sha1"], check=True, capture_output=True,
                             text=True).stdout
        return out.split("=", 1)[1].strip().replace(":", "")

    def setUp(self):
        super().setUp()
        if self.t.name == "wine":  # the reset there clears only the system's own keys
            for root in ("HKLM", "HKCU"):
                for key in (STORES + r"\My", WINE_KEYS):
                    self.t.delete_key(root + "\\" + key)

    # ---- helpers ----
    def certutil(self, *args):
        r = self.t.certutil(*args)
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        return r.stdout

    def import_pfx(self, name, *extra):
        self.certutil(*(extra[:1] if extra[:1] == ("-user",) else ()), "-p", "pw", "-importPFX",
                      self.path(name + ".pfx"), *(extra[1:] if extra[:1] == ("-user",) else extra))

    def key_lines(self, user=False):
        """(container, provider) of the first certificate with a key in a personal store."""
        out = self.certutil(*(["-user"] if user else []), "-store", "My")
        container = re.search(r"Key Container = (.*)", out).group(1)
        provider = re.search(r"Provider = (.*)", out).group(1)
        return container, provider

    def listed(self, user=False, store="My"):
        out = self.certutil(*(["-user"] if user else []), "-store", store)
        return re.findall(r"Subject: (.*)", out)

    def check(self, command, code):
        self.t.trace_on()
        r = self.t.run(command)
        self.assertEqual(r.code, code, r)
        return self.t.masked_log()

    # ---- 'K' ----
    def k_events(self, container, provider, key_found, failure=None):
        events = [("start", "PWExe PW_checker::getPrivateKey - START")]
        if failure == "property":
            return events + [("plain", None), ("plain", "getcontextproperty failed"),
                             ("end", "PWExe PW_checker::getPrivateKey - END FALSE")]
        events += [("plain", "PWExe PW_checker::getPrivateKey - Provider Info Start"),
                   ("plain", "Provider Name : " + provider),
                   ("plain", "Provider Container Name : " + container),
                   ("plain", "PWExe PW_checker::getPrivateKey - Provider Info End")]
        if failure == "acquire":
            return events + [("plain", None), ("plain", "cryptacquirecontext failed"),
                             ("end", "PWExe PW_checker::getPrivateKey - END FALSE")]
        if failure == "userkey":
            return events + [("plain", None),
                             ("plain", "PWExe PW_checker::getPrivateKey - getuserkey failed"),
                             ("end", "PWExe PW_checker::getPrivateKey - END FALSE")]
        return events + [("plain", "PWExe PW_checker::getPrivateKey - Private key found"),
                         ("end", "PWExe PW_checker::getPrivateKey - END TRUE")]

    def k_log(self, result, key_events, seen=(SUBJECT,)):
        found = key_events is not None
        handler = [("start", "PWExe PW_checker::checkPrivateKey - start"),
                   ("start", "PWEXE PW_checker::OpenStore - Start"),
                   ("end", "PWEXE PW_checker::OpenStore - end true")]
        handler += lookup(seen, found)
        if not found:
            handler.append(("end", "PWExe PW_checker::checkPrivateKey - return FALSE"))
        else:
            handler += key_events + [("start", "PWEXE PW_checker::CloseStore - START"),
                                     ("end", "PWEXE PW_checker::CloseStore - END")]
            handler.append(("end", "PWExe PW_checker::checkPrivateKey - return TRUE" if result == 0
                            else "PWExe PW_checker::checkPrivateKey - end"))
        return main(K_HWID, result, handler)

    def assert_log(self, log, events):
        """The log matches the events; a None text stands for the crypto error line,
        whose code is the platform's own."""
        expected = framed([(k, t if t is not None else "crypto error traced: [0]")
                           for k, t in events])
        self.assertEqual(len(log), len(expected), b"\n".join(log))
        for got, want in zip(log, expected):
            if b"crypto error traced: [" in want:
                self.assertRegex(got, rb"^ *T\tcrypto error traced: \[-?\d+\]$")
            else:
                self.assertEqual(got, want)

    def test_k_finds_a_usable_exchange_key(self):
        self.import_pfx("hwid")
        container, provider = self.key_lines()
        # A PFX without a provider of its own goes to the enhanced provider, under a
        # GUID-shaped container name, as Windows' and Wine's PFXImportCertStore put it.
        self.assertEqual(provider, "Microsoft Enhanced Cryptographic Provider v1.0")
        self.assertRegex(container, r"^\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\}$")
        log = self.check(K_HWID, 0)
        self.assert_log(log, self.k_log(0, self.k_events(container, provider, True)))

    def test_k_failures_replaced_by_7505_and_7510(self):
        cases = [
            # (what, set-up, expected code, key failure or None when no certificate is found)
            ("certificate without key", lambda: self.certutil("-addstore", "My",
                                                               self.path("hwid.pem")), 7510,
             "property"),
            ("signature key only", lambda: self.import_pfx("hwid", "AT_SIGNATURE"), 7510,
             "userkey"),
            ("container deleted", lambda: (self.import_pfx("hwid"),
                                           self.certutil("-delkey", self.key_lines()[0])), 7510,
             "acquire"),
            ("another certificate", lambda: self.import_pfx("virtual"), 7505, None),
        ]
        for what, make, code, failure in cases:
            with self.subTest(what):
                self.setUp()
                make()
                key = None
                if failure:
                    container, provider = (self.key_lines() if failure != "property"
                                           else ("", ""))
                    key = self.k_events(container, provider, False, failure)
                seen = [SUBJECT] if failure else ["VIRTUAL, xyz, Velmora Portwyn Certificate"]
                self.assert_log(self.check(K_HWID, code), self.k_log(code, key, seen))

    def test_k_does_not_look_in_the_users_store(self):
        self.skip_on("wine", "Wine 8 lists the machine's certificates in the user's store, "
                             "and so the machine's store might be searched the other way too")
        self.import_pfx("hwid", "-user")
        self.assertEqual(self.t.run(K_HWID).code, 7505)
        self.assertEqual(self.listed(user=True), ["CN=HWID, OU=abc, O=Velmora Portwyn Certificate"])

    def test_k_subject_without_colon_and_odd_subjects(self):
        self.import_pfx("hwid")
        for text, code in [("K," + SUBJECT.replace(",", ":").lower(), 0),
                           ("K,HWID, abc", 7011),  # a real comma splits the field
                           ("K,HWID:abc:Velmora Portwyn Certificate", 7505),  # spacing differs
                           ("K,", 7505), ("K," + "x" * 5000, 7505), ("K,\"\xe9\xff", 7505)]:
            with self.subTest(text[:40]):
                self.assertEqual(self.t.run(text).code, code)

    # ---- 'E' ----
    def e_log(self, command, result, subject, subjects, end):
        handler = [("start", "PW_Store::deleteHwidCertificate - start"),
                   ("start", "PWEXE PW_checker::openStoreForDelete - Start"),
                   ("end", "PWEXE PW_checker::openStoreForDelete - end true"),
                   ("plain", "PW_Store::deleteHwidCertificate - about to call getCertificate "
                             "for the Hwid Certificate: " + subject)]
        handler += lookup(subjects, result == 0)
        if result == 0:
            handler += [("cstart", "PW_Store::deleteCert - start"),
                        ("end", "PWExe PW_checker::deleteCert - end"),
                        ("start", "PWEXE PW_checker::CloseStore - START"),
                        ("end", "PWEXE PW_checker::CloseStore - END"),
                        ("plain", "PW_Store::deleteHwidCertificate - closeStore")]
        handler.append(("end", end))
        return main(command, result, handler)

    def test_e_removes_the_machines_certificate(self):
        self.import_pfx("hwid")
        log = self.check("E,TRUE,abc", 0)
        self.assert_log(log, self.e_log("E,TRUE,abc", 0, SUBJECT, [SUBJECT],
                                        "PW_Store::deleteHwidCertificate - end"))
        if self.t.name == "portable":
            self.assertEqual(self.listed(), [])
            self.assertEqual(self.t.run(K_HWID).code, 7505)

    def test_e_not_found_is_7500(self):
        self.import_pfx("virtual", "-user")
        subject = "HWID, virtual, Velmora Portwyn Certificate"
        log = self.check("E,TRUE,virtual", 7500)
        self.assert_log(log, self.e_log("E,TRUE,virtual", 7500, subject, [],
                                        "PW_Store::deleteHwidCertificate - end (error "
                                        "getCertificate failed)"))

    def test_e_other_kinds_remove_from_the_users_store(self):
        for kind in ("FALSE", "true", ""):
            with self.subTest(kind):
                self.setUp()
                self.import_pfx("virtual", "-user")
                self.import_pfx("hwid")
                self.assertEqual(self.t.run("E,%s,xyz" % kind).code, 0)
                if self.t.name == "portable":
                    self.assertEqual(self.listed(user=True), [])
                    self.assertEqual(len(self.listed()), 1)

    def test_e_matches_without_regard_to_case_and_skips_an_empty_subject(self):
        for name in ("empty_lo", "lower", "empty_hi"):
            self.certutil("-addstore", "My", self.path(name + ".pem"))
        # The lookup walks the store in the platform's order, which the listing shows.
        order = [None if s == "" else "hwid, low, Velmora Portwyn Certificate"
                 for s in self.listed()]
        seen = order[:order.index("hwid, low, Velmora Portwyn Certificate") + 1]
        self.assertIn(None, seen)
        log = self.check("E,TRUE,low", 0)
        self.assert_log(log, self.e_log("E,TRUE,low", 0, "HWID, low, Velmora Portwyn Certificate",
                                        seen, "PW_Store::deleteHwidCertificate - end"))
        if self.t.name == "portable":
            self.assertEqual(self.listed(), ["", ""])

    def test_e_removes_two_matches_one_per_run(self):
        self.certutil("-addstore", "My", self.path("twin1.pem"))
        self.certutil("-addstore", "My", self.path("twin2.pem"))
        self.assertEqual([self.t.run("E,TRUE,twin").code for _ in range(2)], [0, 0])
        if self.t.name == "portable":  # Wine keeps deleted certificates (see above)
            self.assertEqual(self.listed(), [])
            self.assertEqual(self.t.run("E,TRUE,twin").code, 7500)

    def test_e_identifier_too_long_is_refused(self):
        self.import_pfx("hwid")
        longest = "x" * (99 - len("HWID, , Velmora Portwyn Certificate"))
        self.assertEqual(self.t.run("E,TRUE," + longest).code, 7500)
        self.t.trace_on()
        self.assertEqual(self.t.run("E,TRUE," + longest + "x").code, 7500)
        self.assertIn(text_line(b"PW_Store::deleteHwidCertificate - end (error subject too long)",
                                1), self.t.masked_log())
        # Windows' longest command line: 32767 characters.
        self.assertEqual(self.t.run("E,TRUE," + "y" * 32000).code, 7500)
        self.assertEqual(len(self.listed()), 1)

    # ---- the current user's logical stores ----
    def test_users_root_and_ca_show_the_machines_certificates_read_only(self):
        thumb = self.thumb("virtual")
        for store in ("Root", "CA"):
            with self.subTest(store):
                machine_key = "HKLM\\%s\\%s\\Certificates\\%s" % (STORES, store, thumb)
                self.addCleanup(self.t.delete_key, machine_key)
                self.certutil("-addstore", store, self.path("virtual.pem"))
                (subject,) = [s for s in self.listed(store=store) if "VIRTUAL" in s]
                self.assertIn(subject, self.listed(user=True, store=store))
                # The user cannot remove the machine's certificate through that view:
                # Windows opens the machine's part read-only. Wine 8 lets the deletion
                # through, so there it is not tried.
                if self.t.name != "wine":
                    r = self.t.certutil("-user", "-delstore", store, thumb)
                    self.assertEqual(r.returncode, 1, r.stdout)
                    self.assertIn("0x80070005", r.stderr)  # E_ACCESSDENIED
                    self.assertIn(subject, self.listed(store=store))
                    self.assertIn(subject, self.listed(user=True, store=store))
        # The personal stores stay apart (Wine 8 lists the machine's in the user's too).
        self.import_pfx("hwid")
        if self.t.name != "wine":
            self.assertEqual(self.listed(user=True), [])

    # ---- pwmachine certutil on bad input ----
    def test_bad_input_fails_clearly_and_changes_nothing(self):
        truncated = self.path("truncated.pfx")
        with open(self.path("hwid.pfx"), "rb") as f, open(truncated, "wb") as out:
            out.write(f.read()[:300])
        no_cert = self.path("nocert.pem")
        with open(no_cert, "w") as f:
            f.write("-----BEGIN PUBLIC KEY-----\n!!!!\n-----END PUBLIC KEY-----\n")
        for args in [("-p", "wrong", "-importPFX", self.path("hwid.pfx")),
                     ("-p", "pw", "-importPFX", truncated),
                     ("-addstore", "My", no_cert),
                     ("-addstore", "My", self.path("missing.pem")),
                     ("-delstore", "My", "0")]:
            with self.subTest(args[-2:]):
                r = self.t.certutil(*args)
                self.assertEqual(r.returncode, 1, r.stdout)
                self.assertIn("FAILED", r.stderr)
                self.assertEqual(self.listed(), [])
        self.assertNotIn("AT_", self.certutil("-key"))

    def test_a_damaged_certificate_blob_is_skipped(self):
        self.import_pfx("hwid")
        key = "HKLM\\" + STORES + r"\My\Certificates\00112233445566778899AABBCCDDEEFF00112233"
        for data in ("00", "200000000100000004000000aabbccdd", "2000000001000000ffffff7f"):
            with self.subTest(data):
                self.t._check(self.t.reg("add", key, "/v", "Blob", "/t", "REG_BINARY",
                                         "/d", data, "/f"))
                self.assertEqual(self.t.run(K_HWID).code, 0)
                self.assertEqual(len(self.listed()), 1)


if __name__ == "__main__":
    unittest.main()
