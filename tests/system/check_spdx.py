#!/usr/bin/env python3
# SPDX-FileCopyrightText: The Kelvara developers
# SPDX-License-Identifier: BSD-3-Clause

"""Usage: check_spdx.py SCHEMA [--ignore NAME] [--expect NAME,...] PACKAGE...

Checks the SPDX document that each package holds: a Debian package, a ZIP,
or the folder an installer installed (whose files named by --ignore, such
as the uninstaller that the installer writes, are not the package's); of an
installer itself, the copy beside it. The document must validate against
SCHEMA, list exactly the package's other files with their SHA-1 and
SHA-256 and its verification code, give each element an id of its own,
relate only elements it has, analyse the files of every package that
CONTAINS any, give every package that is not a mere dependency a licence
other than NOASSERTION and no package a version range for a version, and
give Kelvara the version in the package's name. Where the document's copy
lies beside the package as PACKAGE.spdx.json, it must be the same bytes.
No two documents checked share a namespace. --expect names packages a
document must describe, each with a version.
"""

import argparse
import hashlib
import io
import json
import pathlib
import re
import subprocess
import sys
import tarfile
import zipfile

DOCUMENT = "kelvara.spdx.json"


def deb_files(path):
    data = subprocess.run(["dpkg-deb", "--fsys-tarfile", path], capture_output=True, check=True).stdout
    with tarfile.open(fileobj=io.BytesIO(data)) as tar:
        return {member.name: tar.extractfile(member).read() for member in tar if member.isfile()}


def zip_files(path):
    with zipfile.ZipFile(path) as archive:
        names = [name for name in archive.namelist() if not name.endswith("/")]
        return {"./" + name.split("/", 1)[1]: archive.read(name) for name in names}


def tree_files(path):
    root = pathlib.Path(path)
    return {"./" + file.relative_to(root).as_posix(): file.read_bytes() for file in root.rglob("*") if file.is_file()}


def problems_of(package, files, document, validator, expected):
    problems = [f"schema: {error.message} at {list(error.absolute_path)}"
                for error in validator.iter_errors(document)]

    ids = [entry["SPDXID"] for key in ("packages", "files") for entry in document.get(key, [])]
    problems += [f"more than one element has the id {i}" for i in sorted({i for i in ids if ids.count(i) > 1})]
    if files is None:
        return problems

    listed = {entry["fileName"]: {c["algorithm"]: c["checksumValue"] for c in entry.get("checksums", [])}
              for entry in document.get("files", [])}
    for name in sorted(files.keys() - listed.keys()):
        problems.append(f"the package holds {name}, which the document does not list")
    for name in sorted(listed.keys() - files.keys()):
        problems.append(f"the document lists {name}, which the package does not hold")
    for name in sorted(files.keys() & listed.keys()):
        for algorithm, digest in (("SHA1", hashlib.sha1), ("SHA256", hashlib.sha256)):
            if listed[name].get(algorithm) != digest(files[name]).hexdigest():
                problems.append(f"{name}: the document's {algorithm} is not the file's")

    packages = {entry["SPDXID"]: entry for entry in document.get("packages", [])}
    elements = packages.keys() | {entry["SPDXID"] for entry in document.get("files", [])} | {"SPDXRef-DOCUMENT"}
    dependencies = set()
    containers = set()
    for relationship in document.get("relationships", []):
        for end in ("spdxElementId", "relatedSpdxElement"):
            if relationship[end] not in elements:
                problems.append(f"a {relationship['relationshipType']} relationship names {relationship[end]}, "
                                "which the document does not have")
        if relationship["relationshipType"] == "DEPENDS_ON":
            dependencies.add(relationship["relatedSpdxElement"])
        if relationship["relationshipType"] == "CONTAINS":
            containers.add(relationship["spdxElementId"])
    for identifier in sorted(containers & packages.keys()):
        if packages[identifier].get("filesAnalyzed") is not True:
            problems.append(f"package {packages[identifier]['name']} CONTAINS files but has not analysed them")
    for identifier, entry in packages.items():
        if re.match(r"[<>=]", entry.get("versionInfo", "")):
            problems.append(f"package {entry['name']} gives a version range as its version: {entry['versionInfo']}")
        licences = [entry.get(field) for field in ("licenseDeclared", "licenseConcluded")]
        if "NOASSERTION" in licences or (identifier not in dependencies and None in licences):
            problems.append(f"package {entry['name']} declares no licence, or NOASSERTION: {licences}")

    by_name = {entry["name"]: entry for entry in packages.values()}
    kelvara = by_name.get("kelvara", {})
    sha1s = "".join(sorted(hashlib.sha1(data).hexdigest() for data in files.values()))
    if kelvara.get("packageVerificationCode", {}).get("packageVerificationCodeValue") != hashlib.sha1(
            sha1s.encode()).hexdigest():
        problems.append("kelvara's verification code is not that of the files")
    name_version = re.match(r"kelvara[_-]([^_]+?)(_amd64\.deb|-win64\.zip)$", pathlib.Path(package).name)
    if name_version and kelvara.get("versionInfo") != name_version.group(1):
        problems.append(f"kelvara's version is {kelvara.get('versionInfo')}, not the package's {name_version.group(1)}")
    for name in expected:
        if not by_name.get(name, {}).get("versionInfo"):
            problems.append(f"no package {name} with a version")
    return problems


def main():
    arguments = argparse.ArgumentParser()
    arguments.add_argument("schema")
    arguments.add_argument("--ignore", action="append", default=[])
    arguments.add_argument("--expect", default="")
    arguments.add_argument("packages", nargs="+")
    options = arguments.parse_args()

    import jsonschema
    validator = jsonschema.Draft201909Validator(json.loads(pathlib.Path(options.schema).read_text()))

    failed = False
    namespaces = {}
    for package in options.packages:
        if package.endswith(".exe"):
            text = pathlib.Path(package + ".spdx.json").read_bytes()
            problems = problems_of(package, None, json.loads(text), validator, [])
            files = {}
        elif package.endswith(".deb"):
            files = deb_files(package)
        elif package.endswith(".zip"):
            files = zip_files(package)
        else:
            files = tree_files(package)
        if not package.endswith(".exe"):
            for name in options.ignore:
                files.pop("./" + name, None)
            inside = [name for name in files if name.endswith("/" + DOCUMENT)]
            if len(inside) != 1:
                print(f"FAIL: {package} holds {len(inside)} files named {DOCUMENT}")
                failed = True
                continue
            text = files.pop(inside[0])
            problems = problems_of(package, files, json.loads(text), validator,
                                   [name for name in options.expect.split(",") if name])
            beside = pathlib.Path(package + ".spdx.json")
            if beside.is_file() and beside.read_bytes() != text:
                problems.append(f"{beside} is not the document the package holds")
        namespace = json.loads(text).get("documentNamespace")
        if namespace in namespaces:
            problems.append(f"its document's namespace is also that of {namespaces[namespace]}'s")
        namespaces[namespace] = package
        for problem in problems:
            print(f"FAIL: {package}: {problem}")
        failed |= bool(problems)
        if not problems:
            print(f"{package}: its SPDX document" + (f" lists its {len(files)} files and" if files else "")
                  + " checks out")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
