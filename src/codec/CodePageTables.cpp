// CodePageTables: finds the generated data of a code page and builds its table once, whichever thread
// asks first; the others wait for that build and then share the table.
#include "codec/CodePageTables.h"

#include <algorithm>
#include <atomic>
#include <mutex>

#include "codec/CodePageData.h"
#include "codec/MultiByteTable.h"
#include "codec/SingleByteTable.h"

namespace vantry {

namespace codepage_data {
const SingleBytePage *FindSingleBytePage(int32_t codePage) {
    const SingleBytePage *end = kSingleBytePages + kSingleBytePageCount;
    const SingleBytePage *hit = std::lower_bound(
        kSingleBytePages, end, codePage, [](const SingleBytePage &p, int32_t cp) { return p.codePage < cp; });
    return hit != end && hit->codePage == codePage ? hit : nullptr;
}

const MultiBytePage *FindMultiBytePage(int32_t codePage) {
    for (int i = 0; i < kMultiBytePageCount; ++i)
        if (kMultiBytePages[i].codePage == codePage)
            return &kMultiBytePages[i];
    return nullptr;
}
} // namespace codepage_data

namespace {
// Built tables, indexed like the generated arrays; never freed before exit. Each slot is filled once under
// its own flag, so threads meeting a code page for the first time at once build it once and pages
// of different slots build side by side. A stored table that fails to unpack leaves its slot null for good.
constexpr size_t kSingleByteSlots = 512;
constexpr size_t kMultiByteSlots = 32;
std::once_flag g_singleByteOnce[kSingleByteSlots];
std::atomic<SingleByteTable *> g_singleByte[kSingleByteSlots];
std::once_flag g_multiByteOnce[kMultiByteSlots];
std::atomic<MultiByteTable *> g_multiByte[kMultiByteSlots];
} // namespace

CodePageKind CodePageTables::KindOf(int32_t codePage) {
    switch (codePage) {
    case 1200:
        return CodePageKind::Utf16LE;
    case 1201:
        return CodePageKind::Utf16BE;
    case 65000:
        return CodePageKind::Utf7;
    case 65001:
        return CodePageKind::Utf8;
    case 65005:
        return CodePageKind::Utf32LE;
    case 65006:
        return CodePageKind::Utf32BE;
    case 50220:
    case 50221:
    case 50222:
        return codepage_data::FindMultiBytePage(932) ? CodePageKind::Iso2022Jp : CodePageKind::None;
    case 50225:
        return codepage_data::FindMultiBytePage(949) ? CodePageKind::Iso2022Kr : CodePageKind::None;
    default:
        break;
    }
    if (codepage_data::FindSingleBytePage(codePage) != nullptr)
        return CodePageKind::SingleByte;
    if (codepage_data::FindMultiBytePage(codePage) != nullptr)
        return CodePageKind::MultiByte;
    return CodePageKind::None;
}

const SingleByteTable *CodePageTables::SingleByte(int32_t codePage) {
    const codepage_data::SingleBytePage *page = codepage_data::FindSingleBytePage(codePage);
    if (page == nullptr)
        return nullptr;
    size_t index = static_cast<size_t>(page - codepage_data::kSingleBytePages);
    if (index >= kSingleByteSlots)
        return nullptr;
    std::call_once(g_singleByteOnce[index], [&] {
        g_singleByte[index].store(new SingleByteTable(page->codePage, page->decode),
                                  std::memory_order_release);
    });
    return g_singleByte[index].load(std::memory_order_acquire);
}

const MultiByteTable *CodePageTables::MultiByte(int32_t codePage) {
    const codepage_data::MultiBytePage *page = codepage_data::FindMultiBytePage(codePage);
    if (page == nullptr)
        return nullptr;
    size_t index = static_cast<size_t>(page - codepage_data::kMultiBytePages);
    if (index >= kMultiByteSlots)
        return nullptr;
    // A damaged stored table stays null: the flag is spent, so it is not unpacked again.
    std::call_once(g_multiByteOnce[index], [&] {
        g_multiByte[index].store(MultiByteTable::FromStored(page->codePage, page->stored),
                                 std::memory_order_release);
    });
    return g_multiByte[index].load(std::memory_order_acquire);
}

size_t CodePageTables::MemoryUsed() {
    size_t total = 0;
    for (const auto &slot : g_singleByte)
        if (const SingleByteTable *t = slot.load(std::memory_order_acquire))
            total += t->MemoryUsed();
    for (const auto &slot : g_multiByte)
        if (const MultiByteTable *t = slot.load(std::memory_order_acquire))
            total += t->MemoryUsed();
    return total;
}

} // namespace vantry
