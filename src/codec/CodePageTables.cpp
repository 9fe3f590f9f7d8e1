// CodePageTables: finds the generated data of a code page and builds its table once.
#include "codec/CodePageTables.h"

#include <algorithm>

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
// Built tables, indexed like the generated arrays; never freed before exit.
SingleByteTable *g_singleByte[512];
MultiByteTable *g_multiByte[32];
bool g_multiByteFailed[32];
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
    if (index >= sizeof(g_singleByte) / sizeof(g_singleByte[0]))
        return nullptr;
    if (g_singleByte[index] == nullptr)
        g_singleByte[index] = new SingleByteTable(page->codePage, page->decode);
    return g_singleByte[index];
}

const MultiByteTable *CodePageTables::MultiByte(int32_t codePage) {
    const codepage_data::MultiBytePage *page = codepage_data::FindMultiBytePage(codePage);
    if (page == nullptr)
        return nullptr;
    size_t index = static_cast<size_t>(page - codepage_data::kMultiBytePages);
    if (index >= sizeof(g_multiByte) / sizeof(g_multiByte[0]) || g_multiByteFailed[index])
        return nullptr;
    if (g_multiByte[index] == nullptr) {
        MultiByteTable *table = MultiByteTable::FromStored(page->codePage, page->stored);
        if (table == nullptr) {
            g_multiByteFailed[index] = true; // a damaged stored table is not unpacked again
            return nullptr;
        }
        g_multiByte[index] = table;
    }
    return g_multiByte[index];
}

size_t CodePageTables::MemoryUsed() {
    size_t total = 0;
    for (SingleByteTable *t : g_singleByte)
        if (t != nullptr)
            total += t->MemoryUsed();
    for (MultiByteTable *t : g_multiByte)
        if (t != nullptr)
            total += t->MemoryUsed();
    return total;
}

} // namespace vantry
