"""What the scripts know of a Wine prefix: its kind, where its Windows paths lie on this machine, which
file names Wine has builtin DLLs of, and how a run of scripts/run is undone.

    prefix.py builtins                      prints the names of Wine's builtin DLLs, one a line, in lower case
    prefix.py undo-settings PLAN UNDO [VERSION]
                                            writes UNDO/settings.reg, which gives each DLL override the probe's
                                            plan (its output, PLAN) changed its value before, and when VERSION
                                            is given (as a .reg file gives a value), MdacRepair.exe's Windows
                                            version setting too, for regedit
    prefix.py put-back PREFIX ASIDE PLAN UNDO
                                            for each of Wine's copies the plan set aside into the folder ASIDE:
                                            puts it back where it was when no file is there now, otherwise
                                            keeps it in UNDO/drive_c/, at its place below drive_c; says which
"""
import os
import pathlib
import re
import shutil
import sys

# Wine writes this into the DOS header of each of its builtin DLLs, right after the header, and into the
# copies of them it puts into a prefix.
BUILTIN_MARK = b"Wine builtin DLL"
DOS_HEADER_SIZE = 0x40


def is_wow64(prefix):
    """Whether the prefix is a 64-bit one, where 32-bit programs see a registry view of their own."""
    return (pathlib.Path(prefix) / "drive_c" / "windows" / "syswow64").is_dir()


def shared_folder(prefix):
    """The shared System folder a 32-bit program of the prefix sees in a prefix as Wine makes it (the tests'
    expectation; scripts/run asks the probe, which derives each destination by the program's own rule)."""
    files = "Program Files (x86)" if is_wow64(prefix) else "Program Files"
    return f"C:\\{files}\\Common Files\\System"


def host_path(prefix, windows_path):
    """Where a Windows path of the prefix lies on this machine; Windows names match without regard to case."""
    drive, _, rest = windows_path.partition(":\\")
    path = pathlib.Path(prefix) / "dosdevices" / (drive.lower() + ":")
    for part in (p for p in rest.split("\\") if p):
        match = [child for child in path.iterdir() if child.name.lower() == part.lower()] if path.is_dir() else []
        path = match[0] if match else path / part
    return path


def builtin_folders():
    """The folders where Wine's 32-bit loader finds its builtin DLLs: those of WINEDLLPATH, and the loader's
    own, which it names relative to itself (the path of its ntdll.so). Where that cannot be read, the usual
    places of the distributions are taken."""
    folders = [pathlib.Path(p) for p in os.environ.get("WINEDLLPATH", "").split(":") if p]
    loader = pathlib.Path("/usr/lib/wine/wine")
    if not loader.is_file():
        found = shutil.which("wine")
        loader = pathlib.Path(found).resolve() if found else loader
    try:
        relative = re.findall(rb"([\x21-\x7e]*)/i386-unix/ntdll\.so", loader.read_bytes())
    except OSError:
        relative = []
    folders += [(loader.parent / r.decode()).resolve() for r in relative if r and r[:1] in b"./"]
    if not any(f.is_dir() for f in folders):
        folders += [pathlib.Path(p) for p in ("/usr/lib/i386-linux-gnu/wine", "/usr/lib32/wine", "/usr/lib/wine",
                                              "/usr/local/lib/wine", "/opt/wine-stable/lib/wine")]
    return [f / sub for f in folders for sub in ("i386-windows", "") if (f / sub).is_dir()]


def carries_builtin_mark(path):
    try:
        with open(path, "rb") as file:
            return file.read(DOS_HEADER_SIZE + len(BUILTIN_MARK))[DOS_HEADER_SIZE:] == BUILTIN_MARK
    except OSError:
        return False


def builtin_names():
    """The file names (lower case) of Wine's builtin DLLs."""
    return sorted({child.name.lower() for folder in builtin_folders() for child in folder.iterdir()})


def plan_lines(plan, kind):
    """The fields of the probe's plan lines of one kind; Wine's own messages may come first on a line."""
    text = pathlib.Path(plan).read_text(encoding="utf-8", errors="replace")
    return [match.group(1).split("\t") for match in re.finditer(kind + r"\t([^\r\n]*)", text)]


def write_undo_settings(plan, undo, version=None):
    """UNDO/settings.reg, for `wine regedit`: each override the plan changed, back to its value before (a
    value that was not there is deleted), and the Windows version setting of MdacRepair.exe when its value
    before is given. Nothing is written when nothing changed."""
    changed = [fields for fields in plan_lines(plan, "override") if len(fields) >= 4 and fields[1] != fields[2]]
    lines = ["Windows Registry Editor Version 5.00"]
    if changed:
        lines += ["", "[HKEY_CURRENT_USER\\Software\\Wine\\DllOverrides]"]
        lines += [f'"{key}"={before}' for key, _, _, before in (fields[:4] for fields in changed)]
    if version is not None:
        lines += ["", "[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\MdacRepair.exe]", f'"Version"={version}']
    if len(lines) == 1:
        return
    pathlib.Path(undo).mkdir(parents=True, exist_ok=True)
    # UTF-16 with its byte order mark, as regedit writes its own files: any value comes back as it was.
    (pathlib.Path(undo) / "settings.reg").write_text("\r\n".join(lines) + "\r\n", encoding="utf-16")


def put_back(prefix, aside, plan, undo):
    """Each of Wine's copies the plan set aside goes back to where it was when nothing is there now, never
    replacing a file and only into a folder that still lies, every link followed, inside drive_c; otherwise
    it is kept in UNDO/drive_c at its place below drive_c. Prints what became of each."""
    drive_c = pathlib.Path(os.path.realpath(pathlib.Path(prefix) / "drive_c"))
    for fields in plan_lines(plan, "placeholder"):
        if len(fields) < 4 or fields[0] != "set-aside":
            continue
        destination, below, name = fields[1:4]
        copy = pathlib.Path(aside) / name
        target = drive_c.joinpath(*below.split("\\"))
        wines = f"Wine's own copy of {destination.rpartition(chr(92))[2]}"
        if not copy.is_file():
            print(f"run: {wines} set aside from {destination} is no longer in {aside}")
            continue
        folder = os.path.realpath(target.parent)
        if not os.path.lexists(target) and folder == str(target.parent) and folder.startswith(str(drive_c) + "/"):
            # Copied beside its place under a name of its own, then linked to its name: a file that is
            # there meanwhile is never replaced.
            temporary = target.parent / f".{target.name}.{os.getpid()}.put-back"
            try:
                shutil.copy2(copy, temporary)
                os.link(temporary, target)
                print(f"run: put {wines} back at {destination}, where the program put no file")
                copy.unlink()
                continue
            except OSError as error:
                print(f"run: {wines} could not be put back at {destination} ({error.strerror})")
            finally:
                temporary.unlink(missing_ok=True)
        kept = pathlib.Path(undo, "drive_c").joinpath(*below.split("\\"))
        kept.parent.mkdir(parents=True, exist_ok=True)
        shutil.move(copy, kept)
        print(f"run: {wines} from {destination} is kept in {kept}" +
              (", the program having put a file there" if os.path.lexists(target) else ""))


if __name__ == "__main__":
    command = sys.argv[1:2]
    if command == ["builtins"] and len(sys.argv) == 2:
        print("\n".join(builtin_names()))
    elif command == ["undo-settings"] and len(sys.argv) in (4, 5):
        write_undo_settings(*sys.argv[2:])
    elif command == ["put-back"] and len(sys.argv) == 6:
        put_back(*sys.argv[2:])
    else:
        sys.exit("usage: prefix.py builtins | undo-settings PLAN UNDO [VERSION] | put-back PREFIX ASIDE PLAN UNDO")
