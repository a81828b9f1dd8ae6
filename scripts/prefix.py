"""What the scripts know of a Wine prefix: its kind, where its Windows paths lie on this machine, which
file names Wine has builtin DLLs of, and how a run of scripts/run is undone.

A run keeps a journal, RUN/undo/journal: one line for each change it makes to the prefix, written before
the change is made (by scripts/run, and by the probe inside the prefix for settings and Wine's copies):
    prefix<TAB>HOST PATH                    the prefix the run works on (the first line)
    folder<TAB>HOST PATH                    a folder of the run's own in drive_c, removed after the run
    aside-folder<TAB>HOST PATH              the folder in drive_c that Wine's copies are set aside into
    setting<TAB>KEY<TAB>NAME<TAB>absent     a registry value, absent before the run
    setting<TAB>KEY<TAB>NAME<TAB>TYPE<TAB>HEX  a registry value before the run: its type and bytes
    aside<TAB>DESTINATION<TAB>BELOW DRIVE C:<TAB>NAME IN THE ASIDE FOLDER<TAB>LIST FOLDER\KEY
                                            Wine's copy at DESTINATION, set aside; the package's file for it
Inside drive_c, names are compared as Windows compares them (without regard to case), and no file is
ever replaced.

    prefix.py builtins      prints the names of Wine's builtin DLLs, one a line, in lower case
    prefix.py put-back RUN  after the program ran: each of Wine's copies set aside goes back where no file
                            of its name (in any case) is now, otherwise it is kept in RUN/undo/drive_c at its
                            place below drive_c; the run's folders in drive_c are removed; says what it did
    prefix.py undo RUN      brings the prefix back as the journal tells it was: each setting's value before
                            (through RUN/undo/settings.reg and the prefix's regedit), each of Wine's copies
                            back at its destination (a destination holding the package's file, under any
                            case, gets Wine's copy in its place, the package's file kept in RUN/undo/replaced;
                            any other file there stays), and the run's folders in drive_c removed
"""
import os
import pathlib
import re
import shutil
import subprocess
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


class Journal:
    """What a run's journal tells: the prefix, the run's own folders, each setting's value before the run
    (the first line of each wins) and each of Wine's copies set aside."""

    def __init__(self, run):
        self.run = pathlib.Path(run)
        self.prefix, self.folders, self.aside_folder, self.settings, self.asides = None, [], None, {}, []
        path = self.run / "undo" / "journal"
        lines = path.read_text(encoding="utf-8").splitlines() if path.is_file() else []
        for fields in (line.split("\t") for line in lines):
            kind = fields[0]
            if kind == "prefix" and len(fields) == 2:
                self.prefix = pathlib.Path(fields[1])
            elif kind == "folder" and len(fields) == 2:
                self.folders.append(pathlib.Path(fields[1]))
            elif kind == "aside-folder" and len(fields) == 2:
                self.aside_folder = pathlib.Path(fields[1])
            elif kind == "setting" and len(fields) in (4, 5):
                self.settings.setdefault((fields[1], fields[2]), fields[3:])
            elif kind == "aside" and len(fields) == 5:
                self.asides.append(fields[1:])

    def drive_c(self):
        return pathlib.Path(os.path.realpath(self.prefix / "drive_c"))


def reg_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def unescape_reg(value):
    """A string as Wine writes it into the prefix's registry files (system.reg, user.reg): a backslash
    doubled, a character beyond ASCII as a backslash, "x" and its hex code."""
    return re.sub(r"\\(x[0-9a-fA-F]{1,4}|.)",
                  lambda m: chr(int(m.group(1)[1:], 16)) if len(m.group(1)) > 1 else m.group(1), value)


def reg_value(before):
    """A value before the run as a .reg file gives it: deleted when it was absent, a plain string when it is
    one that regedit reads back exactly, its type and bytes otherwise."""
    if before == ["absent"]:
        return "-"
    kind, data = int(before[0]), bytes.fromhex(before[1])
    text = data.decode("utf-16-le", errors="replace") if len(data) % 2 == 0 else ""
    if kind == 1 and text.endswith("\0") and "\0" not in text[:-1] and text.encode("utf-16-le") == data \
            and all(ord(c) >= 0x20 and ord(c) != 0x7f for c in text[:-1]):
        return reg_string(text[:-1])
    return f"hex({kind:x}):" + ",".join(f"{b:02x}" for b in data)


def write_settings_reg(journal):
    """RUN/undo/settings.reg, for regedit: each setting the run changed, back to its value before. None
    when the run changed no setting."""
    if not journal.settings:
        return None
    lines = ["Windows Registry Editor Version 5.00"]
    for key in dict.fromkeys(key for key, _ in journal.settings):
        lines += ["", f"[{key}]"]
        lines += [f"{reg_string(name)}={reg_value(before)}" for (k, name), before in journal.settings.items()
                  if k == key]
    path = journal.run / "undo" / "settings.reg"
    # UTF-16 with its byte order mark, as regedit writes its own files: any value comes back as it was.
    path.write_text("\r\n".join(lines) + "\r\n", encoding="utf-16")
    return path


def same_names(folder, name):
    """The entries of a folder that Windows takes for this name: the same name in any case."""
    try:
        return [child for child in pathlib.Path(folder).iterdir() if child.name.lower() == name.lower()]
    except OSError:
        return []


def inside_folder(drive_c, below):
    """The host folder of a place below drive_c, when it is there and lies, every link followed, inside
    drive_c; None otherwise."""
    target = drive_c.joinpath(*below.split("\\"))
    folder = os.path.realpath(target.parent)
    return target.parent if folder == str(target.parent) and folder.startswith(str(drive_c) + "/") else None


def place_copy(copy, folder, name):
    """Puts a copy of the file into the folder under the name, never over a file there: copied beside it
    under a name of its own, then linked to its name. An error text, or None when it is there."""
    if same_names(folder, name):
        return "a file of that name is there"
    temporary = folder / f".{name}.{os.getpid()}.put-back"
    try:
        shutil.copy2(copy, temporary)
        os.link(temporary, folder / name)
        return None
    except OSError as error:
        return error.strerror
    finally:
        temporary.unlink(missing_ok=True)


def keep(copy, kept):
    """Moves a copy into the run's folder; says where it is when that fails, and never removes it then."""
    try:
        kept.parent.mkdir(parents=True, exist_ok=True)
        shutil.move(copy, kept)
        return kept
    except OSError as error:
        print(f"run: {copy} could not be moved to {kept} ({error.strerror}); it stays where it is")
        return copy


def remove_folders(journal):
    """The run's own folders in drive_c go; the folder of the copies set aside only when nothing is left in
    it, whose files are moved into the run's folder first."""
    for folder in journal.folders:
        shutil.rmtree(folder, ignore_errors=True)
    aside = journal.aside_folder
    if aside is None or not aside.is_dir():
        return
    for left in aside.iterdir():
        kept = keep(left, journal.run / "undo" / "untold" / left.name)
        print(f"run: a file set aside without a line in the journal, {left.name}, is kept in {kept}")
    try:
        aside.rmdir()
    except OSError:
        print(f"run: {aside} is kept: files are left in it")


def put_back(run):
    """After the program ran: each of Wine's copies set aside goes back where no file of its name is now, in
    any case; otherwise it is kept in RUN/undo/drive_c. Prints what became of each."""
    journal = Journal(run)
    if journal.prefix is None:
        return
    drive_c = journal.drive_c()
    for destination, below, name, _ in journal.asides if journal.aside_folder else []:
        copy = journal.aside_folder / name
        wines = f"Wine's own copy of {destination.rpartition(chr(92))[2]}"
        if not copy.is_file():
            continue
        folder = inside_folder(drive_c, below)
        there = same_names(folder, below.rpartition("\\")[2]) if folder else []
        if folder and not there:
            error = place_copy(copy, folder, below.rpartition("\\")[2])
            if error is None:
                copy.unlink()
                print(f"run: put {wines} back at {destination}, where the program put no file")
                continue
            print(f"run: {wines} could not be put back at {destination} ({error})")
        kept = keep(copy, journal.run / "undo" / "drive_c" / below.replace("\\", "/"))
        print(f"run: {wines} from {destination} is kept in {kept}" +
              (f", {there[0].name} being there now" if there else ""))
    remove_folders(journal)


def undo(run):
    """Brings the prefix back as the journal tells it was before the run. Prints what it did."""
    journal = Journal(run)
    if journal.prefix is None:
        print(f"run: {run} holds no journal of a run; nothing to undo")
        return 1
    status = 0
    settings = write_settings_reg(journal)
    if settings:
        result = subprocess.run([str(pathlib.Path(__file__).resolve().parent / "wine-run"), "--prefix",
                                 str(journal.prefix), "regedit", str(settings)],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for key, name in journal.settings:
            told = "deleted" if journal.settings[(key, name)] == ["absent"] else "set back to its value before"
            print(f"run: undo: {key}\\{name} {told}" + ("" if result.returncode == 0 else " (regedit failed)"))
        status = status or result.returncode
    drive_c = journal.drive_c()
    for destination, below, name, entry in journal.asides:
        wines = f"Wine's own copy of {destination.rpartition(chr(92))[2]}"
        copies = [c for c in (journal.aside_folder / name if journal.aside_folder else None,
                              journal.run / "undo" / "drive_c" / below.replace("\\", "/")) if c and c.is_file()]
        if not copies:
            continue
        copy, file_name = copies[0], below.rpartition("\\")[2]
        folder = inside_folder(drive_c, below)
        if folder is None:
            print(f"run: undo: {destination} no longer lies inside the prefix's drive C:; {wines} stays in {copy}")
            status = 1
            continue
        package = journal.run / "MdacRepair" / entry.replace("\\", "/")
        for there in same_names(folder, file_name):
            if there.is_file() and package.is_file() and there.read_bytes() == package.read_bytes():
                keep(there, journal.run / "undo" / "replaced" / below.replace("\\", "/"))
                print(f"run: undo: the package's {there.name} at {destination} is kept in "
                      f"{journal.run / 'undo' / 'replaced'}")
        left = same_names(folder, file_name)
        error = place_copy(copy, folder, file_name) if not left else f"{left[0].name}, not the package's, is there"
        if error is None:
            copy.unlink()
            print(f"run: undo: put {wines} back at {destination}")
        else:
            print(f"run: undo: {wines} was not put back at {destination} ({error}); it stays in {copy}")
            status = 1
    remove_folders(journal)
    return status


if __name__ == "__main__":
    command = sys.argv[1:2]
    if command == ["builtins"] and len(sys.argv) == 2:
        print("\n".join(builtin_names()))
    elif command == ["put-back"] and len(sys.argv) == 3:
        put_back(sys.argv[2])
    elif command == ["undo"] and len(sys.argv) == 3:
        sys.exit(undo(sys.argv[2]))
    else:
        sys.exit("usage: prefix.py builtins | put-back RUN | undo RUN")
