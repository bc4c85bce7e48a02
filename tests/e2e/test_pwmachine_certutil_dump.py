"""`pwmachine certutil -dump`, `-v -store` and `-error` on the portable machine. The
certificates and the request are read back against openssl's own reading of the same
files; the error texts are those of Windows' message tables."""

import os
import re
import shutil
import subprocess
import tempfile
import unittest

BIN = os.environ.get("PW_BIN_DIR", "")
SUBJECT = "Q,CN=HWID:OU=4711:O=Velmora Portwyn Certificate"


class CertutilDump(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="pw-certutil-dump-")
        cls.env = dict(os.environ, PW_MACHINE_ROOT=os.path.join(cls.work, "machine"))
        cls.tool("pwexe", SUBJECT)
        with open(cls.file("req.pem"), "w") as f:
            f.write(cls.tool("pwcmd", "request").stdout)
        cls.openssl("req", "-x509", "-newkey", "rsa:3072", "-nodes", "-subj", "/CN=Dump Root",
                    "-days", "30", "-keyout", cls.file("ca.key"), "-out", cls.file("ca.pem"))
        cls.openssl("x509", "-req", "-in", cls.file("req.pem"), "-CA", cls.file("ca.pem"),
                    "-CAkey", cls.file("ca.key"), "-copy_extensions", "copy", "-days", "30",
                    "-out", cls.file("cert.pem"))
        cls.openssl("x509", "-in", cls.file("cert.pem"), "-outform", "DER", "-out",
                    cls.file("cert.der"))

    @classmethod
    def file(cls, name):
        return os.path.join(cls.work, name)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    @classmethod
    def tool(cls, name, *args):
        return subprocess.run([os.path.join(BIN, name)] + list(args), env=cls.env,
                              capture_output=True, text=True, timeout=120)

    @classmethod
    def openssl(cls, *args):
        return subprocess.run(["openssl"] + list(args), capture_output=True, text=True,
                              check=True, timeout=120).stdout

    def dump(self, path):
        proc = self.tool("pwmachine", "certutil", "-dump", path)
        self.assertEqual((proc.returncode, proc.stderr), (0, ""), proc)
        self.assertTrue(proc.stdout.endswith("CertUtil: -dump command completed successfully.\n"))
        return proc.stdout

    def test_a_request_reads_as_openssl_reads_it(self):
        text = self.dump(self.file("req.pem"))
        theirs = self.openssl("req", "-in", self.file("req.pem"), "-noout", "-text")
        self.assertTrue(text.startswith("PKCS10 Certificate Request:\nVersion: 1\n"), text)
        self.assertIn("    CN=HWID, OU=4711, O=Velmora Portwyn Certificate\n", text)
        self.assertIn("Public-Key: (2048 bit)", theirs)
        self.assertIn("Public Key Length: 2048 bits\n", text)
        self.assertIn("Signature Algorithm: sha256WithRSAEncryption", theirs)
        self.assertIn("Algorithm ObjectId: 1.2.840.113549.1.1.11 sha256RSA\n", text)
        # The extension request: client authentication, and the key usages openssl names.
        self.assertIn("TLS Web Client Authentication", theirs)
        self.assertIn("        Client Authentication (1.3.6.1.5.5.7.3.2)\n", text)
        usages = re.search(r"X509v3 Key Usage: ?(critical)? *\n +(.*)\n", theirs)
        ours = re.search(r"    Key Usage\n        (.*) \(([0-9a-f ]+)\)\n", text)
        self.assertEqual(ours.group(1).replace("Non-Repudiation", "Non Repudiation"),
                         usages.group(2))
        self.assertIn("2.5.29.15: Flags = %s" % ("1(Critical)" if usages.group(1) else "0"), text)

    def test_a_certificate_reads_as_openssl_reads_it_der_or_pem(self):
        text = self.dump(self.file("ca.pem"))
        theirs = self.openssl("x509", "-in", self.file("ca.pem"), "-noout", "-text", "-serial",
                              "-fingerprint", "-sha1")
        # certutil writes the serial's bytes whole ("05 73 ..." as "0573..."), openssl the
        # integer's: the same number, each in whole bytes.
        serial = re.search(r"serial=([0-9A-F]+)", theirs).group(1)
        ours = re.search(r"\nSerial Number: ([0-9a-f]+)\n", text).group(1)
        self.assertEqual(len(ours) % 2, 0, ours)
        self.assertEqual(int(ours, 16), int(serial, 16))
        self.assertIn("Public Key Length: 3072 bits\n", text)
        self.assertIn("Root Certificate: Subject matches Issuer\n", text)
        sha1 = re.search(r"Fingerprint=([0-9A-F:]+)", theirs).group(1).replace(":", "").lower()
        self.assertIn("Cert Hash(sha1): %s\n" % sha1, text)
        # openssl makes a CA with a critical basic constraints extension and key identifiers.
        self.assertIn("2.5.29.19: Flags = 1(Critical), Length = 5\n    Basic Constraints\n"
                      "        Subject Type=CA\n        Path Length Constraint=None\n", text)
        ski = re.search(r"Subject Key Identifier: ?\n +([0-9A-F:]+)", theirs).group(1)
        self.assertIn("    Subject Key Identifier\n        %s\n" % ski.replace(":", "").lower(),
                      text)
        self.assertIn("KeyID=%s\n" % ski.replace(":", "").lower(), text)  # self-signed
        issued = self.dump(self.file("cert.der"))
        self.assertEqual(issued, self.dump(self.file("cert.pem")))
        self.assertIn("Non-root Certificate\n", issued)
        self.assertIn("Issuer:\n    CN=Dump Root\n", issued)

    def test_verbose_store_lists_the_extensions(self):
        command = self.tool("pwcmd", "C", self.file("cert.pem")).stdout.strip()
        self.assertEqual(self.tool("pwexe", command).stdout, "0\n")
        plain = self.tool("pwmachine", "certutil", "-store", "My").stdout
        verbose = self.tool("pwmachine", "certutil", "-v", "-store", "My").stdout
        self.assertNotIn("Certificate Extensions", plain)
        self.assertIn("Certificate Extensions: 4\n", verbose)
        self.assertIn("        Client Authentication (1.3.6.1.5.5.7.3.2)\n", verbose)
        self.assertIn("Key Container = ", verbose)
        # A switch after the verb is a switch, as certutil takes it, not the store's name.
        self.assertEqual(self.tool("pwmachine", "certutil", "-store", "-v", "My").stdout, verbose)

    def test_what_is_no_certificate_fails_with_the_decoders_error(self):
        with open(self.file("junk.bin"), "wb") as f:
            f.write(b"\x04\x03abc")
        for path in (self.file("junk.bin"), self.file("missing.pem")):
            proc = self.tool("pwmachine", "certutil", "-dump", path)
            self.assertEqual((proc.returncode, proc.stdout), (1, ""), path)
            self.assertTrue(proc.stderr.startswith("CertUtil: -dump command FAILED: 0x80"), proc)

    def test_error_names_and_explains_a_code(self):
        cases = {
            "5": ["0x5 (WIN32: 5 ERROR_ACCESS_DENIED) -- 5 (5)",
                  "Error message text: Access is denied."],
            "0x80070002": ["0x80070002 (WIN32: 2 ERROR_FILE_NOT_FOUND) -- 2147942402 (-2147024894)",
                           "Error message text: The system cannot find the file specified."],
            "-2146885628": ["0x80092004 (-2146885628 CRYPT_E_NOT_FOUND) -- 2148081668 (-2146885628)",
                            "Error message text: Cannot find object or property."],
            "0x80040154": ["0x80040154 (-2147221164 REGDB_E_CLASSNOTREG) -- 2147746132 (-2147221164)",
                           "Error message text: Class not registered"],
        }
        for code, lines in cases.items():
            proc = self.tool("pwmachine", "certutil", "-error", code)
            self.assertEqual(proc.returncode, 0, proc)
            self.assertEqual(proc.stdout.splitlines(),
                             lines + ["CertUtil: -error command completed successfully."])
        proc = self.tool("pwmachine", "certutil", "-error", "0x1x")
        self.assertEqual(proc.returncode, 1)


if __name__ == "__main__":
    unittest.main()
