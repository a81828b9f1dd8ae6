// The engine alone, on file lists of growing length: read the list as the program does (the key names,
// then each key's value) with the portable profile reader, and derive every RepairAction. Prints the
// time and the peak heap per entry, so that a cost growing faster than the list shows at a glance.
//
// Heap use is counted by replacing the global operator new and delete: "peak_heap" is the most the
// read ever held at once above what was held before it, in bytes.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "repair/FileList.h"
#include "tests/unit/Profile.h"

// ---------------------------------------------------------------------------------------------------
// Heap counting

namespace {

std::size_t heapNow = 0;
std::size_t heapPeak = 0;
std::size_t allocations = 0;

void* Counted(std::size_t size) {
    void* block = std::malloc(size ? size : 1);
    if (!block) throw std::bad_alloc();
    heapNow += malloc_usable_size(block);
    heapPeak = std::max(heapPeak, heapNow);
    ++allocations;
    return block;
}

void Uncounted(void* block) noexcept {
    if (!block) return;
    heapNow -= malloc_usable_size(block);
    std::free(block);
}

// The heap held at most during a stretch of work, above what was held when it began.
class HeapWindow {
public:
    HeapWindow() : base_(heapNow), allocationsBefore_(allocations) { heapPeak = heapNow; }
    std::size_t Peak() const { return heapPeak - base_; }
    std::size_t Allocations() const { return allocations - allocationsBefore_; }

private:
    std::size_t base_;
    std::size_t allocationsBefore_;
};

}  // namespace

void* operator new(std::size_t size) {
    return Counted(size);
}
void* operator new[](std::size_t size) {
    return Counted(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return Counted(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
void operator delete(void* block) noexcept {
    Uncounted(block);
}
void operator delete[](void* block) noexcept {
    Uncounted(block);
}
void operator delete(void* block, std::size_t) noexcept {
    Uncounted(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    Uncounted(block);
}

// ---------------------------------------------------------------------------------------------------
// The lists

namespace {

const text::LeadBytes kLead = text::LeadBytes::CodePage936();
constexpr char kProgramDirectory[] = "C:\\Program Files\\MdacRepair\\";
constexpr char kSystemBase[] = "C:\\Program Files\\Common Files\\System";

// A list of `n` entries as a shipped one looks: a comment, another section before it, component files
// into the three folders, every fourth with a double-byte name, and a section after it.
std::string ListBytes(int n) {
    static const char* const folders[] = {"ado", "msadc", "ole db"};
    std::string list = "; 组件与目标\r\n[其他]\r\nx=y\r\n[文件列表]\r\n";
    for (int i = 0; i < n; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, i % 4 == 3 ? "数据源%05d.dll" : "msado%05d.dll", i);
        list += std::string(name) + "=路径\\" + folders[i % 3] + "\\" + name + "\r\n";
    }
    list += "[附加]\r\nz=1\r\n";
    return list;
}

// The key-name buffer the list needs. The program reads names into 16 KB, which holds about 1,100 names
// of this length; the benchmark gives the reader room for all, so that it reads every entry.
std::size_t KeyNamesBufferFor(const std::string& list) {
    return std::max(repair::kKeyNamesBufferSize, list.size() + 2);
}

void Report(benchmark::State& state, int n, std::size_t peak, std::size_t allocated, std::size_t bytes) {
    state.SetComplexityN(n);
    state.counters["entries"] = n;
    state.counters["time_per_entry"] =
        benchmark::Counter(n, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["peak_heap"] = static_cast<double>(peak);
    state.counters["peak_heap_per_entry"] = static_cast<double>(peak) / n;
    state.counters["allocs_per_entry"] = static_cast<double>(allocated) / n;
    state.counters["list_bytes"] = static_cast<double>(bytes);
}

// Reads the list as the program asks GetPrivateProfileStringA: the key names of the section, then the
// value of each key, deriving that entry's action as it goes (and dropping it, as the run does).
template <typename AskNames, typename AskValue>
void ReadAndDerive(benchmark::State& state, const std::string& list, AskNames askNames, AskValue askValue) {
    const int n = static_cast<int>(state.range(0));
    std::size_t peak = 0, allocated = 0;
    for (auto _ : state) {
        HeapWindow heap;
        const auto [names, value] = askNames();
        const std::vector<std::string> keys = repair::SplitKeyNames(names);
        for (const std::string& key : keys) {
            const repair::RepairAction action =
                repair::DeriveRepairAction(kProgramDirectory, "w7", kSystemBase, key, askValue(key), kLead);
            benchmark::DoNotOptimize(action.command.data());
        }
        peak = std::max(peak, heap.Peak());
        allocated = heap.Allocations();
        if (keys.size() != static_cast<std::size_t>(n)) state.SkipWithError("not every key was read");
    }
    Report(state, n, peak, allocated, list.size());
}

// One reader for the whole read, as the system keeps the file it read last.
void ReaderKeptForTheRead(benchmark::State& state) {
    const std::string list = ListBytes(static_cast<int>(state.range(0)));
    const std::size_t namesBuffer = KeyNamesBufferFor(list);
    std::optional<profile::Reader> reader;
    ReadAndDerive(
        state, list,
        [&] {
            reader.emplace(list, kLead);
            return std::pair(reader->KeyNames(repair::kFileListSection, namesBuffer), 0);
        },
        [&](const std::string& key) {
            return reader->Value(repair::kFileListSection, key, "", repair::kValueBufferSize);
        });
}
BENCHMARK(ReaderKeptForTheRead)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond)->Complexity();

// Every question to a new reader, which parses the file again each time: how the reader worked before
// it kept its section, kept here to show the difference.
void NewReaderForEachQuestion(benchmark::State& state) {
    const std::string list = ListBytes(static_cast<int>(state.range(0)));
    const std::size_t namesBuffer = KeyNamesBufferFor(list);
    ReadAndDerive(
        state, list,
        [&] { return std::pair(profile::KeyNames(list, repair::kFileListSection, namesBuffer, kLead), 0); },
        [&](const std::string& key) {
            return profile::Value(list, repair::kFileListSection, key, "", repair::kValueBufferSize, kLead);
        });
}
BENCHMARK(NewReaderForEachQuestion)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMicrosecond)
    ->Complexity();

}  // namespace

BENCHMARK_MAIN();
