"""Throwaway TLS certificates for Vellumet's tests, run with Debian's /usr/bin/python3.

Writes into --dir an authority (authority.pem) and, for each kind below, <kind>.pem and
<kind>.key, and prints one line "<kind> sha256//<pin>" per certificate, the pin being
the SHA-256 digest of its public key as libcurl pins it:

  trusted      signed by the authority, for 127.0.0.1 and localhost
  other-name   signed by the authority, for other.example only
  expired      signed by the authority, for 127.0.0.1, expired yesterday
  self-signed  signed by itself, for 127.0.0.1 and localhost
"""

import argparse
import base64
import datetime
import hashlib
import ipaddress
import os

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec
from cryptography.x509.oid import NameOID


def name(common_name):
    return x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, common_name)])


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def certificate(subject, key, issuer, issuer_key, hosts, not_before, not_after, ca=False):
    builder = (x509.CertificateBuilder()
               .subject_name(name(subject))
               .issuer_name(name(issuer))
               .public_key(key.public_key())
               .serial_number(x509.random_serial_number())
               .not_valid_before(not_before)
               .not_valid_after(not_after)
               .add_extension(x509.BasicConstraints(ca=ca, path_length=None), critical=True))
    if hosts:
        names = []
        for host in hosts:
            try:
                names.append(x509.IPAddress(ipaddress.ip_address(host)))
            except ValueError:
                names.append(x509.DNSName(host))
        builder = builder.add_extension(x509.SubjectAlternativeName(names), critical=False)
    return builder.sign(issuer_key, hashes.SHA256())


def pin(key):
    info = key.public_key().public_bytes(serialization.Encoding.DER,
                                         serialization.PublicFormat.SubjectPublicKeyInfo)
    return "sha256//" + base64.b64encode(hashlib.sha256(info).digest()).decode()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dir", required=True)
    args = parser.parse_args()

    now = datetime.datetime.utcnow()
    day = datetime.timedelta(days=1)
    authority_key = ec.generate_private_key(ec.SECP256R1())
    authority = certificate("Vellumet Test Authority", authority_key, "Vellumet Test Authority",
                            authority_key, [], now - day, now + 30 * day, ca=True)
    write(os.path.join(args.dir, "authority.pem"),
          authority.public_bytes(serialization.Encoding.PEM))

    local = ["127.0.0.1", "localhost"]
    kinds = [
        ("trusted", local, now - day, now + 30 * day, False),
        ("other-name", ["other.example"], now - day, now + 30 * day, False),
        ("expired", local, now - 30 * day, now - day, False),
        ("self-signed", local, now - day, now + 30 * day, True),
    ]
    for kind, hosts, not_before, not_after, self_signed in kinds:
        key = ec.generate_private_key(ec.SECP256R1())
        issuer, issuer_key = (kind, key) if self_signed else ("Vellumet Test Authority",
                                                              authority_key)
        cert = certificate(kind, key, issuer, issuer_key, hosts, not_before, not_after)
        write(os.path.join(args.dir, kind + ".pem"), cert.public_bytes(serialization.Encoding.PEM))
        write(os.path.join(args.dir, kind + ".key"),
              key.private_bytes(serialization.Encoding.PEM,
                                serialization.PrivateFormat.TraditionalOpenSSL,
                                serialization.NoEncryption()))
        print(kind, pin(key), flush=True)


if __name__ == "__main__":
    main()
