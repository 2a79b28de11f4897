#!/usr/bin/env python3
"""Builds the FTP server content that the updater downloads from, for the
demo and the tests:

    ROOT/letolt/unzip.exe                  the unpacker every customer uses
    ROOT/letolt/ugy/MINTA/pszla.zip        the update package of customer MINTA
    ROOT/letolt/szla22/pszla.zip           the package of the default edition
    ROOT/letolt/<folder>/pszla.man         each package's signed manifest

Each package holds szlamind.zip (the suite's full file set), unzip.exe and
frissit.exe. The full set names the server folder it came from in
"forras.txt", so whoever looks at an installed program folder can tell which
package was installed.

unzip.exe and frissit.exe are the stand-ins built in tools/ (build/<preset>/
tools/unzip and frissit, with .exe on Windows); they are copied in under
their Windows names whatever the platform.

The manifests are signed with the maker's tool (update_sign, built in
tools/) and the key given; the tests and the demo give the test key.

Usage: make_demo_content.py --unzip PATH --frissit PATH --sign TOOL --key PEM ROOT
"""
import argparse
import datetime
import io
import os
import shutil
import subprocess
import zipfile

CUSTOMER_FOLDER = "ugy/MINTA"
DEFAULT_FOLDER = "szla22"
FOLDERS = (CUSTOMER_FOLDER, DEFAULT_FOLDER)
NEEDED = ("szlamind.zip", "unzip.exe", "frissit.exe")


def zip_bytes(members):
    """A zip archive (deflated) of {name: bytes}, in the given order."""
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as archive:
        for name, data in members.items():
            archive.writestr(name, data)
    return out.getvalue()


def full_set(folder):
    """szlamind.zip of the package in a server folder: a few files of the
    suite, one of them naming that folder."""
    return zip_bytes({
        "forras.txt": f"{folder}\n".encode(),
        "verzio.txt": "Számlakészítő 22.4 (2022.10.03)\n".encode(),
        "ujdonsag.txt": ("Újdonságok:\n"
                         "- az áfakulcsok frissítve\n"
                         "- gyorsabb keresés a partnerek között\n").encode(),
    })


def package(folder, unzip, frissit, leave_out=()):
    """pszla.zip for a server folder; leave_out names members to omit."""
    members = {"szlamind.zip": full_set(folder), "unzip.exe": unzip, "frissit.exe": frissit}
    return zip_bytes({n: d for n, d in members.items() if n not in leave_out})


def read(path):
    with open(path, "rb") as f:
        return f.read()


def sign(tool, key, root, folder, serial=1, expires=None, issued=None):
    """Writes letolt/<folder>/pszla.man for the package there and
    letolt/unzip.exe; expires defaults to a year from now."""
    letolt = os.path.join(root, "letolt")
    target = os.path.join(letolt, *folder.split("/"))
    expires = expires or (datetime.date.today() + datetime.timedelta(days=365)).isoformat()
    command = [tool, "manifest", "--key", key, "--folder", folder, "--serial", str(serial),
               "--expires", expires, "--out", os.path.join(target, "pszla.man")]
    if issued:
        command += ["--issued", issued]
    subprocess.run(command + [os.path.join(target, "pszla.zip"), os.path.join(letolt, "unzip.exe")],
                   check=True)


def build(root, unzip_path, frissit_path, folders=FOLDERS, leave_out=(), signer=None):
    """Writes the server content under root (replacing what is there);
    signer (tool, key) signs each package's manifest."""
    letolt = os.path.join(root, "letolt")
    shutil.rmtree(letolt, ignore_errors=True)
    os.makedirs(letolt)
    unzip, frissit = read(unzip_path), read(frissit_path)
    with open(os.path.join(letolt, "unzip.exe"), "wb") as f:
        f.write(unzip)
    for folder in folders:
        target = os.path.join(letolt, *folder.split("/"))
        os.makedirs(target, exist_ok=True)
        with open(os.path.join(target, "pszla.zip"), "wb") as f:
            f.write(package(folder, unzip, frissit, leave_out))
        if signer:
            sign(*signer, root, folder)
    return letolt


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--unzip", required=True, help="the stand-in unpacker program")
    parser.add_argument("--frissit", required=True, help="the stand-in installer program")
    parser.add_argument("--sign", required=True, help="the maker's tool, update_sign")
    parser.add_argument("--key", required=True, help="the private key to sign with (PEM)")
    parser.add_argument("root", help="the FTP server's root folder")
    args = parser.parse_args()
    build(args.root, args.unzip, args.frissit, signer=(args.sign, args.key))


if __name__ == "__main__":
    main()
