#!/usr/bin/env python3
"""The publisher's ECDSA P-256 key: make a pair, turn a public key into a C++ header,
sign a file.

    publisher_key.py generate DIR              DIR/private.pem (PKCS#8) and DIR/public.pem
    publisher_key.py header PEMS OUT NAMESPACE OUT declares each key's point as bytes (PEMS: one
                                               path or several separated by ";"; OFF: no key)
    publisher_key.py sign PRIVATE.pem FILE     writes FILE.sig (64 bytes: r then s)
    publisher_key.py private-header PRIVATE.pem OUT NAMESPACE
                                               OUT declares the private scalar and point
                                               (for test servers that sign; never commit)

Key making and signing go through the `openssl` command; reading a public key needs only
the standard library. A signature is the raw r and s of ECDSA over SHA-256 of the file's
bytes, each a 32-byte big-endian number: the form the manager verifies.
"""
import base64
import os
import subprocess
import sys
import tempfile

# DER of a SubjectPublicKeyInfo for id-ecPublicKey on prime256v1, up to the point.
_P256_SPKI_PREFIX = bytes.fromhex("3059301306072a8648ce3d020106082a8648ce3d030107034200")
_P = 2**256 - 2**224 + 2**192 + 2**96 - 1
_B = 0x5AC635D8AA3A93E7B3EBBD55769886BC651D06B0CC53B0F63BCE3C3E27D2604B


class KeyError_(Exception):
    pass


def _pem_body(text, label):
    begin, end = f"-----BEGIN {label}-----", f"-----END {label}-----"
    if begin not in text or end not in text:
        raise KeyError_(f"no '{begin}' block (a PEM public key is expected)")
    body = text.split(begin, 1)[1].split(end, 1)[0]
    try:
        return base64.b64decode("".join(body.split()), validate=True)
    except ValueError as e:
        raise KeyError_(f"damaged PEM body: {e}")


def read_public_point(pem_path):
    """Returns (x, y) of an ECDSA P-256 public key in a PEM SubjectPublicKeyInfo."""
    try:
        with open(pem_path, encoding="ascii") as f:
            text = f.read()
    except (OSError, UnicodeDecodeError) as e:
        raise KeyError_(f"cannot read: {e}")
    der = _pem_body(text, "PUBLIC KEY")
    if len(der) != len(_P256_SPKI_PREFIX) + 65 or not der.startswith(_P256_SPKI_PREFIX):
        raise KeyError_("not an uncompressed ECDSA P-256 (prime256v1) public key")
    point = der[len(_P256_SPKI_PREFIX):]
    if point[0] != 4:
        raise KeyError_("not an uncompressed ECDSA P-256 (prime256v1) public key")
    x, y = point[1:33], point[33:]
    xi, yi = int.from_bytes(x, "big"), int.from_bytes(y, "big")
    if xi >= _P or yi >= _P or (yi * yi - (xi**3 - 3 * xi + _B)) % _P != 0:
        raise KeyError_("the point is not on the P-256 curve")
    return x, y


def key_paths(pems):
    """The paths of a ";"-separated key list; blanks around each are dropped."""
    paths = [p.strip() for p in pems.split(";")]
    if not paths or any(not p for p in paths):
        raise KeyError_(f"an empty entry in the key list '{pems}'")
    return paths


def write_header(pems, out_path, namespace):
    """Writes the header; pems OFF declares that the build carries no key. A key that
    appears twice in the list counts once."""
    configured = pems != "OFF"
    points = []
    if configured:
        for path in key_paths(pems):
            try:
                point = read_public_point(path)
            except KeyError_ as e:
                raise KeyError_(f"{path}: {e}")
            if point not in points:
                points.append(point)

    def row(x, y):
        data = x + y
        lines = [", ".join(f"0x{b:02x}" for b in data[i:i + 16]) for i in range(0, 64, 16)]
        return "    {" + ",\n     ".join(lines) + "}"

    origin = "the key list VORNIS_PUBLISHER_KEY" if configured else "no key (a build that verifies nothing)"
    rows = ",\n".join(row(x, y) for x, y in points) if points else "    {}"
    text = ("// Generated at configure time from " + origin +
            ": the publisher's ECDSA P-256 public keys\n"
            "// (X then Y of each point, big-endian); a signature by any of them verifies.\n"
            "#pragma once\n\n"
            f"namespace {namespace} {{\n\n"
            f"inline constexpr bool kConfigured = {'true' if configured else 'false'};\n"
            f"inline constexpr int kKeyCount = {len(points)};\n"
            f"inline constexpr unsigned char kKeys[{max(len(points), 1)}][64] = {{\n{rows}}};\n"
            f"\n}}  // namespace {namespace}\n")
    try:
        with open(out_path, encoding="ascii") as f:
            if f.read() == text:
                return
    except OSError:
        pass
    os.makedirs(os.path.dirname(os.path.abspath(out_path)), exist_ok=True)
    with open(out_path + ".tmp", "w", encoding="ascii", newline="\n") as f:
        f.write(text)
    os.replace(out_path + ".tmp", out_path)


def _openssl(*args, data=None):
    try:
        done = subprocess.run(["openssl", *args], input=data, capture_output=True)
    except FileNotFoundError:
        raise KeyError_("the openssl command is not installed")
    if done.returncode != 0:
        raise KeyError_("openssl " + args[0] + ": " + done.stderr.decode(errors="replace").strip())
    return done.stdout


def generate(directory):
    os.makedirs(directory, exist_ok=True)
    with tempfile.TemporaryDirectory(dir=directory) as work:
        private = os.path.join(work, "private.pem")
        public = os.path.join(work, "public.pem")
        _openssl("genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256", "-out", private)
        os.chmod(private, 0o600)
        _openssl("pkey", "-in", private, "-pubout", "-out", public)
        read_public_point(public)
        os.replace(private, os.path.join(directory, "private.pem"))
        os.replace(public, os.path.join(directory, "public.pem"))


def _der_length(data, at):
    first = data[at]
    if first < 0x80:
        return first, at + 1
    count = first & 0x7F
    if count == 0 or count > 2:
        raise KeyError_("unexpected DER length in a signature")
    return int.from_bytes(data[at + 1:at + 1 + count], "big"), at + 1 + count


def raw_signature(der):
    """Turns a DER ECDSA-Sig-Value (SEQUENCE of r, s) into 64 bytes r || s."""
    if not der or der[0] != 0x30:
        raise KeyError_("not a DER ECDSA signature")
    _, at = _der_length(der, 1)
    out = b""
    for _ in range(2):
        if der[at] != 0x02:
            raise KeyError_("not a DER ECDSA signature")
        size, at = _der_length(der, at + 1)
        value = int.from_bytes(der[at:at + size], "big")
        at += size
        if value >= 2**256:
            raise KeyError_("signature number too large for P-256")
        out += value.to_bytes(32, "big")
    return out


def der_signature(raw):
    """Turns 64 bytes r || s into a DER ECDSA-Sig-Value, the form openssl verifies."""
    if len(raw) != 64:
        raise KeyError_(f"a signature has 64 bytes, not {len(raw)}")

    def integer(value):
        body = value.lstrip(b"\0") or b"\0"
        if body[0] & 0x80:
            body = b"\0" + body
        return b"\x02" + bytes([len(body)]) + body
    content = integer(raw[:32]) + integer(raw[32:])
    return b"\x30" + bytes([len(content)]) + content


def public_pem(private_pem):
    """The PEM public half of a private key."""
    return _openssl("pkey", "-in", private_pem, "-pubout")


def verify_bytes(public, data, raw):
    """True when raw (64 bytes r || s) is the signature of data by the PEM public key
    (bytes of the PEM text)."""
    try:
        der = der_signature(raw)
    except KeyError_:
        return False
    with tempfile.TemporaryDirectory() as work:
        key, signature = os.path.join(work, "public.pem"), os.path.join(work, "signature.der")
        with open(key, "wb") as f:
            f.write(public)
        with open(signature, "wb") as f:
            f.write(der)
        try:
            _openssl("dgst", "-sha256", "-verify", key, "-signature", signature, data=data)
        except KeyError_:
            return False
    return True


def check_private_key(private_pem):
    """Refuses a private key that is not ECDSA P-256 (its public half must read as one)."""
    public = _openssl("pkey", "-in", private_pem, "-pubout")
    with tempfile.NamedTemporaryFile("wb", suffix=".pem", delete=False) as f:
        f.write(public)
    try:
        read_public_point(f.name)
    finally:
        os.unlink(f.name)


def sign_bytes(private_pem, data):
    """Returns the 64-byte signature of data made with the PEM private key."""
    return raw_signature(_openssl("dgst", "-sha256", "-sign", private_pem, data=data))


def write_private_header(private_pem, out_path, namespace):
    check_private_key(private_pem)
    der = _openssl("ec", "-in", private_pem, "-outform", "DER")
    # ECPrivateKey: SEQUENCE { INTEGER 1, OCTET STRING d, ... }
    _, at = _der_length(der, 1)
    if der[0] != 0x30 or der[at:at + 3] != b"\x02\x01\x01" or der[at + 3] != 0x04:
        raise KeyError_("unexpected EC private key encoding")
    size, at = _der_length(der, at + 4)
    d = int.from_bytes(der[at:at + size], "big").to_bytes(32, "big")
    public = _openssl("pkey", "-in", private_pem, "-pubout")
    with tempfile.NamedTemporaryFile("wb", suffix=".pem", delete=False) as f:
        f.write(public)
    try:
        x, y = read_public_point(f.name)
    finally:
        os.unlink(f.name)
    lines = ["// Generated at configure time from a throwaway key in the build tree.", "#pragma once", "",
             f"namespace {namespace} {{", ""]
    for name, data in (("kKeyX", x), ("kKeyY", y), ("kKeyD", d)):
        lines.append(f"inline constexpr unsigned char {name}[32] = {{" +
                     ", ".join(f"0x{b:02x}" for b in data) + "};")
    lines += ["", f"}}  // namespace {namespace}", ""]
    os.makedirs(os.path.dirname(os.path.abspath(out_path)), exist_ok=True)
    with open(out_path, "w", encoding="ascii", newline="\n") as f:
        f.write("\n".join(lines))


def main(argv):
    try:
        if len(argv) == 3 and argv[1] == "generate":
            generate(argv[2])
        elif len(argv) == 5 and argv[1] == "header":
            write_header(argv[2], argv[3], argv[4])
        elif len(argv) == 5 and argv[1] == "private-header":
            write_private_header(argv[2], argv[3], argv[4])
        elif len(argv) == 4 and argv[1] == "sign":
            check_private_key(argv[2])
            with open(argv[3], "rb") as f:
                signature = sign_bytes(argv[2], f.read())
            with open(argv[3] + ".sig", "wb") as f:
                f.write(signature)
        else:
            print(__doc__, file=sys.stderr)
            return 2
    except (KeyError_, OSError) as e:
        print(f"publisher_key: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
