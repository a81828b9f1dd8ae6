#!/usr/bin/env python3
"""The main job end to end: scripts/run on a new scratch Wine prefix, with the prefix's own regsvr32. One row
per run below; each row has a prefix of its own.

  winxp, win7     the sample package on Wine reporting Windows XP or Windows 7 to the program, on a prefix whose
                  own version is another one, which it keeps. The run must end normally, use the list of its
                  version, leave every listed file at its destination and its class registered in the 32-bit
                  registry view, and touch nothing of the other list; the check's report it shows judges every
                  entry ok. A second run on the same prefix must replace none of the files already there.
  own_package     a package laid out by hand (the sample's components under other names, one of them a name Wine
                  has a builtin DLL of, lists of its own, a destination in each shared folder) on a prefix where
                  one of its files was there before and registered: the check's report the run shows tells
                  every file, that an application loading it gets its own code and its class (and a class
                  naming that file through a REG_EXPAND_SZ value), and that file keeps its bytes; the file
                  under Wine's name, whose destination holds Wine's own copy of that DLL, gets the override
                  native,builtin, no other name does, and Wine's copy is removed and told, so that the package's file is put there, its own
                  class registered and its code loaded, while a DLL of Wine's that the package does not hold is
                  left as it was and still loads as Wine's builtin (as the check tells of a list naming it). A
                  component importing a library of its own registers where that library lies beside it and
                  fails to load where it does not (the check names the library), and the copy of the
                  library planted beside the program (started in its own folder, as Explorer starts it) is
                  never loaded. A program of the user's keeps running in the prefix meanwhile: it survives the
                  run, which returns within minutes with the registry written. The override of that name was
                  the empty value before (the DLL disabled); the undo the run leaves brings it back, and Wine's
                  copy with it. The list names that file in upper case where Wine's copy has a lower-case name:
                  one file is there after the run, the package's, and no put-back is told; after the undo one
                  file again, Wine's.
  own_package_win32  the same on a 32-bit prefix (WINEARCH=win32), where everything runs as a 32-bit program.
  broken_package  a package whose list names a missing file: refused with exit code 2, naming the file, before
                  the prefix's registry files or drive C: change; and a WINEPREFIX that is a folder of other
                  files: refused with exit code 2, the folder left as it was. Then, on that prefix, a sound
                  package whose program is killed before it copies anything: Wine's copy, set aside for the run,
                  is back in its place; a file with Wine's mark at a destination outside the prefix (Z:) is
                  neither moved nor changed, and said so; a file of the user's under a builtin's name at a
                  destination is left as it is, and nothing is said of it; an override holding a TAB and a
                  version setting of type REG_EXPAND_SZ are exact after the run's undo command. A run whose
                  step fails after its first change (a --plant file that does not exist) leaves the prefix as
                  it was. A run sent SIGTERM while the program's window shows ends it: Wine's copy is back,
                  and nothing of the run is left in drive C:.
  check           the companion check MdacCheck.exe on one prefix repaired with a package of seven components:
                  after the repair every entry is ok (exit code 0, as scripts/run reports it); then each entry is
                  broken in its own way, side by side (its class's registration deleted, an older version put
                  over it, a library it needs removed, its class factory made to crash, made to hang, its class
                  registered to another copy, a per-user registration shadowing the machine's): one start of
                  the check with /report names each with its verdict and advice (exit code 1); with the list
                  gone it cannot check (exit code 2).
  Every run of scripts/run also shows the check's window (a picture) and its report, with a block per entry.

    test_main_job.py --build WIN32_BUILD_FOLDER --row winxp|win7|own_package|own_package_win32|broken_package|check
"""
import argparse
import hashlib
import importlib.machinery
import importlib.util
import os
import pathlib
import re
import shutil
import signal
import subprocess
import sys
import threading
import time

ROOT = pathlib.Path(__file__).resolve().parents[2]
# What must be left in place: appended to a file already at its destination. A file copied over it would
# lose it.
KEEP_MARK = b"\0kept by the second run\0"
# The version the prefix itself reports in the sample rows; the program is shown another one.
PREFIX_VERSION = "win10"

failures = []


def load_run_report():
    """scripts/run-report, whose reading of the check's report (its texts, its blocks) the checks share."""
    loader = importlib.machinery.SourceFileLoader("run_report", str(ROOT / "scripts" / "run-report"))
    module = importlib.util.module_from_spec(importlib.util.spec_from_loader("run_report", loader))
    loader.exec_module(module)
    return module


run_report = load_run_report()
sys.path.insert(0, str(ROOT / "scripts"))
import prefix as wine_prefix  # noqa: E402  (the scripts' reading of a prefix)


def installed_path(prefix, below):
    """Where a destination below the shared System folder lies on this machine."""
    return wine_prefix.host_path(prefix, wine_prefix.shared_folder(prefix) + "\\" + below)


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


def registry_values(prefix, file, key):
    """Name ("@" for the default) -> string value, of every key of one of the prefix's registry files whose
    path matches the pattern key (names escaped as Wine writes them); keyed by the first group of key."""
    found = {}
    path = prefix / file
    if not path.is_file():
        return found
    pattern = re.compile(r"^\[" + key + r"\]", re.I)
    section = None
    for line in path.read_text(encoding="utf-8", errors="replace").splitlines():
        if line.startswith("["):
            match = pattern.match(line)
            section = ((match.group(1) or "") if match.groups() else "").upper() if match else None
        elif section is not None and (value := re.match(r'^(@|"[^"]*")=(?:str\(2\):)?"(.*)"$', line)):
            found.setdefault(section, {})[value.group(1).strip('"')] = wine_prefix.unescape_reg(value.group(2))
    return found


def class_view(prefix):
    """The key of the classes a 32-bit program of the prefix sees, as a pattern of system.reg's keys."""
    return r"Software\\\\Classes\\\\" + (r"Wow6432Node\\\\" if wine_prefix.is_wow64(prefix) else "") + "CLSID"


def registry_servers(prefix, view_key):
    """CLSID -> InprocServer32 default value, for the classes under one key of the prefix's system.reg."""
    values = registry_values(prefix, "system.reg", view_key + r"\\\\(\{[0-9A-Fa-f-]+\})\\\\InprocServer32")
    return {clsid: named.get("@", "") for clsid, named in values.items()}


def end_session(prefix, since):
    """Waits for the prefix's Wine session to end, which writes the registry into its files. Where 32-bit
    programs run under qemu, the boot program Wine starts with a new 32-bit session now and then never ends,
    and keeps the session open for good once every program of ours has ended: then, as soon as the server has
    written the registry after `since` (it does so every 30 seconds while changes are pending), or after 40
    seconds when nothing was left to write, the session is ended (the prefix is the row's own)."""
    env = dict(os.environ, WINEPREFIX=str(prefix))
    started = time.monotonic()
    while True:
        try:
            subprocess.run(["wineserver", "-w"], env=env, timeout=5)
            return
        except subprocess.TimeoutExpired:
            pass
        waited = time.monotonic() - started
        written = any(path.is_file() and path.stat().st_mtime > since
                      for path in (prefix / name for name in ("system.reg", "user.reg", "userdef.reg")))
        if waited >= 10 and (written or waited >= 40):
            time.sleep(1)  # the registry's files are written one after another
            print(f"  (Wine's session of {prefix.name} still open {waited:.0f} s after our last program; ended)")
            subprocess.run(["wineserver", "-k"], env=env, timeout=60)
            subprocess.run(["wineserver", "-w"], env=env, timeout=60)
            return


def wine(prefix, *command, arch=None, session_ends=True):
    """A Windows program in the prefix (made, when new, of that WINEARCH), then, unless another program keeps
    the session open (session_ends=False), the prefix's registry written out (its server ends); the program's
    output."""
    env = dict(os.environ, **({"WINEARCH": arch} if arch else {}))
    result = subprocess.run([str(ROOT / "scripts" / "wine-run"), "--prefix", str(prefix), *command], check=True,
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=600, env=env)
    if session_ends:
        end_session(prefix, time.time())
    return result.stdout.decode("utf-8", errors="replace")


def overrides(prefix):
    """The prefix's DLL overrides: module name -> value."""
    return registry_values(prefix, "user.reg", r"Software\\\\Wine\\\\DllOverrides()").get("", {})


def wine_processes(prefix, name):
    """Host process ids of the programs of that name running in the prefix."""
    found = []
    for entry in pathlib.Path("/proc").iterdir():
        try:
            if entry.name.isdigit() and (entry / "comm").read_text().strip() == name and \
                    f"WINEPREFIX={prefix}".encode() in (entry / "environ").read_bytes().split(b"\0"):
                found.append(int(entry.name))
        except OSError:
            continue
    return found


def run_main_job(build, prefix, *arguments, kill_program=False, terminate_when_shown=False):
    """scripts/run with these arguments on the prefix: its exit code and output. kill_program: the program is
    killed as soon as it runs, before it copies anything (its countdown takes seconds). terminate_when_shown:
    scripts/run is sent SIGTERM once the picture of the program's main window is taken."""
    env = dict(os.environ, WINEPREFIX=str(prefix))
    env.pop("DISPLAY", None)  # nobody watches: a private display, the message answered, screenshots saved
    run = subprocess.Popen([str(ROOT / "scripts" / "run"), "--build", str(build), *arguments],
                           env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)

    def terminate_when(picture):
        for _ in range(6000):
            if picture.exists():
                run.send_signal(signal.SIGTERM)
                print("    (scripts/run sent SIGTERM, the main window showing)", flush=True)
                return
            time.sleep(0.1)

    lines = []
    for raw in run.stdout:
        lines.append(raw.decode("utf-8", errors="replace").rstrip("\n"))
        print("    | " + lines[-1], flush=True)
        folder = re.match(r"run: this run's folder: (.*)$", lines[-1])
        if terminate_when_shown and folder:
            threading.Thread(target=terminate_when, daemon=True,
                             args=(pathlib.Path(folder.group(1)) / "screenshots" / "1-main-window.png",)).start()
        if kill_program and lines[-1] == "run: starting MdacRepair.exe":
            for _ in range(1200):
                program = wine_processes(prefix, "MdacRepair.exe")
                if program:
                    os.kill(program[0], signal.SIGKILL)
                    print(f"    (the program, process {program[0]}, killed)")
                    break
                time.sleep(0.1)
    return run.wait(timeout=1200), "\n".join(lines)


def same_names(path):
    """The names of the files of path's folder that Windows takes for path's name, sorted."""
    return sorted(child.name for child in wine_prefix.same_names(path.parent, path.name))


def undo_run(prefix, report):
    """The undo command the run's last lines name, run as a user runs it; what it printed."""
    command = re.search(r"^  (scripts/run --undo .*)$", report, re.M)
    if not check(command is not None, "the run names its undo command"):
        return ""
    started = time.time()
    result = subprocess.run(["bash", "-c", command.group(1)], cwd=ROOT, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, timeout=600)
    end_session(prefix, started)
    return result.stdout.decode("utf-8", errors="replace")


def value_lines(prefix, key, names):
    """The lines of these values under one key of the prefix's user.reg, as Wine wrote them (type and value)."""
    text = (prefix / "user.reg").read_text(encoding="utf-8", errors="replace")
    match = re.search(r"^\[" + re.escape(key.replace("\\", "\\\\")) + r"\][^\n]*\n(.*?)(?=^\[|\Z)", text,
                      re.M | re.S | re.I)
    body = match.group(1).splitlines() if match else []
    return {name: [line for line in body if line.lower().startswith(f'"{name.lower()}"=')] for name in names}


def override_lines(prefix):
    """The lines of the DllOverrides key in the prefix's user.reg, as Wine wrote them."""
    text = (prefix / "user.reg").read_text(encoding="utf-8", errors="replace")
    match = re.search(r"^\[Software\\\\Wine\\\\DllOverrides\][^\n]*\n(.*?)(?=^\[|\Z)", text, re.M | re.S)
    return [line for line in (match.group(1) if match else "").splitlines() if line and not line.startswith("#")]


# The file line the check's report gives a file with the package's bytes, and one with bytes of its own.
FILE_STATES = {"package's bytes": "kFileSame", "other bytes": "kFileOther"}


def check_repair(build, prefix, arguments, folder, listed, others, run_name, judged=None):
    """One run of scripts/run and what it must have done. listed: (entry, destination below the shared
    folder, class id, the package's bytes, the state of the file there: package's bytes or other bytes) of
    the list in use; others: (destination, class id) of components it must not have installed or
    registered. The check's report shows each listed entry at its destination with that file, loading as
    the file's own code (not Wine's), its class registered to it and created from it, and judged ok, or as
    judged gives it: entry -> (verdict, advice), names of the check's texts."""
    status, report = run_main_job(build, prefix, *arguments)
    check(status == 0, f"{run_name}: scripts/run exits 0 (got {status})")
    tag = {"xp": "XP", "w7": "W7"}[folder]
    texts = run_report.report_texts()
    checked, checked_report = check_of_run(report)
    check(f'version tag "{tag}": list {folder}\\文件列表.ini' in report
          and texts["kTagLine"] + tag in checked_report.splitlines()
          and re.search("^" + re.escape(texts["kListLine"]) + r".*\\" + folder + r"\\文件列表\.ini$", checked_report,
                        re.M) is not None,
          f"{run_name}: the report names version tag {tag} and the {folder} list, and so does the check's")
    check("the program ended with exit code 0" in report, f"{run_name}: the program ended normally")
    pictures = re.search(r"^screenshots: (.*)$", report, re.M)
    check(pictures is not None and {p.name for p in pathlib.Path(pictures.group(1)).glob("*.png")}
          == {"1-main-window.png", "2-completion-message.png", "3-check-window.png"},
          f"{run_name}: pictures of the main window, the completion message and the check's window were saved")
    blocks = run_report.entry_blocks(checked_report, texts)
    check(checked is not None and all(entry in blocks for entry, *_ in listed),
          f"{run_name}: the check's report (exit code {checked}) has a block for each entry")

    wow64 = wine_prefix.is_wow64(prefix)
    servers32 = registry_servers(prefix, class_view(prefix))
    servers64 = registry_servers(prefix, r"Software\\\\Classes\\\\CLSID") if wow64 else {}
    for entry, below, clsid, shipped, state in listed:
        destination = installed_path(prefix, below)
        windows_destination = wine_prefix.shared_folder(prefix) + "\\" + below
        code = "loading as " + ("the package's code" if state == "package's bytes" else "its own code")
        check(destination.is_file() and destination.read_bytes().startswith(shipped),
              f"{run_name}: {entry} is at {windows_destination}")
        block = blocks.get(entry, [])
        created = texts["kCreateLine"] + clsid + "：" + texts["kCreated"] + windows_destination + texts["kCreatedBy"]
        verdict, advice = (judged or {}).get(entry, ("kOk", "kAdviceOk"))
        shown = {
            "at its destination": bool(block) and block[0].endswith(texts["kEntryArrow"] + windows_destination),
            state: any(line.startswith(texts["kFileLine"] + texts[FILE_STATES[state]])
                       and texts["kWineBuiltin"] not in line for line in block),
            code: texts["kLoadLine"] + texts["kLoaded"] in block,
            f"class {clsid} registered to it": any(line.startswith(texts["kMachineClassLine"] + clsid)
                                                   for line in block),
            "created from it": created.lower() in (line.lower() for line in block),
            f"judged {texts[verdict]}, {texts[advice]}": verdict_of(block, texts) == (texts[verdict], texts[advice]),
        }
        check(all(shown.values()), f"{run_name}: the check's report shows {entry} " + ", ".join(shown)
              + f" (not shown: {[what for what, seen in shown.items() if not seen]}; its block: {block})")
        check(servers32.get(clsid, "").lower() == windows_destination.lower(),
              f"{run_name}: class {clsid} is registered in the 32-bit view with server {windows_destination} "
              f"(found {servers32.get(clsid)!r})")
        check(clsid not in servers64, f"{run_name}: class {clsid} is not in the 64-bit view")
    for below, clsid in others:
        check(not installed_path(prefix, below).exists(), f"{run_name}: {below} was not installed")
        if clsid not in {entry[2] for entry in listed}:
            check(clsid not in servers32, f"{run_name}: class {clsid} was not registered")
    return report


def sample_row(build, scratch, version):
    """The sample package on a prefix reporting PREFIX_VERSION, the program shown version; then again."""
    folder, other_folder = ("xp", "w7") if version == "winxp" else ("w7", "xp")
    classes = sample_classes()
    components = build / "sample" / "components"
    wine(scratch, "--prepare")
    wine(scratch, "reg", "add", "HKCU\\Software\\Wine", "/v", "Version", "/d", PREFIX_VERSION, "/f")

    def expected(state):
        return [(name, below, classes[name], (components / name).read_bytes(), state)
                for name, below in sample_list(folder)]

    others = [(below, classes[name]) for name, below in sample_list(other_folder)
              if (name, below) not in sample_list(folder)]
    print(f"main job, the program shown {version}, the prefix {PREFIX_VERSION}")
    check_repair(build, scratch, ["--windows", version], folder, expected("package's bytes"), others, version)
    versions = registry_values(scratch, "user.reg", r"Software\\\\Wine(\\\\AppDefaults\\\\MdacRepair\.exe)?")
    check(versions.get("", {}).get("Version") == PREFIX_VERSION,
          f"{version}: the prefix keeps its own Windows version (found {versions.get('', {}).get('Version')!r})")
    check(versions.get("\\\\APPDEFAULTS\\\\MDACREPAIR.EXE", {}).get("Version") == version,
          f"{version}: the version is set for MdacRepair.exe alone")

    print(f"main job again on the same {version} prefix")
    installed = [installed_path(scratch, below) for _, below in sample_list(folder)]
    for path in installed:
        if path.is_file():
            with path.open("ab") as file:
                file.write(KEEP_MARK)
    # Each file there keeps its bytes and its version: not the package's copy, which the check tells.
    check_repair(build, scratch, ["--windows", version], folder, expected("other bytes"), others,
                 f"second {version} run",
                 judged={name: ("kAttention", "kAdviceSameVersion") for name, _ in sample_list(folder)})
    for path in installed:
        check(path.is_file() and path.read_bytes().endswith(KEEP_MARK),
              f"second {version} run: {path.name} was not replaced")


def lay_out_package(root, lists):
    """A package as it ships: root/xp and root/w7, each with its list (code page 936) and the files it names,
    here sample components under other names. lists: folder -> [(entry, sample component, destination)]."""
    components = root.parent / "components"
    for folder, entries in lists.items():
        lines = ["[文件列表]"]
        for entry, component, destination in entries:
            target = root / folder / entry.replace("\\", "/")
            target.parent.mkdir(parents=True, exist_ok=True)
            if component:
                shutil.copyfile(components / component, target)
            lines.append(f"{entry}={destination}")
        (root / folder).mkdir(parents=True, exist_ok=True)
        (root / folder / "文件列表.ini").write_bytes(("\r\n".join(lines) + "\r\n").encode("gbk"))


# The last w7 file has the name of a DLL Wine has a builtin of, and goes where Wine put its own copy of
# that DLL, named there in upper case where Wine's copy has a lower-case name; oledb32, which Wine also has,
# is not the package's.
OWN_W7 = [("甲组件.dll", "mdacado.dll", "路径\\ado\\甲组件.dll"),
          ("b.dll", "mdacrds.dll", "路径\\msadc\\rds-b.dll"),
          ("sub\\丙.dll", "数据访问.dll", "路径\\ole db\\丙.dll"),
          ("msado15.dll", "mdacw7.dll", "路径\\ado\\MSADO15.DLL")]
OWN_XP = [("x.dll", "mdacw7.dll", "路径\\ado\\x.dll")]
# A component that imports a library of its own by name, twice: where that library already lies beside its
# destination, and where it does not. A copy of the library also lies beside the program, where only a
# regsvr32 running in the program's folder would find it.
OWN_LIBRARY = "e2e_marker.dll"
OWN_W7_IMPORTING = [("丁.dll", "e2e_dependent.dll", "路径\\msadc\\丁.dll"),
                    ("戊.dll", "e2e_dependent.dll", "路径\\ole db\\戊.dll")]
IMPORTING_CLASS = "{6A1F3C20-5B7E-4C11-9D2A-1E0F00000005}"
WINE_BUILTIN_OF_PACKAGE = "msado15"
WINE_BUILTIN_NOT_HELD = "OLE DB\\oledb32.dll"
EXPANDED_CLASS = "{6A1F3C20-5B7E-4C11-9D2A-1E0F00000009}"


def own_package_row(build, scratch, arch):
    name = "own package" + (f" ({arch})" if arch else "")
    classes = sample_classes()
    shutil.copytree(build / "sample" / "components", scratch / "components")
    importing_component = OWN_W7_IMPORTING[0][1]
    shutil.copyfile(build / "tests" / "e2e" / importing_component, scratch / "components" / importing_component)
    package = scratch / "package"
    lay_out_package(package, {"xp": OWN_XP, "w7": OWN_W7 + OWN_W7_IMPORTING})
    prefix = scratch / "prefix"
    wine(prefix, "--prepare", arch=arch)
    beside_importing = installed_path(prefix, OWN_W7_IMPORTING[0][2].replace("路径\\", "")).parent / OWN_LIBRARY
    beside_importing.parent.mkdir(parents=True, exist_ok=True)
    shutil.copyfile(build / "tests" / "e2e" / OWN_LIBRARY, beside_importing)
    shared = wine_prefix.shared_folder(prefix)

    # The first file is there before, with bytes of its own, and registered; another class names that file
    # through a variable, as a REG_EXPAND_SZ value; the user has the DLL of that name disabled (its override
    # is the empty value). One session of Wine does all three: where 32-bit programs run under emulation,
    # each session of a 32-bit prefix takes a minute to start and end.
    entry, component, destination = OWN_W7[0]
    below = destination.replace("路径\\", "")
    there = installed_path(prefix, below)
    there.parent.mkdir(parents=True, exist_ok=True)
    there.write_bytes((package / "w7" / entry).read_bytes() + KEEP_MARK)
    system32 = "syswow64" if wine_prefix.is_wow64(prefix) else "system32"
    expanded = ("%CommonProgramFiles%\\System\\" + below + "\0").encode("utf-16-le")
    settings = scratch / "settings-before.reg"
    classes_key = class_view(prefix).replace("\\" * 4, "\\")  # the key itself, not a pattern of it
    settings.write_text("\r\n".join([
        "Windows Registry Editor Version 5.00", "",
        f"[HKEY_LOCAL_MACHINE\\{classes_key}\\{EXPANDED_CLASS}\\InprocServer32]",
        "@=hex(2):" + ",".join(f"{byte:02x}" for byte in expanded), "",
        "[HKEY_CURRENT_USER\\Software\\Wine\\DllOverrides]", f'"{WINE_BUILTIN_OF_PACKAGE}"=""', ""]),
        encoding="utf-16")
    wine(prefix, "cmd", "/c", f"C:\\windows\\{system32}\\regsvr32.exe", "/s", shared + "\\" + below, "&",
         "regedit", "/S", "Z:" + str(settings).replace("/", "\\"))
    servers = registry_servers(prefix, class_view(prefix))
    check(servers.get(classes[component], "").lower() == (shared + "\\" + below).lower(),
          f"{name}: {entry} was there and registered before the run")
    check(servers.get(EXPANDED_CLASS) == "%CommonProgramFiles%\\System\\" + below,
          f"{name}: a class names {entry} through a variable before the run "
          f"(found {servers.get(EXPANDED_CLASS)!r})")
    overrides_before = overrides(prefix)
    check(overrides_before.get(WINE_BUILTIN_OF_PACKAGE) == "",
          f"{name}: {WINE_BUILTIN_OF_PACKAGE} is disabled before the run")
    lines_before = override_lines(prefix)
    # Wine put its own copy of the DLL at the destination of the file under its name.
    wines_copy = shared + "\\" + OWN_W7[-1][2].replace("路径\\", "")
    wines_copy_bytes = wine_prefix.host_path(prefix, wines_copy).read_bytes()
    check(wine_prefix.carries_builtin_mark(wine_prefix.host_path(prefix, wines_copy)),
          f"{name}: Wine put its own copy at {wines_copy}")
    wines_own = shared + "\\" + WINE_BUILTIN_NOT_HELD
    wines_own_bytes = wine_prefix.host_path(prefix, wines_own).read_bytes()

    print(f"main job on a package laid out by hand, {arch or 'a 64-bit'} prefix")
    listed = [(entry, destination.replace("路径\\", ""), classes[component],
               (package / "w7" / entry.replace("\\", "/")).read_bytes(),
               "other bytes" if index == 0 else "package's bytes")
              for index, (entry, component, destination) in enumerate(OWN_W7)]
    # The importing component is registered where its library lies beside it.
    listed += [(importing, destination.replace("路径\\", ""), IMPORTING_CLASS,
                (package / "w7" / importing).read_bytes(), "package's bytes")
               for importing, _, destination in OWN_W7_IMPORTING[:1]]
    others = [(destination.replace("路径\\", ""), classes[component]) for _, component, destination in OWN_XP]
    # A program of the user's runs in the prefix all along.
    sleeper = subprocess.Popen([str(ROOT / "scripts" / "wine-run"), "--prefix", str(prefix),
                                str(build / "tests" / "run" / "Sleeper.exe")],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(1200):
        if wine_processes(prefix, "Sleeper.exe"):
            break
        time.sleep(0.1)
    started = time.monotonic()
    # Classes the file does not serve name two of the files: the class through a variable, and Wine's own
    # classes of its DLL, which still name the place of Wine's copy. The check creates each and says so.
    not_served = ("kProblem", "kAdviceCreateFailed")
    report = check_repair(build, prefix, ["--package", str(package), "--windows", "win7", "--plant",
                                          str(build / "tests" / "e2e" / OWN_LIBRARY)], "w7", listed, others, name,
                          judged={OWN_W7[0][0]: not_served, OWN_W7[-1][0]: not_served})
    took = time.monotonic() - started
    running = wine_processes(prefix, "Sleeper.exe")
    # Minutes, not forever: a run that waited for the user's program would never return. The bound leaves
    # room for the check's start after the repair on a busy machine (about 135 s alone, up to 270 s seen).
    check(running and sleeper.poll() is None and took < 360,
          f"{name}: the user's program still runs after scripts/run, which returned in {took:.0f} s")
    check("other programs keep the prefix's Wine session open; they are left running" in report,
          f"{name}: the run says that other programs keep Wine's session open and leaves them running")
    # Without its library beside it, it is not registered: the copy beside the program is never loaded.
    texts = run_report.report_texts()
    blocks = run_report.entry_blocks(check_of_run(report)[1], texts)
    lonely_entry, _, lonely_destination = OWN_W7_IMPORTING[1]
    lonely = shared + "\\" + lonely_destination.replace("路径\\", "")
    block = blocks.get(lonely_entry, [])
    check(block[:1] == [f"[{len(listed) + 1}] {lonely_entry}{texts['kEntryArrow']}{lonely}"]
          and texts["kFileLine"] + texts["kFileSame"] + texts["kCountSeparator"] + texts["kVersion"] in "".join(block)
          and texts["kLoadLine"] + texts["kLoadMissingLibrary"] + f"（{OWN_LIBRARY}）" in block
          and texts["kMachineClassLine"] + texts["kNone"] in block and texts["kUserClassLine"] + texts["kNone"] in block
          and verdict_of(block, texts) == (texts["kProblem"], texts["kAdviceMissingLibrary"]),
          f"{name}: the check's report shows {lonely_entry}, without its library beside it, at {lonely} with the "
          f"package's bytes, failing to load for want of {OWN_LIBRARY}, with no class (its block: {block})")
    check(f"planted {OWN_LIBRARY} beside the program" in report
          and f"the planted {OWN_LIBRARY} was never loaded" in report,
          f"{name}: the copy of {OWN_LIBRARY} beside the program was never loaded")
    check(there.read_bytes().endswith(KEEP_MARK), f"{name}: {entry}, there before, keeps its bytes")
    check(texts["kMachineClassLine"] + EXPANDED_CLASS in blocks.get(entry, []),
          f"{name}: the class whose server is a REG_EXPAND_SZ value is shown among {entry}'s in the check's report")
    added = {key.lower(): value for key, value in overrides(prefix).items() if overrides_before.get(key) != value}
    check(added == {WINE_BUILTIN_OF_PACKAGE: "native,builtin"},
          f"{name}: the override {WINE_BUILTIN_OF_PACKAGE}=native,builtin is set, no other (found {added})")
    check(f"dll override {WINE_BUILTIN_OF_PACKAGE}=native,builtin" in report.lower(), f"{name}: the override is told")
    check(f"set Wine's own copy of {wines_copy.rpartition(chr(92))[2]} at {wines_copy} aside" in report
          and report.count("set Wine's own copy") == 1,
          f"{name}: Wine's copy at {wines_copy}, and no other, is told set aside")
    # Windows takes the upper-case name for Wine's lower-case one: the package's file alone is there.
    there = wine_prefix.host_path(prefix, wines_copy)
    package_bytes = (package / "w7" / OWN_W7[-1][0]).read_bytes()
    check(same_names(there) == [there.name] and there.read_bytes() == package_bytes
          and "put Wine's own copy" not in report,
          f"{name}: one file at {wines_copy}, the package's, and no put-back told (found {same_names(there)})")
    check(wine_prefix.host_path(prefix, wines_own).read_bytes() == wines_own_bytes,
          f"{name}: {wines_own} is left as it was")
    # The check, beside a list that names Wine's DLL, tells that an application loading it gets Wine's
    # builtin, and so does the run's report of such an entry. The user's program keeps the session open for
    # it; the row ends it before the undo.
    beside_wines = prefix / "drive_c" / "检查"
    lay_out_package(beside_wines, {folder: [("oledb32.dll", None, "路径\\" + WINE_BUILTIN_NOT_HELD)]
                                   for folder in ("xp", "w7")})
    shutil.copyfile(build / "MdacCheck.exe", beside_wines / "MdacCheck.exe")
    _, wines_report = run_check(prefix, beside_wines / "MdacCheck.exe", "wines-own.txt")
    block = run_report.entry_blocks(wines_report, texts).get("oledb32.dll", [])
    check(block[:1] == [f"[1] oledb32.dll{texts['kEntryArrow']}{wines_own}"]
          and texts["kLoadLine"] + texts["kLoaded"] + texts["kCountSeparator"] + texts["kWineBuiltin"] in block
          and dict(run_report.wines_own_code(wines_report, texts)).get("oledb32.dll", "").startswith("loading it"),
          f"{name}: {wines_own}, not the package's, loads as Wine's builtin, so the check says and the run's "
          f"report would tell (its block: {block})")

    # The undo the run names brings back the override's value and Wine's copy.
    lines_after = override_lines(prefix)
    programs_ended = time.time()
    for process in running:
        os.kill(process, signal.SIGKILL)  # the test's own program
    sleeper.wait(timeout=60)
    end_session(prefix, programs_ended)
    undo_run(prefix, report)
    lines_undone = override_lines(prefix)
    for when, lines in (("before the run", lines_before), ("after the run", lines_after),
                        ("after the undo", lines_undone)):
        print(f"  user.reg's DllOverrides {when}: {lines}")
    check(f'"{WINE_BUILTIN_OF_PACKAGE}"=""' in lines_undone and overrides(prefix) == overrides_before,
          f"{name}: after the undo, {WINE_BUILTIN_OF_PACKAGE} is the empty value again, and every override as before")
    versions = registry_values(prefix, "user.reg", r"Software\\\\Wine\\\\AppDefaults\\\\MdacRepair\.exe()")
    check("Version" not in versions.get("", {}),
          f"{name}: after the undo, MdacRepair.exe has no version setting of its own, as before (found {versions})")
    there = wine_prefix.host_path(prefix, wines_copy)
    check(same_names(there) == [there.name] and there.read_bytes() == wines_copy_bytes,
          f"{name}: after the undo, Wine's copy alone is back at {wines_copy} (found {same_names(there)})")


def snapshot(prefix):
    """The prefix's registry files and every file, folder and link of drive C:, files with their bytes (links
    to the user's own folders are not followed)."""
    paths = [prefix / name for name in ("system.reg", "user.reg", "userdef.reg")]
    for folder, folders, files in os.walk(prefix / "drive_c"):
        paths += [pathlib.Path(folder, name) for name in folders + files]
    state = {}
    for path in paths:
        if path.is_symlink():
            state[str(path.relative_to(prefix))] = "link to " + os.readlink(path)
        elif path.is_file():
            state[str(path.relative_to(prefix))] = hashlib.sha256(path.read_bytes()).hexdigest()
        else:
            state[str(path.relative_to(prefix))] = "folder"
    return state


def broken_package_row(build, scratch):
    shutil.copytree(build / "sample" / "components", scratch / "components")
    package = scratch / "package"
    lay_out_package(package, {"xp": OWN_XP, "w7": OWN_W7 + [("缺少.dll", None, "路径\\ado\\缺少.dll")]})
    prefix = scratch / "prefix"
    wine(prefix, "--prepare")
    before = snapshot(prefix)

    print("main job on a package that names a missing file")
    status, report = run_main_job(build, prefix, "--package", str(package), "--windows", "win7")
    check(status == 2, f"broken package: scripts/run exits 2 (got {status})")
    check(re.search(r"w7: .*names '缺少\.dll', which is not in", report) is not None,
          "broken package: the missing file is named")
    check("starting MdacRepair.exe" not in report, "broken package: the program was not started")
    after = snapshot(prefix)
    changed = sorted(path for path in before.keys() | after.keys() if before.get(path) != after.get(path))
    check(not changed, f"broken package: the prefix's registry files and drive C: are unchanged (changed: {changed})")

    print("main job on a sound package with a file to plant that does not exist")
    plain = scratch / "plain"
    lay_out_package(plain, {"xp": OWN_XP, "w7": OWN_W7})
    status, report = run_main_job(build, prefix, "--package", str(plain), "--windows", "win7", "--plant",
                                  str(scratch / "missing.dll"))
    subprocess.run(["wineserver", "-w"], env=dict(os.environ, WINEPREFIX=str(prefix)), timeout=600)
    after = snapshot(prefix)
    changed = sorted(path for path in before.keys() | after.keys() if before.get(path) != after.get(path))
    check(status not in (0, 2) and "starting MdacRepair.exe" not in report,
          f"missing plant: the run fails before the program starts (exit code {status})")
    check(not changed, f"missing plant: the prefix's registry files and drive C: are as before (changed: {changed})")

    print("main job on a sound package whose program is killed before it copies anything")
    shared = wine_prefix.shared_folder(prefix)
    wines_copy = wine_prefix.host_path(prefix, shared + "\\" + OWN_W7[-1][2].replace("路径\\", ""))
    wines_copy_bytes = wines_copy.read_bytes()
    outside = scratch / "outside" / "oledb32.dll"
    outside.parent.mkdir()
    shutil.copy2(wine_prefix.host_path(prefix, shared + "\\" + WINE_BUILTIN_NOT_HELD), outside)
    outside_state = (outside.read_bytes(), outside.stat().st_mtime_ns)
    users = wine_prefix.host_path(prefix, shared + "\\msadc\\odbc32.dll")
    users.parent.mkdir(parents=True, exist_ok=True)
    users.write_bytes(b"the user's own odbc32.dll")
    outside_value = "Z:" + str(outside).replace("/", "\\")
    sound = scratch / "sound"
    lay_out_package(sound, {"xp": OWN_XP, "w7": OWN_W7 + [("外.dll", "mdacado.dll", outside_value),
                                                          ("自己.dll", "mdacrds.dll", "路径\\msadc\\odbc32.dll")]})
    # An override of a name the run changes holds a TAB; the version setting is of type REG_EXPAND_SZ.
    wine(prefix, "reg", "add", "HKCU\\Software\\Wine\\DllOverrides", "/v", "odbc32", "/d", "builtin\tfirst", "/f")
    wine(prefix, "reg", "add", "HKCU\\Software\\Wine\\AppDefaults\\MdacRepair.exe", "/v", "Version", "/t",
         "REG_EXPAND_SZ", "/d", "win10", "/f")
    settings = [("Software\\Wine\\DllOverrides", ["odbc32"]), ("Software\\Wine\\AppDefaults\\MdacRepair.exe", ["Version"])]
    values_before = [value_lines(prefix, key, names) for key, names in settings]
    check(values_before == [{"odbc32": ['"odbc32"="builtin\\tfirst"']}, {"Version": ['"Version"=str(2):"win10"']}],
          f"killed: the override holds a TAB and the version is a REG_EXPAND_SZ before the run ({values_before})")
    status, report = run_main_job(build, prefix, "--package", str(sound), "--windows", "win7", kill_program=True)
    check("runner: message" not in report, "killed: the program ended before its completion message")
    check(wines_copy.is_file() and wines_copy.read_bytes() == wines_copy_bytes,
          f"killed: Wine's copy is in its place at {wines_copy}")
    check(f"put Wine's own copy of {OWN_W7[-1][2].rpartition(chr(92))[2]} back at" in report,
          "killed: the report says it was put back")
    check(outside.is_file() and (outside.read_bytes(), outside.stat().st_mtime_ns) == outside_state,
          f"killed: the file with Wine's mark outside the prefix, {outside_value}, is neither moved nor changed")
    check(f"run: {outside_value} carries Wine's builtin mark but lies outside the prefix's drive C:" in report,
          "killed: the report says the file outside the prefix is left alone")
    check(users.read_bytes() == b"the user's own odbc32.dll", "killed: the user's own odbc32.dll is unchanged")
    check(not re.search(r"^run: .*(removed|aside|put).*(odbc32|oledb32)\.dll", report, re.M),
          "killed: nothing is said removed, set aside or put back of the user's file or the one outside")
    undo_run(prefix, report)
    values_undone = [value_lines(prefix, key, names) for key, names in settings]
    check(values_undone == values_before,
          f"killed: after the undo command, the override and the version are exact again (found {values_undone})")

    print("main job on a sound package, scripts/run sent SIGTERM while the program's window shows")
    status, report = run_main_job(build, prefix, "--package", str(sound), "--windows", "win7",
                                  terminate_when_shown=True)
    left = [path.name for path in (prefix / "drive_c").iterdir() if path.name.lower().startswith("mdacrepair")]
    check(status != 0 and "runner: message" not in report,
          f"SIGTERM: the run ends before the program's completion message (exit code {status})")
    check(same_names(wines_copy) == [wines_copy.name] and wines_copy.read_bytes() == wines_copy_bytes,
          f"SIGTERM: Wine's copy alone is back at {wines_copy} (found {same_names(wines_copy)})")
    check(not left, f"SIGTERM: nothing of the run is left in drive C: (found {left})")

    print("main job on a folder that is not a Wine prefix")
    not_prefix = scratch / "components"
    files_before = sorted(p.name for p in not_prefix.iterdir())
    status, report = run_main_job(build, not_prefix)
    check(status == 2 and "is not a Wine prefix" in report, f"not a prefix: refused with exit code 2 (got {status})")
    check(sorted(p.name for p in not_prefix.iterdir()) == files_before, "not a prefix: the folder is unchanged")


# The check row's package: entry, component (a build file below the build folder), destination. Each is
# broken in its own way after the repair; BREAKS says how, and what the check must then say of it.
CHECK_W7 = [("甲.dll", "sample/components/mdacado.dll", "路径\\ado\\甲.dll"),
            ("乙.dll", "sample/components/mdacrds.dll", "路径\\msadc\\乙.dll"),
            ("丙.dll", "tests/e2e/e2e_dependent.dll", "路径\\ole db\\丙.dll"),
            ("丁.dll", "tests/e2e/e2e_fault_a.dll", "路径\\ado\\丁.dll"),
            ("戊.dll", "tests/e2e/e2e_fault_b.dll", "路径\\msadc\\戊.dll"),
            ("己.dll", "sample/components/mdacw7.dll", "路径\\ole db\\己.dll"),
            ("庚.dll", "sample/components/数据访问.dll", "路径\\ado\\庚.dll")]
# entry -> (what is done to it, verdict, advice, a fact line (label, text) the report must hold for it)
CHECK_BREAKS = {
    "甲.dll": ("its class's registration deleted", "kProblem", "kAdviceNotRegistered", None),
    "乙.dll": ("an older version put over it", "kAttention", "kAdviceOlder", ("kFileLine", "kOlder")),
    "丙.dll": ("a library it needs removed", "kProblem", "kAdviceMissingLibrary",
              ("kLoadLine", "kLoadMissingLibrary")),
    "丁.dll": ("its class factory crashes", "kProblem", "kAdviceCreateCrashed", ("kCreateLine", "kCrashed")),
    "戊.dll": ("its class factory hangs", "kProblem", "kAdviceCreateCrashed", ("kCreateLine", "kHung")),
    "己.dll": ("its class registered to another copy", "kProblem", "kAdviceOtherFile", ("kOtherCopyLine", None)),
    "庚.dll": ("a per-user registration shadows the machine's", "kProblem", "kAdviceShadowed",
              ("kShadowLine", None)),
}


def check_of_run(report):
    """The exit code and the report of the check scripts/run ran after the repair (None, "" without one)."""
    match = re.search(r"^MdacCheck\.exe's report \(exit code (\d+)[^\n]*\n((?:  .*\n?|\n)*)", report, re.M)
    if not match:
        return None, ""
    return int(match.group(1)), "\n".join(line[2:] for line in match.group(2).splitlines())


def run_check(prefix, program, report_name):
    """One start of the check with /report: its exit code and the report (code page 936) as text."""
    report = program.parent / report_name
    result = subprocess.run([str(ROOT / "scripts" / "wine-run"), "--prefix", str(prefix),
                             "C:\\" + str(program.relative_to(prefix / "drive_c")).replace("/", "\\"), "/report",
                             "C:\\" + str(report.relative_to(prefix / "drive_c")).replace("/", "\\")],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=900)
    text = report.read_bytes().decode("gbk", errors="replace") if report.is_file() else ""
    print(f"  the check's report, exit code {result.returncode}:")
    print("\n".join("    | " + line for line in text.splitlines()), flush=True)
    return result.returncode, text


def verdict_of(block, texts):
    """(verdict word, advice) of an entry's block."""
    for line in block:
        if line.startswith(texts["kVerdictLine"]):
            verdict, _, advice = line[len(texts["kVerdictLine"]):].partition(texts["kAdviceSeparator"])
            return verdict.strip(), advice.strip()
    return None


def check_row(build, scratch):
    components = scratch / "components"
    components.mkdir()
    lists = {"xp": OWN_XP, "w7": []}
    shutil.copyfile(build / "sample" / "components" / OWN_XP[0][1], components / OWN_XP[0][1])
    for entry, built, destination in CHECK_W7:
        shutil.copyfile(build / built, components / entry)
        lists["w7"].append((entry, entry, destination))
    package = scratch / "package"
    lay_out_package(package, lists)
    prefix = scratch / "prefix"
    wine(prefix, "--prepare")
    shared = wine_prefix.shared_folder(prefix)

    def installed(entry):
        return installed_path(prefix, dict((e, d) for e, _, d in CHECK_W7)[entry].replace("路径\\", ""))

    # The component that imports a library of its own finds it beside its destination.
    installed("丙.dll").parent.mkdir(parents=True, exist_ok=True)
    shutil.copyfile(build / "tests" / "e2e" / OWN_LIBRARY, installed("丙.dll").parent / OWN_LIBRARY)

    print("the check after a repair with a package of seven components")
    status, main_report = run_main_job(build, prefix, "--package", str(package), "--windows", "win7")
    check(status == 0, f"check: the repair exits 0 (got {status})")
    # The check ships beside the program, with the same folders; it is shown the version the repair was.
    release = prefix / "drive_c" / "检查"
    shutil.copytree(package, release)
    program = release / "MdacCheck.exe"
    shutil.copyfile(build / "MdacCheck.exe", program)
    texts = run_report.report_texts()

    # scripts/run has run the check after the repair.
    status, report = check_of_run(main_report)
    check(status == 0, f"check, after the repair: exit code 0 (got {status})")
    check(texts["kListLine"] in report and "w7\\文件列表.ini" in report,
          "check, after the repair: the report names the w7 list, which the repair used")
    blocks = run_report.entry_blocks(report, texts)
    for entry, _, _ in CHECK_W7:
        found = verdict_of(blocks.get(entry, []), texts)
        check(found == (texts["kOk"], texts["kAdviceOk"]), f"check, after the repair: {entry} is ok (found {found})")

    # Each entry broken in its own way.
    classes = sample_classes()
    view = "HKLM\\Software\\Classes\\CLSID\\"
    wine(prefix, "reg", "delete", view + classes["mdacado.dll"], "/reg:32", "/f")
    shutil.copyfile(build / "tests" / "e2e" / "older" / "mdacrds.dll", installed("乙.dll"))
    (installed("丙.dll").parent / OWN_LIBRARY).unlink()
    installed("丁.dll").with_name("丁.dll.fault").write_bytes(b"crash")
    installed("戊.dll").with_name("戊.dll.fault").write_bytes(b"hang")
    elsewhere = prefix / "drive_c" / "另一处"
    elsewhere.mkdir()
    shutil.copyfile(installed("己.dll"), elsewhere / "己.dll")
    wine(prefix, "reg", "add", view + classes["mdacw7.dll"] + "\\InprocServer32", "/ve", "/d", "C:\\另一处\\己.dll",
         "/reg:32", "/f")
    shutil.copyfile(installed("庚.dll"), elsewhere / "庚.dll")
    wine(prefix, "reg", "add", "HKCU\\Software\\Classes\\CLSID\\" + classes["数据访问.dll"] + "\\InprocServer32",
         "/ve", "/d", "C:\\另一处\\庚.dll", "/reg:32", "/f")

    status, report = run_check(prefix, program, "broken.txt")
    check(status == 1, f"check, each entry broken: exit code 1 (got {status})")
    blocks = run_report.entry_blocks(report, texts)
    for entry, (how, verdict, advice, fact) in CHECK_BREAKS.items():
        block = blocks.get(entry, [])
        found = verdict_of(block, texts)
        check(found == (texts[verdict], texts[advice]),
              f"check, {how}: {entry} is judged {texts[verdict]}, {texts[advice]} (found {found})")
        if fact:
            label, words = fact
            check(any(line.startswith(texts[label]) and (words is None or texts[words] in line) for line in block),
                  f"check, {how}: {entry}'s block has a line {texts[label].strip()}"
                  + (f" saying {texts[words]}" if words else ""))
    check(not any(line.startswith(texts["kOtherCopyLine"]) for line in blocks.get("庚.dll", [])),
          "check, a per-user registration shadows the machine's: 庚.dll's block tells it once, as the shadow")
    check(re.search("^" + re.escape(texts["kCountsLine"]) + r"\s*7" + re.escape(texts["kEntries"]), report, re.M)
          is not None, "check, each entry broken: the counts name seven entries")

    (release / "w7" / "文件列表.ini").unlink()
    status, report = run_check(prefix, program, "no-list.txt")
    check(status == 2, f"check, the list gone: exit code 2 (got {status})")
    check(texts["kCouldNotCheck"] in report and texts["kNoList"] in report,
          "check, the list gone: the report says it could not check, for want of the list")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True, type=pathlib.Path)
    parser.add_argument("--row", required=True,
                        choices=["winxp", "win7", "own_package", "own_package_win32", "broken_package", "check"])
    arguments = parser.parse_args()
    build, row = arguments.build.resolve(), arguments.row
    scratch = build / "main-job" / row
    shutil.rmtree(scratch, ignore_errors=True)
    scratch.mkdir(parents=True)

    if row in ("winxp", "win7"):
        sample_row(build, scratch, row)
    elif row.startswith("own_package"):
        own_package_row(build, scratch, "win32" if row.endswith("win32") else None)
    elif row == "check":
        check_row(build, scratch)
    else:
        broken_package_row(build, scratch)

    if failures:
        print(f"FAILED: {len(failures)} check(s)")
        return 1
    shutil.rmtree(scratch, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
