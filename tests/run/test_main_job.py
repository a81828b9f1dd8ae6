#!/usr/bin/env python3
"""The main job end to end: scripts/run on a new scratch Wine prefix reporting Windows XP or Windows 7, with
the prefix's own regsvr32. The run must end normally, use the list of its version, leave every listed file at its
destination and its class registered in the 32-bit registry view, and touch nothing of the other list. A second
run on the same prefix must replace none of the files already there.
    test_main_job.py --build WIN32_BUILD_FOLDER --windows winxp|win7
"""
import argparse
import importlib.machinery
import importlib.util
import os
import pathlib
import re
import shutil
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parents[2]
WINDOWS_SHARED = "C:\\Program Files (x86)\\Common Files\\System"
# What the second run must leave in place: appended to each installed file after the first run. A file
# copied over it again would lose it.
KEEP_MARK = b"\0kept by the second run\0"

failures = []


def load_run_report():
    """scripts/run-report, whose reading of a prefix (paths, registry strings) the checks share."""
    loader = importlib.machinery.SourceFileLoader("run_report", str(ROOT / "scripts" / "run-report"))
    module = importlib.util.module_from_spec(importlib.util.spec_from_loader("run_report", loader))
    loader.exec_module(module)
    return module


run_report = load_run_report()


def installed_path(prefix, below):
    """Where a destination below the shared System folder lies on this machine."""
    return run_report.host_path(prefix, WINDOWS_SHARED + "\\" + below)


def check(ok, what):
    print(("  ok    " if ok else "  FAIL  ") + what)
    if not ok:
        failures.append(what)
    return ok


def sample_list(folder):
    """(file, destination below the shared System folder) of a sample list, from its UTF-8 source."""
    entries = []
    for line in (ROOT / "sample" / "lists" / f"{folder}.ini").read_text(encoding="utf-8").splitlines():
        if "=" in line:
            key, _, value = line.partition("=")
            entries.append((key.strip(), value.strip().replace("路径\\", "", 1)))
    return entries


def sample_classes():
    classes = {}
    for line in (ROOT / "sample" / "components.txt").read_text(encoding="utf-8").splitlines():
        if line and not line.startswith("#"):
            name, clsid = line.split("\t")[:2]
            classes[name] = clsid.upper()
    return classes


def registry_servers(prefix, view_key):
    """CLSID -> InprocServer32 default value, for the classes under one key of the prefix's system.reg."""
    servers = {}
    section = None
    if not (prefix / "system.reg").is_file():
        return servers
    pattern = re.compile(r"^\[" + re.escape(view_key) + r"\\\\(\{[0-9A-Fa-f-]+\})\\\\InprocServer32\]")
    for line in (prefix / "system.reg").read_text(encoding="utf-8", errors="replace").splitlines():
        if line.startswith("["):
            match = pattern.match(line)
            section = match.group(1).upper() if match else None
        elif section and line.startswith("@="):
            servers[section] = run_report.unescape_reg(line[2:].strip('"'))
    return servers


def run_main_job(build, prefix, version):
    env = dict(os.environ, WINEPREFIX=str(prefix))
    env.pop("DISPLAY", None)  # nobody watches: a private display, the message answered, screenshots saved
    result = subprocess.run([str(ROOT / "scripts" / "run"), "--windows", version, "--build", str(build)],
                            env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=1200)
    output = result.stdout.decode("utf-8", errors="replace")
    print("\n".join("    | " + line for line in output.splitlines()))
    return result.returncode, output


def check_repair(build, prefix, version, folder, other_folder, run_name, state):
    """One run and what it must have done; state: what the report must say of the files' bytes."""
    status, report = run_main_job(build, prefix, version)
    check(status == 0, f"{run_name}: scripts/run exits 0 (got {status})")
    tag = {"xp": "XP", "w7": "W7"}[folder]
    check(f'version tag "{tag}": list {folder}\\文件列表.ini' in report,
          f"{run_name}: the report names version tag {tag} and the {folder} list")
    check("the program ended with exit code 0" in report, f"{run_name}: the program ended normally")
    pictures = re.search(r"^screenshots: (.*)$", report, re.M)
    check(pictures is not None and any(pathlib.Path(pictures.group(1)).glob("*.png")),
          f"{run_name}: screenshots were saved")

    classes = sample_classes()
    servers32 = registry_servers(prefix, "Software\\\\Classes\\\\Wow6432Node\\\\CLSID")
    servers64 = registry_servers(prefix, "Software\\\\Classes\\\\CLSID")
    components = build / "sample" / "components"
    listed = sample_list(folder)
    for name, below in listed:
        destination = installed_path(prefix, below)
        windows_destination = WINDOWS_SHARED + "\\" + below
        check(destination.is_file() and destination.read_bytes().startswith((components / name).read_bytes()),
              f"{run_name}: {name} is at {windows_destination}")
        clsid = classes[name]
        row = re.search(r"^\s*" + re.escape(name) + r"\s+" + re.escape(windows_destination)
                        + r"\s+(package's bytes|other bytes|missing)\s+(\S+)", report, re.M)
        check(row is not None and row.groups() == (state, clsid),
              f"{run_name}: the report shows {name} there with {state} and class {clsid} "
              f"(found {row.groups() if row else None})")
        check(servers32.get(clsid, "").lower() == windows_destination.lower(),
              f"{run_name}: class {clsid} is registered in the 32-bit view with server {windows_destination} "
              f"(found {servers32.get(clsid)!r})")
        check(clsid not in servers64, f"{run_name}: class {clsid} is not in the 64-bit view")
    for name, below in sample_list(other_folder):
        if (name, below) in listed:
            continue
        check(not installed_path(prefix, below).exists(),
              f"{run_name}: {below} of the {other_folder} list was not installed")
        if name not in dict(listed):
            check(classes[name] not in servers32, f"{run_name}: {name} of the {other_folder} list was not registered")
    return listed


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True, type=pathlib.Path)
    parser.add_argument("--windows", required=True, choices=["winxp", "win7"])
    arguments = parser.parse_args()
    build, version = arguments.build.resolve(), arguments.windows
    folder, other_folder = ("xp", "w7") if version == "winxp" else ("w7", "xp")
    scratch = build / "main-job" / version
    shutil.rmtree(scratch, ignore_errors=True)

    print(f"main job, Wine reporting {version}")
    listed = check_repair(build, scratch, version, folder, other_folder, version, "package's bytes")

    print(f"main job again on the same {version} prefix")
    installed = [installed_path(scratch, below) for _, below in listed]
    for path in installed:
        if path.is_file():
            with path.open("ab") as file:
                file.write(KEEP_MARK)
    check_repair(build, scratch, version, folder, other_folder, f"second {version} run", "other bytes")
    for path in installed:
        check(path.is_file() and path.read_bytes().endswith(KEEP_MARK),
              f"second {version} run: {path.name} was not replaced")

    if failures:
        print(f"FAILED: {len(failures)} check(s)")
        return 1
    shutil.rmtree(scratch, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
