"""Authenticode signing as a publisher does it, with a throw-away self-signed
code-signing certificate made by openssl and the signature applied and
checked by osslsigncode."""

import os
import shutil
import subprocess


class SigningError(Exception):
    pass


def _run(args):
    result = subprocess.run(args, capture_output=True, text=True)
    if result.returncode != 0:
        raise SigningError("%s failed (%d): %s%s" % (args[0], result.returncode, result.stdout, result.stderr))
    return result.stdout


class CodeSigner:
    """A fresh RSA key and a self-signed certificate for code signing, kept in
    folder, with the subject given; the certificate also serves as the CA that
    verification trusts."""

    def __init__(self, folder, subject="/CN=Setup test publisher"):
        for tool in ("openssl", "osslsigncode"):
            if not shutil.which(tool):
                raise SigningError(tool + " is not installed (make deps)")
        os.makedirs(folder, exist_ok=True)
        self.key = os.path.join(folder, "publisher.key")
        self.cert = os.path.join(folder, "publisher.pem")
        _run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256", "-days", "2",
              "-subj", subject, "-keyout", self.key, "-out", self.cert,
              "-addext", "basicConstraints=critical,CA:FALSE",
              "-addext", "keyUsage=critical,digitalSignature",
              "-addext", "extendedKeyUsage=critical,codeSigning"])

    def sign(self, exe, signed):
        """Writes signed: exe with an Authenticode signature (SHA-256)."""
        _run(["osslsigncode", "sign", "-certs", self.cert, "-key", self.key, "-h", "sha256",
              "-n", "Sample setup", "-in", exe, "-out", signed])

    def verify(self, exe):
        """osslsigncode's report on exe, trusting this certificate; raises when
        it does not accept the signature."""
        return _run(["osslsigncode", "verify", "-CAfile", self.cert, "-in", exe])
