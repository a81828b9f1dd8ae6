#include "check/Probe.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <set>

#include "check/Facts.h"
#include "check/SystemCalls.h"
#include "repair/Win32Platform.h"

namespace check {
namespace {

// A step's time before it counts as hung, and a child's time to start before its first step: generous,
// since where 32-bit programs run through an emulator a start alone takes seconds.
constexpr DWORD kStepLimitMs = 30000;
constexpr DWORD kStartLimitMs = 120000;

// The lines between the two processes: to the child "L<TAB>path" (load) and "C<TAB>{class}" (create),
// then "E" (the end: the child never reads past it, so it needs no end of the pipe); back "B<TAB>n" when
// step n begins and "R<TAB>n<TAB>code<TAB>builtin<TAB>text" when it is done.
struct Step {
    char kind;  // 'L' or 'C'
    std::size_t entry;
    std::size_t creation;  // for 'C'
    std::string subject;
};

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t from = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', from);
        fields.push_back(line.substr(from, tab - from));
        if (tab == std::string::npos) return fields;
        from = tab + 1;
    }
}

void Record(std::vector<EntryFacts>& entries, const Step& step, StepOutcome outcome, unsigned long code = 0,
            bool builtin = false, const std::string& text = {}) {
    EntryFacts& entry = entries[step.entry];
    if (step.kind == 'L') {
        entry.load.outcome = outcome;
        entry.load.error = code;
        entry.load.wineBuiltin = builtin;
        if (outcome == StepOutcome::Done && code == 126)
            entry.load.missingLibrary = MissingImportOf(entry.destination);
    } else {
        CreationFact& creation = entry.creations[step.creation];
        creation.outcome = outcome;
        creation.result = static_cast<std::int32_t>(code);
        creation.servedBy = text;
        creation.servedByThisFile = !text.empty() && SameFile(text, entry.destination);
        creation.wineBuiltin = builtin;
    }
}

// A child started with its standard input and output on pipes; ended by the parent only when it hangs.
struct Child {
    PROCESS_INFORMATION process{};
    HANDLE output = nullptr;  // the parent's reading end
};

bool StartChild(const std::string& program, const std::string& input, Child& child) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE inputRead = nullptr, inputWrite = nullptr, outputRead = nullptr, outputWrite = nullptr;
    // The input is written whole before the child reads: the pipe is made large enough to hold it.
    if (!CreatePipe(&inputRead, &inputWrite, &inherit, static_cast<DWORD>(input.size()) + 4096)) return false;
    if (!CreatePipe(&outputRead, &outputWrite, &inherit, 0)) {
        CloseHandle(inputRead);
        CloseHandle(inputWrite);
        return false;
    }
    SetHandleInformation(inputWrite, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(outputRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    startup.hStdInput = inputRead;
    startup.hStdOutput = outputWrite;
    startup.hStdError = outputWrite;
    std::string commandLine = "\"" + program + "\" " + kProbeSwitch;
    // In the system folder, so that nothing is looked for in a folder of the user's.
    const std::string folder = repair::SystemFolder();
    const BOOL started =
        CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                       folder.empty() ? nullptr : folder.c_str(), &startup, &child.process);
    CloseHandle(inputRead);
    CloseHandle(outputWrite);
    if (started) {
        DWORD written = 0;
        WriteFile(inputWrite, input.data(), static_cast<DWORD>(input.size()), &written, nullptr);
    }
    CloseHandle(inputWrite);
    if (!started) {
        CloseHandle(outputRead);
        return false;
    }
    child.output = outputRead;
    return true;
}

void EndChild(const Child& child) {
    CloseHandle(child.output);
    CloseHandle(child.process.hThread);
    CloseHandle(child.process.hProcess);
}

// Runs steps from `first` up to `end` in one child. Returns the index of the first step it left undone
// (`end` when it did all), or the steps' count when no child can do any.
std::size_t RunChild(const std::string& program, const std::vector<Step>& steps, std::size_t first,
                     std::size_t end, std::vector<EntryFacts>& entries) {
    std::string input;
    for (std::size_t i = first; i < end; ++i) {
        input += std::string(1, steps[i].kind) + "\t" + steps[i].subject + "\n";
    }
    input += "E\n";
    Child child;
    if (!StartChild(program, input, child)) return steps.size();  // no child will start

    std::string pending;
    std::size_t current = end;  // the step begun and not done; none yet
    std::size_t next = first;   // the first step without a result
    DWORD deadline = GetTickCount() + kStartLimitMs;
    bool exited = false;
    for (;;) {
        DWORD available = 0;
        if (PeekNamedPipe(child.output, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
            std::string chunk(available, '\0');
            DWORD read = 0;
            if (ReadFile(child.output, chunk.data(), available, &read, nullptr))
                pending.append(chunk.data(), read);
            for (std::size_t lineEnd; (lineEnd = pending.find('\n')) != std::string::npos;
                 pending.erase(0, lineEnd + 1)) {
                const std::vector<std::string> fields = Fields(pending.substr(0, lineEnd));
                const std::size_t index =
                    first + std::strtoul(fields[1 % fields.size()].c_str(), nullptr, 10);
                if (index >= end) continue;
                if (fields[0] == "B") {
                    current = index;
                    deadline = GetTickCount() + kStepLimitMs;
                } else if (fields[0] == "R" && fields.size() >= 5) {
                    Record(entries, steps[index], StepOutcome::Done,
                           std::strtoul(fields[2].c_str(), nullptr, 16), fields[3] == "1", fields[4]);
                    current = end;
                    next = index + 1;
                }
            }
            continue;
        }
        if (exited) break;
        if (next == end) break;
        if (WaitForSingleObject(child.process.hProcess, 20) == WAIT_OBJECT_0) {
            exited = true;  // read what it wrote last, then judge
            continue;
        }
        if (static_cast<LONG>(GetTickCount() - deadline) > 0) {
            TerminateProcess(child.process.hProcess, 1);
            WaitForSingleObject(child.process.hProcess, 5000);
            EndChild(child);
            if (current == end) return steps.size();  // never began: no child will
            Record(entries, steps[current], StepOutcome::Hung);
            return current + 1;
        }
    }
    EndChild(child);
    if (next == end) return next;
    if (current == end) return end;  // ended between steps without cause: this child's steps stop here
    Record(entries, steps[current], StepOutcome::Crashed);
    return current + 1;
}

}  // namespace

void ProbeEntries(std::vector<EntryFacts>& entries, const std::string& program) {
    // An entry whose libraries are all found on their own shares a child with the others like it; any other
    // gets a child of its own, so that no earlier entry's library stands in for one it lacks. The shared
    // child's steps come first; `batches` holds where each child's steps end.
    std::set<std::string> resolved;
    std::vector<std::size_t> alone;
    std::vector<Step> steps;
    std::vector<std::size_t> batches;
    auto addSteps = [&](std::size_t i) {
        EntryFacts& entry = entries[i];
        steps.push_back({'L', i, 0, entry.destination});
        for (const ClassFact& fact : entry.classes) {
            bool seen = false;
            for (const CreationFact& creation : entry.creations)
                seen = seen || lstrcmpiA(creation.clsid.c_str(), fact.clsid.c_str()) == 0;
            if (seen) continue;
            steps.push_back({'C', i, entry.creations.size(), fact.clsid});
            entry.creations.push_back(CreationFact{fact.clsid, StepOutcome::NotTried, 0, {}, false, false});
        }
    };
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].file == FileState::Missing) continue;
        if (ImportsFoundOnTheirOwn(entries[i].destination, resolved))
            addSteps(i);
        else
            alone.push_back(i);
    }
    batches.push_back(steps.size());
    for (const std::size_t i : alone) {
        addSteps(i);
        batches.push_back(steps.size());
    }
    std::size_t next = 0;
    for (const std::size_t end : batches) {
        while (next < end) {
            next = RunChild(program, steps, next, end, entries);
            // After a load that crashed or hung, its classes are not created: that would only crash again.
            while (next < end && next > 0 && steps[next].kind == 'C' &&
                   steps[next].entry == steps[next - 1].entry &&
                   entries[steps[next].entry].load.outcome != StepOutcome::Done) {
                ++next;
            }
        }
    }
}

namespace {

void Say(const std::string& line) {
    const std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written,
              nullptr);
}

std::string Hex(unsigned long value) {
    char text[16];
    wsprintfA(text, "%lX", value);
    return text;
}

constexpr char kBuiltinMark[] = "Wine builtin DLL";

bool IsWineBuiltin(const void* module) {
    return module != nullptr && std::memcmp(static_cast<const char*>(module) + sizeof(IMAGE_DOS_HEADER),
                                            kBuiltinMark, sizeof kBuiltinMark - 1) == 0;
}

// The steps, up to the end line.
std::string ReadAllInput() {
    std::string input;
    std::string buffer(4096, '\0');
    DWORD read = 0;
    while (!input.starts_with("E\n") && input.find("\nE\n") == std::string::npos &&
           ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer.data(), static_cast<DWORD>(buffer.size()), &read,
                    nullptr) &&
           read > 0) {
        input.append(buffer.data(), read);
    }
    return input;
}

// As an application's loader takes a component: its own folder and the system folder for what it imports.
// Where the process's default search is kept to the system folder, the component's folder is named
// explicitly; elsewhere the altered search path starts at the component's folder.
HMODULE LoadAsApplication(const std::string& path) {
    const bool searchFlags = SystemFunction("kernel32.dll", "SetDefaultDllDirectories") != nullptr;
    return LoadLibraryExA(path.c_str(), nullptr,
                          searchFlags ? 0x00000100 | 0x00000800  // the library's folder, the system folder
                                      : LOAD_WITH_ALTERED_SEARCH_PATH);
}

// IUnknown: every object has it.
constexpr GUID kUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

std::string ServedBy(void* object, bool& builtin) {
    // The first word of a COM object is its table of functions, which lies in the module that made it.
    const void* table = *static_cast<void**>(object);
    MEMORY_BASIC_INFORMATION memory{};
    if (VirtualQuery(table, &memory, sizeof memory) == 0 || memory.AllocationBase == nullptr) return {};
    builtin = IsWineBuiltin(memory.AllocationBase);
    char path[MAX_PATH * 2] = {};
    const DWORD length = GetModuleFileNameA(static_cast<HMODULE>(memory.AllocationBase), path, sizeof path);
    return std::string(path, length < sizeof path ? length : 0);
}

}  // namespace

int RunProbeChild() {
    // A crash ends the child silently: the parent records it.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    const OleApi& ole = OleFunctions();
    if (ole.coInitialize != nullptr) ole.coInitialize(nullptr);
    const std::string input = ReadAllInput();
    std::size_t index = 0;
    for (std::size_t from = 0, end; (end = input.find('\n', from)) != std::string::npos;
         from = end + 1, ++index) {
        const std::string line = input.substr(from, end - from);
        if (line == "E") break;
        if (line.size() < 2) continue;
        const std::string subject = line.substr(2);
        Say("B\t" + std::to_string(index));
        if (line[0] == 'L') {
            const HMODULE module = LoadAsApplication(subject);
            const DWORD error = module == nullptr ? GetLastError() : 0;
            // Stays loaded, as an application keeps it; creation then uses this very module.
            Say("R\t" + std::to_string(index) + "\t" + Hex(error) + "\t" +
                (IsWineBuiltin(module) ? "1" : "0") + "\t");
        } else {
            std::wstring wide(subject.size() + 1, L'\0');
            MultiByteToWideChar(CP_ACP, 0, subject.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
            CLSID clsid{};
            HRESULT result =
                ole.clsidFromString == nullptr ? E_FAIL : ole.clsidFromString(wide.c_str(), &clsid);
            void* object = nullptr;
            if (SUCCEEDED(result)) {
                result = ole.coCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, kUnknown, &object);
            }
            bool builtin = false;
            std::string module;
            if (SUCCEEDED(result) && object != nullptr) {
                module = ServedBy(object, builtin);
                static_cast<IUnknown*>(object)->Release();
            }
            Say("R\t" + std::to_string(index) + "\t" + Hex(static_cast<unsigned long>(result)) + "\t" +
                (builtin ? "1" : "0") + "\t" + module);
        }
    }
    if (ole.coUninitialize != nullptr) ole.coUninitialize();
    return 0;
}

}  // namespace check
