"""'Q', 'C' and 'A': a whole enrolment as a client does it, with openssl as the
certification authority, over either generation of the enrolment components; and the
answers a client can get wrong. Wine has neither generation: its prefix gets this
project's Windows builds of them (pwenrol_objects.dll, pwenrol_control.dll), registered
with Wine's regsvr32 as the portable machine's libraries are with pwmachine regsvr32.

Wine 8 departs from Windows where these cases meet it (Windows wins): a deletion by 'E'
reaches Wine's registry only on a commit, which 'E' never makes, so there the removal is
judged by its code; and Wine's "Root" store holds the host's trusted roots, so there the
roots an installation adds are told from those it found."""

import os
import re
import stat
import subprocess
import tempfile
import unittest

from harness import HKLM_TESSERA, TargetTest, separator, text_line, windows_path

AT = b"@"
REQUEST_KEY = HKLM_TESSERA + r"\Request"
STORES = r"HKLM\Software\Microsoft\SystemCertificates"
SUBJECT = "CN=HWID:OU=%s:O=Velmora Portwyn Certificate"
ALL_USAGES = "Digital Signature, Non Repudiation, Key Encipherment, Data Encipherment"
NOT_FOUND = b"crypto error traced: [14007]"  # the last error a failed creation leaves
# The portable machine's libraries, and the Windows builds that stand in for them in a
# Wine prefix.
WINE_LIBRARIES = {"xenroll.dll": "pwenrol_control.dll", "certenroll.dll": "pwenrol_objects.dll"}
WINE_KEYS = r"HKLM\Software\Wine\Crypto\RSA"


def openssl(*args, data=None):
    proc = subprocess.run(["openssl"] + list(args), input=data, capture_output=True, timeout=120)
    if proc.returncode != 0:
        raise AssertionError("openssl %s: %s" % (args[0], proc.stderr.decode()))
    return proc.stdout


class Authority:
    """A certification authority made with openssl: a self-signed root and the
    certificates it issues for requests, copying the extensions they ask for."""

    def __init__(self, folder):
        self.folder = folder
        self.key, self.cert = self.path("ca.key"), self.path("ca.pem")
        openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", self.key,
                "-out", self.cert, "-days", "30", "-subj", "/CN=Velmora Test Root")

    def path(self, name):
        return os.path.join(self.folder, name)

    def issue(self, request_pem, name="issued.pem", issuer=None):
        """The certificate for a request, issued by the root or by `issuer` (the
        (certificate, key) files of an intermediate authority)."""
        request = self.path("request.pem")
        with open(request, "wb") as f:
            f.write(request_pem)
        out = self.path(name)
        cert, key = issuer or (self.cert, self.key)
        openssl("x509", "-req", "-in", request, "-CA", cert, "-CAkey", key,
                "-CAcreateserial", "-days", "30", "-copy_extensions", "copy", "-out", out)
        return out

    def intermediate(self):
        """An authority below the root: its certificate and key files."""
        key, cert = self.path("inter.key"), self.path("inter.pem")
        extensions = self.path("inter.ext")
        with open(extensions, "w") as f:
            f.write("basicConstraints=critical,CA:TRUE\nkeyUsage=keyCertSign,cRLSign\n")
        request = openssl("req", "-new", "-newkey", "rsa:2048", "-nodes", "-keyout", key,
                          "-subj", "/CN=Velmora Test Intermediate")
        with open(self.path("inter.csr"), "wb") as f:
            f.write(request)
        openssl("x509", "-req", "-in", self.path("inter.csr"), "-CA", self.cert, "-CAkey",
                self.key, "-CAcreateserial", "-days", "30", "-extfile", extensions, "-out", cert)
        return cert, key

    def chain(self, pems, name="chain.p7b"):
        """A PKCS #7 message carrying the certificates, in that order."""
        out = self.path(name)
        args = ["crl2pkcs7", "-nocrl", "-out", out]
        for pem in pems:
            args += ["-certfile", pem]
        openssl(*args)
        return out

    def foreign_request(self):
        """A request for a key no machine holds."""
        return openssl("req", "-new", "-newkey", "rsa:2048", "-nodes", "-keyout",
                       self.path("foreign.key"), "-subj", "/CN=HWID/OU=foreign")


def thumbprint(pem_path):
    out = openssl("x509", "-in", pem_path, "-noout", "-fingerprint", "-sha1").decode()
    return out.strip().split("=", 1)[1].replace(":", "").upper()


def block(depth, start, lines, end):
    """An operation's lines: its start line, `lines` one level deeper when they are
    nested blocks (lists) or at its own level, and its end line."""
    out = [separator(AT, depth), text_line(start, depth)]
    for line in lines:
        out += line if isinstance(line, list) else [text_line(line, depth)]
    return out + [text_line(end, depth), separator(AT, depth)]


def main_block(command, result, handler):
    return ([separator(AT), text_line(b"PWEXE MAIN - Start"), text_line(command),
             text_line(b"PWEXE MAIN - entering the switch")] + handler +
            [text_line(b"lReturn=%d" % result), text_line(b"PWEXE MAIN - end"), separator(AT)])


SM = b"PWEXE Storage_Manager_No_console::"
CE = b"PWExe Storage_Manager_NoConsole::createCertEnrollPKCS10 - "


def store_request(depth):
    return block(depth, SM + b"storeRequest - Start", [], SM + b"storeRequest - End true")


def certenroll_request(depth, *tail):
    """The newer road's lines for a request whose decorators all succeed."""
    d = depth + 1
    return block(depth, CE + b"Start", [
        block(d, b"PWExe Storage_Manager_No_console::SetIEkuExtension - Start", [],
              b"PWExe Storage_Manager_No_console::SetIEkuExtension - End"),
        block(d, b"PWExe Storage_Manager_No_console::SetIKeyUsageExtension - Start", [],
              b"PWExe Storage_Manager_No_console::SetIKeyUsageExtension - End"),
        block(d, b"PWExe Storage_Manager_NoConsole::SetKeyExchange - Start",
              [b"PWExe Storage_Manager_NoConsole::SetKeyExchange - KeySpec Set to KEY_EXCHANGE"],
              b"PWExe Storage_Manager_NoConsole::SetKeyExchange - End"),
    ] + list(tail), CE + b"End")


def install_block(letter, road_xenroll, road_certenroll):
    """The lines of 'C' or 'A' around formatCert and the roads' blocks."""
    name = b"storeCertificate" if letter == "C" else b"storeAuthority"
    return block(1, SM + name + b" - Start", [
        block(2, SM + b"formatCert - Start", [], SM + b"formatCert - End"), road_xenroll,
        road_certenroll], SM + name + b" - End")


def road(name, *lines, end=b"End"):
    return block(2, SM + name + b" - Start", list(lines), SM + name + b" - " + end)


class EnrolmentTest(TargetTest):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.ca_dir = tempfile.mkdtemp(prefix="ca-", dir=cls.t.work)
        cls.ca = Authority(cls.ca_dir)
        if cls.t.name == "wine":
            # Wine copies the host's trusted roots into the registry (as volatile keys,
            # gone when its server ends) when its "Root" store is first opened; they
            # are there before any test counts roots.
            cls.t.certutil("-store", "Root")

    def setUp(self):
        super().setUp()
        if self.t.name == "wine":
            # The reset there clears only the system's own keys: the stores, the key
            # containers and the registrations go back to a fresh machine's here, the
            # newer objects registered and the older control not.
            self.t.delete_key(REQUEST_KEY)
            for store in ("MY", "CA", "REQUEST"):
                self.t.delete_key(STORES + "\\" + store)
            self.t.delete_key(STORES + r"\Root\Certificates" + "\\" + thumbprint(self.ca.cert))
            self.t.delete_key(WINE_KEYS)
            self.assertEqual(self.regsvr32("/u", "xenroll.dll"), 0)
            self.assertEqual(self.regsvr32("certenroll.dll"), 0)
        self.roots_before = set(self.thumbprints("Root"))

    # ---- the client's tools ----
    def tool(self, name, *args):
        if self.t.name == "wine":
            proc = self.t.wine(os.path.join(self.t.bin, name + ".exe"), *args)
            proc.stdout, proc.stderr = proc.stdout.decode(), proc.stderr.decode()
        else:
            proc = subprocess.run([os.path.join(self.t.bin, name)] + list(args), env=self.t.env,
                                  capture_output=True, text=True, timeout=120)
        return proc

    def command_for(self, letter, pem_path):
        proc = self.tool("pwcmd", letter, pem_path)
        self.assertEqual(proc.returncode, 0, proc.stderr)
        return proc.stdout.strip()

    def regsvr32(self, *args):
        if self.t.name == "wine":
            args = [windows_path(os.path.join(self.t.bin, WINE_LIBRARIES[a]))
                    if a in WINE_LIBRARIES else a for a in args]
            return self.t.wine("regsvr32", "/s", *args).returncode
        return self.tool("pwmachine", "regsvr32", *args).returncode

    def stored_request(self):
        return self.t.value(REQUEST_KEY, "9kHWID_CertRequest")

    def request_pem(self):
        proc = self.tool("pwcmd", "request")
        self.assertEqual(proc.returncode, 0, proc.stderr)
        return proc.stdout.encode()

    def thumbprints(self, store):
        out = self.t.reg("query", STORES + "\\" + store + r"\Certificates").stdout
        return sorted(re.findall(r"\\Certificates\\([0-9A-F]{40})", out))

    def added_roots(self):
        """The roots in "Root" that the test's commands put there."""
        return sorted(set(self.thumbprints("Root")) - self.roots_before)

    def enrol(self, identity):
        """'Q', the authority's answer, 'A' and 'C': the issued certificate's file."""
        self.run_ok("Q," + SUBJECT % identity)
        issued = self.ca.issue(self.request_pem())
        self.run_ok(self.command_for("A", self.ca.cert))
        self.run_ok(self.command_for("C", issued))
        return issued

    def assert_installed(self, issued, identity):
        """In the stores, as certutil lists them; 'K' finds its key, 'E' removes it."""
        self.assertEqual(self.thumbprints("MY"), [thumbprint(issued)])
        self.assertEqual(self.added_roots(), [thumbprint(self.ca.cert)])
        self.assertEqual(self.thumbprints("REQUEST"), [])
        listing = self.tool("pwmachine", "certutil", "-store", "My").stdout
        self.assertIn("Cert Hash(sha1): " + thumbprint(issued).lower(), listing)
        self.assertIn("Key Container = ", listing)
        self.run_ok("K,HWID: %s: Velmora Portwyn Certificate" % identity)
        self.run_ok("E,TRUE,%s" % identity)
        if self.t.name == "portable":  # Wine keeps the deleted certificate (see above)
            self.assertEqual(self.thumbprints("MY"), [])

    def assert_request(self, identity):
        """The stored request: base64 lines of 64 characters each ended by CR LF, one
        counted zero byte; a request openssl verifies, with what 'Q' asks for."""
        type_, data = self.stored_request()
        self.assertEqual(type_, 3)
        self.assertTrue(data.endswith(b"\r\n\0") and data.count(b"\0") == 1, data[-8:])
        lines = data[:-1].split(b"\r\n")[:-1]
        self.assertTrue(all(len(l) == 64 for l in lines[:-1]) and 0 < len(lines[-1]) <= 64)
        text = openssl("req", "-verify", "-noout", "-text", data=self.request_pem()).decode()
        self.assertIn("Subject: CN = HWID, OU = %s, O = Velmora Portwyn Certificate" % identity,
                      text)
        self.assertIn("Public-Key: (2048 bit)", text)
        self.assertIn("Signature Algorithm: sha256WithRSAEncryption", text)
        self.assertRegex(text, r"X509v3 Extended Key Usage: \n +TLS Web Client Authentication")
        self.assertRegex(text, r"X509v3 Key Usage: \n +" + ALL_USAGES)
        self.assertNotIn("critical", text)

    # ---- both targets ----
    def test_neither_generation_gives_7003_after_both_failed_creations(self):
        self.assertEqual(self.regsvr32("/u", "certenroll.dll"), 0)
        self.t.trace_on()
        text = SUBJECT % 7
        self.assertEqual(self.t.run("Q," + text).code, 7003)
        self.assertEqual(self.t.masked_log(), main_block(("Q," + text).encode(), 7003, block(
            1, SM + b"createPKCS10 - Start", [
                NOT_FOUND,
                block(2, CE + b"Start", [NOT_FOUND, b"*** SetError:[7003] ***"], CE + b"End")],
            SM + b"createPKCS10 - End")))
        self.assertIsNone(self.stored_request())
        for letter, xenroll, certenroll in [("C", b"storeXEnrollCertificate",
                                             b"storeCertEnrollCertificate"),
                                            ("A", b"storeXEnrollAuthority",
                                             b"storeCertEnrollAuthority")]:
            os.remove(self.t.log_path())
            self.assertEqual(self.t.run(letter + ",AAAA:BBBB").code, 7003)
            self.assertEqual(self.t.masked_log(), main_block(
                (letter + ",AAAA:BBBB").encode(), 7003, install_block(
                    letter, road(xenroll, NOT_FOUND, end=b"End false"),
                    road(certenroll, NOT_FOUND, end=b"End false"))))

    def test_round_trip_over_the_newer_objects_by_default(self):
        self.t.trace_on()
        issued = self.enrol(41)
        lines = self.t.masked_log()
        q = main_block(("Q," + SUBJECT % 41).encode(), 0, block(
            1, SM + b"createPKCS10 - Start", [NOT_FOUND, certenroll_request(2, store_request(3))],
            SM + b"createPKCS10 - End"))
        self.assertEqual(lines[:len(q)], q)
        c = main_block(self.command_for("C", issued).encode(), 0, install_block(
            "C", road(b"storeXEnrollCertificate", NOT_FOUND, end=b"End false"),
            road(b"storeCertEnrollCertificate")))
        self.assertEqual(lines[-len(c):], c)
        self.assert_request(41)
        self.assert_installed(issued, 41)

    def test_round_trip_over_the_older_control_once_registered(self):
        self.assertEqual(self.regsvr32("xenroll.dll"), 0)
        self.t.trace_on()
        issued = self.enrol(42)
        self.assert_request(42)
        lines = self.t.masked_log()
        q = main_block(("Q," + SUBJECT % 42).encode(), 0, block(
            1, SM + b"createPKCS10 - Start", [store_request(2)], SM + b"createPKCS10 - End"))
        self.assertEqual(lines[:len(q)], q)
        self.assertIn(text_line(SM + b"storeXEnrollAuthority - End", 2), lines)
        self.assertIn(text_line(SM + b"storeXEnrollCertificate - End", 2), lines)
        self.assert_installed(issued, 42)

    def test_a_second_request_replaces_the_first_and_each_answer_finds_its_own(self):
        self.run_ok("Q," + SUBJECT % 1)
        first = self.ca.issue(self.request_pem(), "first.pem")
        self.run_ok("Q,CN=a:O=b")  # ':' stands for ';', which separates names too
        self.assertNotEqual(self.request_pem(), b"")
        text = openssl("req", "-noout", "-subject", data=self.request_pem()).decode()
        self.assertEqual(text.strip(), "subject=CN = a, O = b")
        self.assertEqual(len(self.thumbprints("REQUEST")), 2)
        self.run_ok(self.command_for("C", first))
        self.assertEqual(self.thumbprints("MY"), [thumbprint(first)])
        self.assertEqual(len(self.thumbprints("REQUEST")), 1)

    def test_an_answer_with_its_chain_puts_each_certificate_in_its_store(self):
        # One PKCS #7 message: the certificate for the pending request goes to "MY", the
        # intermediate authority to "CA", the self-signed root to "Root".
        self.run_ok("Q," + SUBJECT % 6)
        inter = self.ca.intermediate()
        leaf = self.ca.issue(self.request_pem(), "leaf.pem", issuer=inter)
        self.run_ok(self.command_for("C", self.ca.chain([leaf, inter[0], self.ca.cert])))
        self.assertEqual(self.thumbprints("MY"), [thumbprint(leaf)])
        self.assertEqual(self.thumbprints("CA"), [thumbprint(inter[0])])
        self.assertEqual(self.added_roots(), [thumbprint(self.ca.cert)])
        self.assertEqual(self.thumbprints("REQUEST"), [])
        self.run_ok("K,HWID: 6: Velmora Portwyn Certificate")

    def test_answers_a_client_can_get_wrong_change_nothing(self):
        self.run_ok("Q," + SUBJECT % 3)
        foreign = self.ca.issue(self.ca.foreign_request(), "foreign.pem")
        cases = [
            ("an answer for no pending request", self.command_for("C", foreign), 7005),
            ("text that is no base64", "C,MIIB@@@@:", 7005),
            ("base64 of no certificate", "C,SGVsbG8sIGF1dGhvcml0eQ==:", 7005),
            ("an empty answer", "C,", 7005),
            ("an authority's answer that is no certificate", "A,AAAA:", 7022),
        ]
        for what, text, code in cases:
            with self.subTest(what):
                self.t.trace_on()
                self.assertEqual(self.t.run(text).code, code)
                self.assertIn(text_line(b"*** SetError:[%d] ***" % code, 2), self.t.masked_log())
                os.remove(self.t.log_path())
        self.assertEqual(self.thumbprints("MY"), [])
        self.assertEqual(self.added_roots(), [])
        self.assertEqual(len(self.thumbprints("REQUEST")), 1)

    def test_subjects_that_do_not_parse_store_nothing(self):
        # The newer road fails its Encode without a code: the command answers 0.
        self.t.trace_on()
        self.assertEqual(self.t.run('Q,CN="open').code, 0)
        self.assertNotIn(text_line(SM + b"storeRequest - Start", 3), self.t.masked_log())
        self.assertIsNone(self.stored_request())
        # The older control refuses it with 7027.
        self.assertEqual(self.regsvr32("xenroll.dll"), 0)
        self.assertEqual(self.t.run('Q,CN="open').code, 7027)
        self.assertIsNone(self.stored_request())
        # A long one is no failure: the name has no length limit of its own.
        self.run_ok("Q,CN=" + "x" * 20000)
        text = openssl("req", "-noout", "-subject", data=self.request_pem()).decode()
        self.assertEqual(text.strip(), "subject=CN = " + "x" * 20000)

    # ---- the portable machine ----
    def test_a_machine_hive_that_denies_writes(self):
        self.skip_on("wine", "no file permission denies writes to a Wine prefix's registry")
        self.run_ok("Q," + SUBJECT % 5)
        issued = self.ca.issue(self.request_pem())
        hive = self.t.hive_file()
        os.chmod(hive, stat.S_IRUSR | stat.S_IRGRP | stat.S_IROTH)
        try:
            self.assertEqual(self.t.run(self.command_for("A", self.ca.cert)).code, 7022)
            self.assertEqual(self.t.run(self.command_for("C", issued)).code, 7005)
        finally:
            os.chmod(hive, stat.S_IRUSR | stat.S_IWUSR)
        self.assertEqual(self.thumbprints("Root"), [])
        self.assertEqual(self.thumbprints("MY"), [])

    def test_class_registrations_belong_to_the_machine(self):
        self.skip_on("wine", "the components a Wine prefix gets are no part of its system")
        # The registry functions cannot delete them (as Windows denies administrators the
        # keys the system owns); the library's own unregistration can.
        self.assertEqual(
            self.t.run(r"D,SOFTWARE\Classes\CLSID,{884E2046-217D-11DA-B2A4-000E7BBB2B09}").code,
            7024)
        self.run_ok("Q," + SUBJECT % 9)
        self.assertEqual(self.regsvr32("/u", "certenroll.dll"), 0)
        self.assertEqual(self.t.run("Q," + SUBJECT % 9).code, 7003)
        self.assertEqual(self.regsvr32("certenroll.dll"), 0)
        self.run_ok("Q," + SUBJECT % 9)

    def test_regsvr32_answers_with_its_exit_codes(self):
        self.skip_on("wine", "the Windows build finds no such library under Wine either; "
                             "the portable machine shows the codes")
        self.assertEqual(self.regsvr32(), 1)
        self.assertEqual(self.regsvr32("/n", "xenroll.dll"), 1)
        self.assertEqual(self.regsvr32("nowhere.dll"), 3)
        self.assertEqual(self.regsvr32("/i", "xenroll.dll"), 4)  # it has no DllInstall
        self.assertEqual(self.regsvr32("/u", "/s", "xenroll.dll"), 0)


if __name__ == "__main__":
    unittest.main()
